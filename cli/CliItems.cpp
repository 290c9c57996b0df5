// read, write and watch: the commands that add items to a group of their own.
#include <algorithm>
#include <map>
#include <unordered_set>

#include "CliCommands.h"
#include "CliSession.h"
#include "CliText.h"
#include "CliWatchLines.h"
#include "OpcAliveCheck.h"
#include "OpcText.h"

namespace {

// Items per group: the large server's 100,000 make ten groups.
constexpr size_t kItemsPerGroup = 10000;
// How long an asynchronous write may take to report back.
constexpr DWORD kWriteResultLimitMs = 30000;

std::vector<std::wstring> Unique(const std::vector<std::wstring>& ids) {
  std::vector<std::wstring> out;
  std::unordered_set<std::wstring> seen;
  for (const std::wstring& id : ids)
    if (seen.insert(id).second) out.push_back(id);
  return out;
}

std::wstring Hex(HRESULT code) {
  wchar_t hex[16];
  ::swprintf(hex, 16, L"0x%08X", static_cast<unsigned>(code));
  return hex;
}

// Adds ids to new groups of at most kItemsPerGroup; the failures go to standard error.
// Returns false when a group could not be made.
bool AddGroups(CCliSession& session, const std::vector<std::wstring>& ids,
               std::vector<COpcItem*>& items, std::vector<VARTYPE>* canonical, bool& failures) {
  COpcServer& server = session.Server();
  for (size_t first = 0, group = 1; first < ids.size(); first += kItemsPerGroup, ++group) {
    HRESULT hr =
        server.AddGroup(static_cast<OPCHANDLE>(group), L"plover-cli " + std::to_wstring(group));
    if (FAILED(hr)) {
      session.ReportItem(L"AddGroup", hr);
      return false;
    }
    const size_t last = std::min(ids.size(), first + kItemsPerGroup);
    std::vector<std::wstring> part(ids.begin() + static_cast<ptrdiff_t>(first),
                                   ids.begin() + static_cast<ptrdiff_t>(last));
    std::vector<COpcItem*> added;
    std::vector<HRESULT> errors;
    session.AddItems(static_cast<OPCHANDLE>(group), part, added, errors);
    for (size_t i = 0; i < added.size(); ++i) {
      if (!added[i]) {
        session.ReportItem(part[i], errors[i]);
        failures = true;
      }
      items.push_back(added[i]);
      if (canonical) canonical->push_back(added[i] ? added[i]->m_vtCanonical : VARTYPE{VT_EMPTY});
    }
  }
  return true;
}

}  // namespace

