// Installed into a test prefix's system32 as ping.exe.
#include "console/console_standin_win.h"

int main() { return ravelin::standin::RunConsoleStandin(ravelin::standin::ConsoleTool::kPing); }
