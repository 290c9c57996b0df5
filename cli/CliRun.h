// The console client as a function: what plover-cli.exe runs, and what tests call.
#pragma once
#include <windows.h>
#include <unknwn.h>

#include <functional>
#include <string>
#include <vector>

#include "CliOutput.h"

enum CliExit { kExitOk = 0, kExitItemsFailed = 1, kExitUsage = 2, kExitNoConnect = 3 };

struct CliHooks {
  // The server object, right after connecting (tests reach the simulation's own hooks).
  std::function<void(IUnknown* server)> connected;
  // Called by a running watch whenever no message waits, instead of sleeping.
  std::function<void()> idle;
};

// args without the program name. Runs on the calling thread, which it makes (or finds) a
// single-threaded COM apartment.
int RunCli(const std::vector<std::wstring>& args, CCliWriter& out, CCliWriter& err,
           const CliHooks& hooks = {});

// What Ctrl+C, Ctrl+Break and closing the console do while a watch runs: end it cleanly.
// Any thread may call it, as the system does.
BOOL WINAPI CliConsoleCtrlHandler(DWORD type);
