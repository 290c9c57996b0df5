#include "CliRun.h"

#include <objbase.h>

#include <memory>

#include "CliCommands.h"
#include "PloverVersion.h"

int CliContext::Usage(const std::wstring& message) const {
  err.Write(L"plover-cli: " + message + L"\n");
  if (args.command) err.Write(std::wstring(L"usage: ") + args.command->usage);
  return kExitUsage;
}

int RunCli(const std::vector<std::wstring>& argv, CCliWriter& out, CCliWriter& err,
           const CliHooks& hooks) {
  if (argv.size() == 1 && argv[0] == L"--version") {
    out.Write(L"plover-cli " PLOVER_VERSION_WTEXT L"\n");
    out.Flush();
    return kExitOk;
  }
  CliArgs args;
  std::wstring error;
  if (!ParseCliArgs(argv, args, error)) {
    err.Write(L"plover-cli: " + error + L"\n");
    err.Write(args.command ? std::wstring(L"usage: ") + args.command->usage : CliOverview());
    return kExitUsage;
  }
  if (args.help) {
    out.Write(args.command ? std::wstring(L"usage: ") + args.command->usage : CliOverview());
    out.Flush();
    return kExitOk;
  }
  // --out FILE: the records go to a UTF-8 file instead of standard output.
  std::unique_ptr<CHandleWriter> file;
  if (const std::wstring* path = args.Value(L"--out")) {
    HANDLE h = ::CreateFileW(path->c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
      CliContext ctx{args, out, err, hooks};
      return ctx.Usage(L"cannot create '" + *path + L"'");
    }
    file = std::make_unique<CHandleWriter>(h, true);
  }
  const HRESULT com = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  CliContext ctx{args, file ? *file : out, err, hooks};
  const std::wstring name = args.command->name;
  int rc = kExitUsage;
  if (name == L"servers") rc = CliServers(ctx);
  if (name == L"status") rc = CliStatus(ctx);
  if (name == L"browse") rc = CliBrowse(ctx);
  if (name == L"read") rc = CliRead(ctx);
  if (name == L"write") rc = CliWrite(ctx);
  if (name == L"watch") rc = CliWatch(ctx);
  if (name == L"props") rc = CliProps(ctx);
  ctx.out.Flush();
  if (file && file->Failed()) {
    err.Write(L"plover-cli: writing '" + *args.Value(L"--out") + L"' failed\n");
    if (rc == kExitOk) rc = kExitItemsFailed;
  }
  err.Flush();
  // A lost server's last proxies may still be let go of on a thread of their own, held by
  // a server that does not answer: uninitializing would wait for it, and the process ends
  // now anyway.
  if (SUCCEEDED(com) && rc != kExitNoConnect) ::CoUninitialize();
  return rc;
}