int CliRead(const CliContext& ctx) {
  std::vector<std::wstring> ids;
  if (!CliItemList(ctx, ids)) return kExitUsage;
  ids = Unique(ids);
  const std::wstring* maxAgeText = ctx.args.Value(L"--max-age");
  DWORD maxAge = 0;
  if (maxAgeText && !CliParseMaxAge(*maxAgeText, maxAge))
    return ctx.Usage(L"--max-age takes milliseconds or cache, not '" + *maxAgeText + L"'");
  if (maxAgeText && ctx.args.Has(L"--device"))
    return ctx.Usage(L"--device and --max-age do not go together (--max-age 0 reads the device)");
  CCliSession session(ctx.err, ctx.hooks);
  if (!session.Connect(ctx.args.args[0], ctx.Node())) return kExitNoConnect;
  // With an age, a DA 3.0 server reads without a group; an older one through a group, from
  // the device for age 0 and from its cache otherwise.
  if (int code = 0; maxAgeText && CliReadByItemIo(ctx, session, ids, maxAge, code)) return code;
  COpcServer& server = session.Server();
  server.SetGroupActive(TRUE);
  server.SetGroupUpdateRate(1000);
  server.SetGroupDeadband(0);
  bool failures = false;
  std::vector<COpcItem*> items;
  if (!AddGroups(session, ids, items, nullptr, failures))
    return session.ServerGone() ? kExitNoConnect : kExitItemsFailed;
  const OPCDATASOURCE source =
      ctx.args.Has(L"--device") || (maxAgeText && maxAge == 0) ? OPC_DS_DEVICE : OPC_DS_CACHE;
  std::vector<bool> read(items.size(), false);
  for (size_t first = 0, group = 1; first < items.size(); first += kItemsPerGroup, ++group) {
    server.SelectGroup(static_cast<OPCHANDLE>(group));
    const size_t last = std::min(items.size(), first + kItemsPerGroup);
    std::vector<COpcItem*> part;
    std::vector<size_t> where;
    for (size_t i = first; i < last; ++i)
      if (items[i]) {
        part.push_back(items[i]);
        where.push_back(i);
      }
    std::vector<HRESULT> errors;
    server.m_groupManager.ReadItems(part, source, errors);
    for (size_t k = 0; k < part.size(); ++k) {
      if (SUCCEEDED(errors[k])) {
        read[where[k]] = true;
      } else {
        session.ReportItem(part[k]->m_strItemId, errors[k]);
        failures = true;
      }
    }
  }
  CRecordWriter records(ctx.out, ctx.args.format, ItemValueColumns());
  for (size_t i = 0; i < items.size(); ++i)
    if (read[i]) records.Row(ItemValueFields(*items[i]));
  records.Finish();
  if (session.ServerGone()) return kExitNoConnect;
  return failures ? kExitItemsFailed : kExitOk;
}

namespace {

// One RFC 4180 record of a line: fields split at commas outside quotes.
bool SplitCsvLine(const std::wstring& line, std::vector<std::wstring>& fields) {
  fields.assign(1, std::wstring());
  bool quoted = false;
  for (size_t i = 0; i < line.size(); ++i) {
    const wchar_t c = line[i];
    if (quoted) {
      if (c == L'"' && i + 1 < line.size() && line[i + 1] == L'"') {
        fields.back() += L'"';
        ++i;
      } else if (c == L'"') {
        quoted = false;
      } else {
        fields.back() += c;
      }
    } else if (c == L'"' && fields.back().empty()) {
      quoted = true;
    } else if (c == L',') {
      fields.emplace_back();
    } else {
      fields.back() += c;
    }
  }
  return !quoted;
}

bool WritePairs(const CliContext& ctx, std::vector<std::pair<std::wstring, std::wstring>>& pairs) {
  for (size_t i = 1; i < ctx.args.args.size(); ++i) {
    const std::wstring& a = ctx.args.args[i];
    const size_t eq = a.find(L'=');
    if (eq == std::wstring::npos || eq == 0) {
      ctx.Usage(L"'" + a + L"' is not ITEM=VALUE");
      return false;
    }
    pairs.emplace_back(a.substr(0, eq), a.substr(eq + 1));
  }
  const std::wstring* path = ctx.args.Value(L"--file");
  if (!path) return true;
  std::wstring text;
  if (!CliReadTextFile(ctx, *path, text)) return false;
  size_t pos = 0, lineNo = 0;
  std::vector<std::wstring> fields;
  while (pos < text.size()) {
    size_t end = text.find(L'\n', pos);
    if (end == std::wstring::npos) end = text.size();
    std::wstring line = text.substr(pos, end - pos);
    if (!line.empty() && line.back() == L'\r') line.pop_back();
    pos = end + 1;
    ++lineNo;
    if (line.empty()) continue;
    if (!SplitCsvLine(line, fields) || fields.size() != 2 || fields[0].empty()) {
      ctx.Usage(*path + L" line " + std::to_wstring(lineNo) + L": not an item,value record");
      return false;
    }
    if (lineNo == 1 && fields[0] == L"item" && fields[1] == L"value") continue;  // a header
    pairs.emplace_back(fields[0], fields[1]);
  }
  if (pairs.empty()) {
    ctx.Usage(L"'" + *path + L"' holds no values");
    return false;
  }
  return true;
}

}  // namespace

