// plover-cli.exe: the console client. Arguments arrive as UTF-16 whatever the code page.
#include <windows.h>
#include <shellapi.h>

#include "CliRun.h"

int main() {
  int argc = 0;
  LPWSTR* argv = ::CommandLineToArgvW(::GetCommandLineW(), &argc);
  std::vector<std::wstring> args;
  for (int i = 1; argv && i < argc; ++i) args.emplace_back(argv[i]);
  ::LocalFree(argv);
  CHandleWriter out(::GetStdHandle(STD_OUTPUT_HANDLE));
  CHandleWriter err(::GetStdHandle(STD_ERROR_HANDLE));
  const int rc = RunCli(args, out, err);
  out.Flush();
  err.Flush();
  return rc;
}
