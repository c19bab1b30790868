// The application module: the main thread, the message loop of each UI
// thread, and the module objects that are started and terminated with it.
#pragma once

#include <windows.h>

#include <map>
#include <vector>

#include "framework/message_loop_win.h"

namespace ravelin::framework {

// Something that wants to run at module start-up and termination.
class CModuleObject {
 public:
  virtual ~CModuleObject() = default;
  virtual void OnModuleInit() {}
  virtual void OnModuleTerm() {}
};

class CAppModule {
 public:
  CAppModule();
  ~CAppModule();
  CAppModule(const CAppModule&) = delete;
  CAppModule& operator=(const CAppModule&) = delete;

  // Registered before Init runs: their start-up hooks run in Init, their
  // terminate hooks in Term (last registered first).
  void RegisterModuleObject(CModuleObject* object);

  bool Init(HINSTANCE instance);
  void Term();

  bool AddMessageLoop(CMessageLoop* loop);
  bool RemoveMessageLoop();
  // The loop of the calling thread, or null.
  CMessageLoop* GetMessageLoop() const;
  CMessageLoop* GetMessageLoop(DWORD threadId) const;

  HINSTANCE GetModuleInstance() const { return m_hInst; }
  DWORD MainThreadId() const { return m_dwMainThreadID; }

 private:
  HINSTANCE m_hInst = nullptr;
  DWORD m_dwMainThreadID = 0;
  mutable CRITICAL_SECTION m_csLoops;
  std::map<DWORD, CMessageLoop*> m_loops;
  bool m_initialised = false;
  std::vector<CModuleObject*> m_moduleObjects;
};

// The process's one module.
extern CAppModule g_appModule;

// A window that filters messages and does idle work joins the loop of the
// calling thread, and leaves it when it is destroyed. Nothing happens on a
// thread without a loop.
void JoinThreadLoop(CMessageFilter* filter, CIdleHandler* idle);
void LeaveThreadLoop(CMessageFilter* filter, CIdleHandler* idle);

}  // namespace ravelin::framework