int CliWrite(const CliContext& ctx) {
  std::vector<std::pair<std::wstring, std::wstring>> pairs;
  if (!WritePairs(ctx, pairs)) return kExitUsage;
  std::vector<std::wstring> ids;
  for (const auto& p : pairs) ids.push_back(p.first);
  if (Unique(ids).size() != ids.size()) return ctx.Usage(L"an item is written twice");
  if (ctx.args.Value(L"--quality") || ctx.args.Value(L"--time")) return CliWriteVqt(ctx, pairs);
  CCliSession session(ctx.err, ctx.hooks);
  if (!session.Connect(ctx.args.args[0], ctx.Node())) return kExitNoConnect;
  COpcServer& server = session.Server();
  server.SetGroupActive(FALSE);  // writing needs no subscription
  bool failures = false;
  std::vector<COpcItem*> items;
  std::vector<VARTYPE> types;
  if (!AddGroups(session, ids, items, &types, failures))
    return session.ServerGone() ? kExitNoConnect : kExitItemsFailed;

  // Every value is converted before anything is written: a typo writes nothing.
  std::vector<VARIANT> values(items.size());
  for (VARIANT& v : values) ::VariantInit(&v);
  auto clear = [&values] {
    for (VARIANT& v : values) ::VariantClear(&v);
  };
  for (size_t i = 0; i < items.size(); ++i) {
    if (!items[i]) continue;
    const VARTYPE vt = types[i] == VT_EMPTY ? static_cast<VARTYPE>(VT_BSTR) : types[i];
    if (const HRESULT hr = ConvertWriteText(pairs[i].second, vt, &values[i]); FAILED(hr)) {
      clear();
      const std::wstring type =
          (vt & VT_ARRAY) ? L"array of " + GetTypeName(vt & ~VT_ARRAY) : GetTypeName(vt);
      return ctx.Usage(
          L"'" + pairs[i].second +
          (hr == DISP_E_OVERFLOW ? L"' is out of the range of type " : L"' is no value of type ") +
          type + L" (item " + ids[i] + L")");
    }
  }

  const bool async = ctx.args.Has(L"--async");
  std::vector<HRESULT> results(items.size(), E_FAIL);
  std::vector<bool> pending(items.size(), false);
  std::map<OPCHANDLE, size_t> byHandle;
  for (size_t first = 0, group = 1; first < items.size(); first += kItemsPerGroup, ++group) {
    server.SelectGroup(static_cast<OPCHANDLE>(group));
    std::vector<COpcItem*> part;
    std::vector<VARIANT> partValues;
    std::vector<size_t> where;
    for (size_t i = first; i < std::min(items.size(), first + kItemsPerGroup); ++i)
      if (items[i]) {
        part.push_back(items[i]);
        partValues.push_back(values[i]);
        where.push_back(i);
      }
    std::vector<HRESULT> errors;
    server.m_groupManager.WriteItems(part, partValues, async, errors);
    for (size_t k = 0; k < part.size(); ++k) {
      results[where[k]] = errors[k];
      if (async && SUCCEEDED(errors[k])) {
        pending[where[k]] = true;
        byHandle[part[k]->m_hClient] = where[k];
      }
    }
  }
  clear();
  if (async) {
    // The outcomes come back later through the server's callback.
    size_t waiting = static_cast<size_t>(std::count(pending.begin(), pending.end(), true));
    session.m_onWriteResult = [&](OPCHANDLE hClient, HRESULT error) {
      if (hClient == 0) {  // the whole request failed
        for (size_t i = 0; i < pending.size(); ++i)
          if (pending[i]) results[i] = error, pending[i] = false;
        waiting = 0;
        return;
      }
      auto it = byHandle.find(hClient);
      if (it == byHandle.end() || !pending[it->second]) return;
      results[it->second] = error;
      pending[it->second] = false;
      --waiting;
    };
    session.Pump([&] { return waiting == 0; }, kWriteResultLimitMs);
    session.m_onWriteResult = nullptr;
    for (size_t i = 0; i < pending.size(); ++i)
      if (pending[i]) results[i] = RPC_E_TIMEOUT;
  }
  CRecordWriter records(ctx.out, ctx.args.format,
                        {{L"ITEM", L"item"},
                         {L"VALUE", L"value"},
                         {L"RESULT", L"result"},
                         {L"CODE", L"code", false, true}});
  for (size_t i = 0; i < items.size(); ++i) {
    if (!items[i]) continue;
    const bool ok = SUCCEEDED(results[i]);
    records.Row(
        {ids[i], pairs[i].second,
         WriteResultText(results[i], results[i] == S_OK ? L"" : session.ErrorText(results[i])),
         Hex(results[i])});
    if (!ok) {
      session.ReportItem(ids[i], results[i]);
      failures = true;
    }
  }
  records.Finish();
  if (session.ServerGone()) return kExitNoConnect;
  return failures ? kExitItemsFailed : kExitOk;
}

