// The ActiveX container: host windows of the class "AtlAxWin100" that create
// a control by the class identifier in their window text, give it its stored
// initial properties and activate it in place, filling the host window.
#pragma once

#include <windows.h>

#include <ole2.h>

#include <map>
#include <string>
#include <utility>
#include <vector>

namespace ravelin::framework {

inline constexpr wchar_t kAxHostClass[] = L"AtlAxWin100";
inline constexpr wchar_t kAxHostLicClass[] = L"AtlAxWinLic100";

// A control's stored initial properties, applied through the control's
// IPersistPropertyBag. No entry for a control means it starts from its
// defaults (IPersistStreamInit::InitNew).
struct AxProperty {
  std::wstring name;
  VARTYPE type = VT_BSTR;  // VT_BSTR, VT_BOOL or VT_I4
  std::wstring value;
};
using AxInitData = std::vector<AxProperty>;

// Registers the host messages and classes once per process; later calls
// find them registered and do nothing.
bool AtlAxWinInit(HINSTANCE instance);

UINT AxGetHostMessage();
UINT AxGetControlMessage();

// Creates a host window with the control of `clsidText` ("{...}") as a child
// of `parent` and activates it with `init` (null: the control's defaults).
// Null when the control cannot be created.
HWND AxCreateControl(HWND parent, const wchar_t* clsidText, const RECT& rect, int id, const AxInitData* init);

// The control hosted by a host window (AddRef'd), or E_FAIL.
HRESULT AxGetControl(HWND hostWindow, IUnknown** control);

// Completes a host window made from a dialog template: loads `init` (null:
// defaults) and activates the control. Host windows of a template that are
// not completed this way complete themselves with their defaults as soon as
// the thread's message loop runs.
HRESULT AxApplyInitData(HWND hostWindow, const AxInitData* init);

// Stored initial properties of a dialog's controls, by control id, from the
// program's RT_DLGINIT (240) resource with the dialog's id.
std::map<int, AxInitData> LoadDialogInitData(HMODULE module, UINT dialogId);

// Completes every host window among the dialog's children with its stored
// initial properties (see LoadDialogInitData).
void AxApplyDialogInitData(HWND dialog, UINT dialogId);

// Parses the property text of one control: lines "name=type:value" with
// type str, bool or i4. Malformed lines are skipped.
AxInitData ParseAxProperties(std::wstring_view text);

}  // namespace ravelin::framework
