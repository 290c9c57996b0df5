// The commands of the console client. Each returns its exit code.
#pragma once
#include "CliArgs.h"
#include "CliRun.h"

struct CliContext {
  const CliArgs& args;
  CCliWriter& out;
  CCliWriter& err;
  const CliHooks& hooks;
  std::wstring Node() const {
    const std::wstring* n = args.Value(L"--node");
    return n ? *n : std::wstring();
  }
  int Usage(const std::wstring& message) const;
};

int CliServers(const CliContext& ctx);
int CliStatus(const CliContext& ctx);
int CliBrowse(const CliContext& ctx);
int CliRead(const CliContext& ctx);
int CliWrite(const CliContext& ctx);
int CliWatch(const CliContext& ctx);
int CliProps(const CliContext& ctx);

// The item IDs of the arguments after the ProgID and of the --file list, in that order;
// false (with the usage message written) when the list cannot be read.
bool CliItemList(const CliContext& ctx, std::vector<std::wstring>& items);
// A UTF-8 text file; false with a message when it is missing or not UTF-8.
bool CliReadTextFile(const CliContext& ctx, const std::wstring& path, std::wstring& text);
