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

// The DA 3.0 forms (CliItemIo.cpp). Each parser is false for text it does not take.
bool CliParseMaxAge(const std::wstring& text, DWORD& age);  // ms, or "cache"
bool CliParseQuality(const std::wstring& text, WORD& quality);
bool CliParseTime(const std::wstring& text, FILETIME& time);  // ISO 8601 UTC, or "now"
// Reads ids through IOPCItemIO and prints them; false (nothing done) for a server without
// it. exitCode is the command's result otherwise.
class CCliSession;
bool CliReadByItemIo(const CliContext& ctx, CCliSession& session,
                     const std::vector<std::wstring>& ids, DWORD maxAge, int& exitCode);
// write with --quality and/or --time: through IOPCItemIO::WriteVQT, or a clear refusal.
int CliWriteVqt(const CliContext& ctx,
                const std::vector<std::pair<std::wstring, std::wstring>>& pairs);

// The item IDs of the arguments after the ProgID and of the --file list, in that order;
// false (with the usage message written) when the list cannot be read.
bool CliItemList(const CliContext& ctx, std::vector<std::wstring>& items);
// A UTF-8 text file; false with a message when it is missing or not UTF-8.
bool CliReadTextFile(const CliContext& ctx, const std::wstring& path, std::wstring& text);
