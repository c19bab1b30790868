// Process entry: the hand-over modes of the updater, then the normal start.

#include "diag/diagnostics_win.h"  // before <windows.h>: it brings the socket headers

#include <windows.h>

#include <commctrl.h>
#include <objbase.h>

#include "app/crash_dump_win.h"
#include "app/dll_hardening_win.h"
#include "app/handover.h"
#include "app/handover_win.h"
#include "app/run_main_window_win.h"
#include "common/startup_steps.h"
#include "frame/translucent_dlg_win.h"
#include "framework/app_module_win.h"
#include "framework/ax_host_win.h"
#include "sound/sound_win.h"

#ifdef RAVELIN_STARTUP_TRACE
#include "startup_trace_win.h"
#endif
#ifdef RAVELIN_CRASH_FOR_TEST
#include "crash_trigger_win.h"
#endif

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE /*previous*/, PWSTR /*arguments*/, int showCommand) {
  // System DLLs from the system folder only, before anything loads one;
  // then crash dumps, before anything can fault.
  ravelin::HardenDllSearch();
  ravelin::InstallCrashDumps();
#ifdef RAVELIN_CRASH_FOR_TEST
  ravelin::test::CrashIfAsked(GetCommandLineW());
#endif
#ifdef RAVELIN_STARTUP_TRACE
  ravelin::bench::InstallStartupTrace();
#endif
  ravelin::MarkStartupStep("process entry");

  // The whole command line: the updater starts hand-over processes with an
  // explicit application path and a command line without a program name.
  const ravelin::HandoverCommand command = ravelin::ParseHandoverCommandLine(GetCommandLineW());
  ravelin::Win32HandoverOps ops;
  if (command.mode == ravelin::StartMode::Update) return ravelin::RunUpdateHandover(ops, command);
  if (command.mode == ravelin::StartMode::Delete) ravelin::RunDeleteHandover(ops, command);

  // The audio system and the picture decoder load while the windows are
  // made; the audio session step and the first composition use them.
  ravelin::StartAudioWarmUp([] { ravelin::WarmUpPictureDecoder(); });

  // The browser and player controls need a single-threaded apartment.
  const HRESULT comResult = CoInitialize(nullptr);

  INITCOMMONCONTROLSEX controls{};
  controls.dwSize = sizeof(controls);
  controls.dwICC = ICC_BAR_CLASSES;
  InitCommonControlsEx(&controls);

  ravelin::framework::g_appModule.Init(instance);
  ravelin::framework::AtlAxWinInit(instance);
  ravelin::MarkStartupStep("modules and COM set up");

  const int exitCode = ravelin::RunMainWindow(showCommand);

  ravelin::framework::g_appModule.Term();
  if (SUCCEEDED(comResult)) CoUninitialize();
  // A diagnostics worker still at work (the exit waits for it only so long)
  // uses process-wide objects that returning from here would destroy under
  // it: the process ends at once instead.
  if (ravelin::g_gameException.WorkerRunning()) ExitProcess(static_cast<UINT>(exitCode));
  return exitCode;
}
