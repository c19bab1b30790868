// Window classes and messages of the ActiveX container. Dialog templates
// name controls by class identifier with the class "AtlAxWin100".
#pragma once

#include <windows.h>

namespace ravelin::framework {

inline constexpr wchar_t kAxHostClass[] = L"AtlAxWin100";
inline constexpr wchar_t kAxHostLicClass[] = L"AtlAxWinLic100";

// Registers the host messages and classes once per process; later calls
// find them registered and do nothing.
bool AtlAxWinInit(HINSTANCE instance);

UINT AxGetHostMessage();
UINT AxGetControlMessage();

}  // namespace ravelin::framework