namespace {
// The pause before a watch's next attempt after that many failed: 1 s, doubling, at most
// 30 s.
DWORD WatchReconnectPauseMs(int failed) {
  DWORD pause = 1000;
  for (int i = 0; i < failed && pause < 30000; ++i) pause *= 2;
  return std::min<DWORD>(pause, 30000);
}
}  // namespace

int CliWatch(const CliContext& ctx) {
  double rate = 1000, deadband = 0, seconds = 0, count = 0;
  if (const std::wstring* v = ctx.args.Value(L"--rate"))
    if (!ParseCliNumber(*v, 0, 86400000, rate) || rate != static_cast<DWORD>(rate))
      return ctx.Usage(L"--rate takes milliseconds, not '" + *v + L"'");
  if (const std::wstring* v = ctx.args.Value(L"--deadband"))
    if (!ParseCliNumber(*v, 0, 100, deadband))
      return ctx.Usage(L"--deadband takes a percentage from 0 to 100, not '" + *v + L"'");
  if (const std::wstring* v = ctx.args.Value(L"--seconds"))
    if (!ParseCliNumber(*v, 0.001, 86400.0 * 365, seconds))
      return ctx.Usage(L"--seconds takes a positive number, not '" + *v + L"'");
  if (const std::wstring* v = ctx.args.Value(L"--count"))
    if (!ParseCliNumber(*v, 1, 4e9, count) ||
        count != static_cast<double>(static_cast<DWORD>(count)))
      return ctx.Usage(L"--count takes a whole number above 0, not '" + *v + L"'");
  std::vector<std::wstring> ids;
  if (!CliItemList(ctx, ids)) return kExitUsage;
  ids = Unique(ids);

  size_t idWidth = 0;
  for (const std::wstring& id : ids) idWidth = std::max(idWidth, DisplayWidth(id));
  // The record writer's lines, made the fast way; one header however often it connects.
  CWatchLines lines(ctx.out, ctx.args.format, {idWidth, 12, 6, 9, 0, 24});
  const bool reconnect = ctx.args.Has(L"--reconnect");
  const ULONGLONG deadline =
      seconds > 0 ? ::GetTickCount64() + static_cast<ULONGLONG>(seconds * 1000) : 0;
  auto timeUp = [deadline] { return deadline && ::GetTickCount64() >= deadline; };
  const DWORD limit = static_cast<DWORD>(count);
  DWORD printed = 0;
  bool failures = false, any = false, header = false;
  CliResetStop(nullptr);
  ::SetConsoleCtrlHandler(CliConsoleCtrlHandler, TRUE);
  auto finish = [](int code) {
    CliResetStop(nullptr);
    ::SetConsoleCtrlHandler(CliConsoleCtrlHandler, FALSE);
    return code;
  };
  for (int failed = 0, losses = 0;;) {
    // Between attempts Ctrl+C and the time limit are still heard.
    if (losses) {
      const ULONGLONG until = ::GetTickCount64() + WatchReconnectPauseMs(failed);
      // The lost server's proxies are let go of before a new connection is made.
      while ((::GetTickCount64() < until || ReleasesPending(5000)) && !CliStopRequested() &&
             !timeUp()) {
        // This thread's apartment serves what was queued for it meanwhile, here and not in
        // the middle of the next connection.
        ::MsgWaitForMultipleObjectsEx(0, nullptr, 50, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
        MSG msg;
        while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
          ::TranslateMessage(&msg);
          ::DispatchMessageW(&msg);
        }
      }
      if (CliStopRequested() || timeUp())
        return finish(failures || !any ? kExitItemsFailed : kExitOk);
      ctx.err.Write(L"plover-cli: connecting again to '" + ctx.args.args[0] + L"' (attempt " +
                    std::to_wstring(failed + 1) + L")\n");
    }
    CCliSession session(ctx.err, ctx.hooks);
    if (!session.Connect(ctx.args.args[0], ctx.Node())) {
      if (!losses) return finish(kExitNoConnect);
      ++failed;
      continue;
    }
    failed = 0;
    COpcServer& server = session.Server();
    server.SetGroupActive(TRUE);
    server.SetGroupUpdateRate(static_cast<DWORD>(rate));
    server.SetGroupDeadband(static_cast<float>(deadband));
    if (!header) lines.Header();
    header = true;
    session.m_onStored = [&](OPCHANDLE, const COpcItem& item) {
      if (limit && printed >= limit) return;
      lines.Row(item);
      ++printed;
    };
    CliResetStop(session.Window());
    std::vector<COpcItem*> items;
    if (!AddGroups(session, ids, items, nullptr, failures)) failures = true;
    const bool some = std::any_of(items.begin(), items.end(), [](COpcItem* i) { return i; });
    any = any || some;
    if (some && !CliStopRequested()) {
      if (deadline) {
        const ULONGLONG now = ::GetTickCount64();
        session.StopAfter(now < deadline ? static_cast<DWORD>(deadline - now) : 1);
      }
      session.Pump([&] {
        // Whatever arrived is out before the loop waits.
        lines.Flush();
        ctx.out.Flush();
        // A reader that has gone (a closed pipe) ends the watch like Ctrl+C.
        return (limit && printed >= limit) || ctx.out.Failed();
      });
    }
    session.m_onStored = nullptr;
    // Removing the groups of a server that has stopped answering would wait for ever.
    session.ConfirmAnswering();
    const bool gone = session.ServerGone();
    const bool over =
        CliStopRequested() || timeUp() || (limit && printed >= limit) || ctx.out.Failed();
    if (gone && reconnect && some && !over) {
      // Each item's last value, of bad quality from the loss on.
      FILETIME lost{};
      ::GetSystemTimeAsFileTime(&lost);
      for (COpcItem* item : items) {
        if (!item) continue;
        item->m_wQuality = OPC_QUALITY_BAD | OPC_QUALITY_COMM_FAILURE;
        item->m_ftTimeStamp = lost;
        lines.Row(*item);
      }
      lines.Flush();
      ctx.out.Flush();
      session.Close();
      // COM stays up to the end: a lost server's proxies may still be let go of on a thread
      // of their own, and the end must not wait for them.
      if (!losses) ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
      ++losses;
      continue;
    }
    lines.Flush();
    ctx.out.Flush();
    // Every group goes at the server before Ctrl+C and closing the console are the
    // system's again.
    session.Close();
    if (gone) return finish(kExitNoConnect);
    return finish(failures || !any ? kExitItemsFailed : kExitOk);
  }
}
