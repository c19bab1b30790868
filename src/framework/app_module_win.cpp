#include "framework/app_module_win.h"

#include <algorithm>

namespace ravelin::framework {

CAppModule g_appModule;

namespace {

class LoopRegistryLock {
 public:
  explicit LoopRegistryLock(CRITICAL_SECTION& cs) : m_cs(cs) { EnterCriticalSection(&m_cs); }
  ~LoopRegistryLock() { LeaveCriticalSection(&m_cs); }
  LoopRegistryLock(const LoopRegistryLock&) = delete;
  LoopRegistryLock& operator=(const LoopRegistryLock&) = delete;

 private:
  CRITICAL_SECTION& m_cs;
};

}  // namespace

CAppModule::CAppModule() { InitializeCriticalSection(&m_csLoops); }

CAppModule::~CAppModule() { DeleteCriticalSection(&m_csLoops); }

void CAppModule::RegisterModuleObject(CModuleObject* object) {
  if (object != nullptr) m_moduleObjects.push_back(object);
}

bool CAppModule::Init(HINSTANCE instance) {
  for (CModuleObject* object : m_moduleObjects) object->OnModuleInit();
  m_hInst = instance;
  m_dwMainThreadID = GetCurrentThreadId();
  {
    LoopRegistryLock lock(m_csLoops);
    m_loops.clear();
  }
  m_initialised = true;
  return true;
}

void CAppModule::Term() {
  if (!m_initialised) return;
  std::for_each(m_moduleObjects.rbegin(), m_moduleObjects.rend(),
                [](CModuleObject* object) { object->OnModuleTerm(); });
  {
    LoopRegistryLock lock(m_csLoops);
    m_loops.clear();
  }
  m_initialised = false;
}

bool CAppModule::AddMessageLoop(CMessageLoop* loop) {
  if (loop == nullptr) return false;
  LoopRegistryLock lock(m_csLoops);
  return m_loops.emplace(GetCurrentThreadId(), loop).second;
}

bool CAppModule::RemoveMessageLoop() {
  LoopRegistryLock lock(m_csLoops);
  return m_loops.erase(GetCurrentThreadId()) == 1;
}

CMessageLoop* CAppModule::GetMessageLoop() const { return GetMessageLoop(GetCurrentThreadId()); }

CMessageLoop* CAppModule::GetMessageLoop(DWORD threadId) const {
  LoopRegistryLock lock(m_csLoops);
  const auto it = m_loops.find(threadId);
  return it == m_loops.end() ? nullptr : it->second;
}

void JoinThreadLoop(CMessageFilter* filter, CIdleHandler* idle) {
  if (CMessageLoop* loop = g_appModule.GetMessageLoop()) {
    loop->AddMessageFilter(filter);
    loop->AddIdleHandler(idle);
  }
}

void LeaveThreadLoop(CMessageFilter* filter, CIdleHandler* idle) {
  if (CMessageLoop* loop = g_appModule.GetMessageLoop()) {
    loop->RemoveMessageFilter(filter);
    loop->RemoveIdleHandler(idle);
  }
}

}  // namespace ravelin::framework
