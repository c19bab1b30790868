// Modeless dialogs from templates, with their messages routed through an
// ordered message map (see message_map.h).
#pragma once

#include <windows.h>

#include <cstdint>
#include <span>

#include "framework/ax_host_win.h"
#include "framework/message_map.h"

namespace ravelin::framework {

class CDialogBase {
 public:
  CDialogBase() = default;
  virtual ~CDialogBase() = default;
  CDialogBase(const CDialogBase&) = delete;
  CDialogBase& operator=(const CDialogBase&) = delete;

  // Creates the dialog from `templateId` as a modeless window. The map sees
  // every message from the first one the window receives.
  HWND CreateFromTemplate(HWND parent, UINT templateId, LPARAM initParam = 0);
  // Runs the dialog modally; returns what EndDialog was given, or -1.
  INT_PTR DoModalFromTemplate(HWND parent, UINT templateId, LPARAM initParam = 0);
  BOOL EndDialog(INT_PTR result) const { return ::EndDialog(m_hWnd, result); }
  BOOL DestroyWindow();
  BOOL ShowWindow(int showCommand) const { return ::ShowWindow(m_hWnd, showCommand); }
  bool IsWindow() const { return m_hWnd != nullptr && ::IsWindow(m_hWnd) != FALSE; }

  HWND m_hWnd = nullptr;

 protected:
  // True when the map handled the message; `result` is the answer then.
  virtual bool ProcessWindowMessage(const MessageArgs& args, std::intptr_t& result) = 0;
  // After WM_NCDESTROY: the window is gone and m_hWnd is null.
  virtual void OnFinalMessage(HWND /*hwnd*/) {}

 private:
  static INT_PTR CALLBACK DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
};

// T lists its messages in `static std::span<const MessageMapEntry<T>> MessageMap()`.
template <class T>
class CDialogImpl : public CDialogBase {
 public:
  HWND Create(HWND parent, LPARAM initParam = 0) { return CreateFromTemplate(parent, T::IDD, initParam); }
  INT_PTR DoModal(HWND parent, LPARAM initParam = 0) { return DoModalFromTemplate(parent, T::IDD, initParam); }

 protected:
  bool ProcessWindowMessage(const MessageArgs& args, std::intptr_t& result) override {
    return DispatchMessageMap<T>(static_cast<T&>(*this), T::MessageMap(), args, result);
  }
};

}  // namespace ravelin::framework

namespace ravelin::framework {

// A dialog whose template names ActiveX controls: before the window's own
// WM_INITDIALOG handler runs, the controls get their stored properties and
// T connects its event sinks (T::AdviseSinks); on WM_DESTROY the sinks are
// disconnected (T::UnadviseSinks) before T's handler runs.
template <class T>
class CAxDialogImpl : public CDialogImpl<T> {
 protected:
  bool ProcessWindowMessage(const MessageArgs& args, std::intptr_t& result) override {
    T& self = static_cast<T&>(*this);
    if (args.message == WM_INITDIALOG) {
      AxApplyDialogInitData(this->m_hWnd, T::IDD);
      self.AdviseSinks();
    } else if (args.message == WM_DESTROY) {
      self.UnadviseSinks();
    }
    return CDialogImpl<T>::ProcessWindowMessage(args, result);
  }
};

}  // namespace ravelin::framework
