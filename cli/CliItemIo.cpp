// read --max-age and write --quality/--time: the DA 3.0 group-less IOPCItemIO.
#include <cwchar>

#include "CliCommands.h"
#include "CliSession.h"
#include "CliText.h"
#include "CliWatchLines.h"
#include "OpcItemIo.h"
#include "OpcText.h"

namespace {

std::wstring Hex(HRESULT code) {
  wchar_t hex[16];
  ::swprintf(hex, 16, L"0x%08X", static_cast<unsigned>(code));
  return hex;
}

unsigned Digits(const std::wstring& s, size_t at, size_t n, bool& ok) {
  unsigned v = 0;
  for (size_t i = at; i < at + n; ++i) {
    if (i >= s.size() || s[i] < L'0' || s[i] > L'9') {
      ok = false;
      return 0;
    }
    v = v * 10 + static_cast<unsigned>(s[i] - L'0');
  }
  return v;
}

}  // namespace

bool CliParseMaxAge(const std::wstring& text, DWORD& age) {
  double v = 0;
  if (text == L"cache") {
    age = OPC_MAXAGE_CACHE;
    return true;
  }
  if (!ParseCliNumber(text, 0, 4294967295.0, v) || v != static_cast<double>(static_cast<DWORD>(v)))
    return false;
  age = static_cast<DWORD>(v);
  return true;
}

bool CliParseQuality(const std::wstring& text, WORD& quality) {
  static const struct {
    const wchar_t* name;
    WORD value;
  } kNames[] = {{L"good", OPC_QUALITY_GOOD},
                {L"bad", OPC_QUALITY_BAD},
                {L"uncertain", OPC_QUALITY_UNCERTAIN}};
  for (const auto& n : kNames)
    if (text == n.name) {
      quality = n.value;
      return true;
    }
  if (text.empty()) return false;
  wchar_t* end = nullptr;
  const unsigned long v = std::wcstoul(text.c_str(), &end, 0);
  if (!end || *end || text[0] == L'-' || v > 0xFFFF) return false;
  quality = static_cast<WORD>(v);
  return true;
}

bool CliParseTime(const std::wstring& text, FILETIME& time) {
  if (text == L"now") {
    ::GetSystemTimeAsFileTime(&time);
    return true;
  }
  // 2026-12-08T11:30:52Z or with .mmm before the Z: UTC, as every time plover-cli prints.
  bool ok = text.size() == 20 || text.size() == 24;
  SYSTEMTIME st = {};
  st.wYear = static_cast<WORD>(Digits(text, 0, 4, ok));
  st.wMonth = static_cast<WORD>(Digits(text, 5, 2, ok));
  st.wDay = static_cast<WORD>(Digits(text, 8, 2, ok));
  st.wHour = static_cast<WORD>(Digits(text, 11, 2, ok));
  st.wMinute = static_cast<WORD>(Digits(text, 14, 2, ok));
  st.wSecond = static_cast<WORD>(Digits(text, 17, 2, ok));
  if (ok && text.size() == 24) {
    st.wMilliseconds = static_cast<WORD>(Digits(text, 20, 3, ok));
    ok = ok && text[19] == L'.';
  }
  ok = ok && text[4] == L'-' && text[7] == L'-' && text[10] == L'T' && text[13] == L':' &&
       text[16] == L':' && text.back() == L'Z';
  // The system checks the calendar (month 13, 30 February).
  return ok && ::SystemTimeToFileTime(&st, &time);
}

bool CliReadByItemIo(const CliContext& ctx, CCliSession& session,
                     const std::vector<std::wstring>& ids, DWORD maxAge, int& exitCode) {
  std::vector<std::unique_ptr<COpcItem>> records;
  std::vector<HRESULT> errors;
  HRESULT hr = ReadByItemIo(session.Server().m_pServer.Get(), ids, maxAge, records, errors);
  if (hr == E_NOINTERFACE) return false;
  bool failures = false;
  for (size_t i = 0; i < ids.size(); ++i) {
    if (records[i]) continue;
    session.ReportItem(ids[i], errors[i]);
    failures = true;
  }
  CRecordWriter out(ctx.out, ctx.args.format, ItemValueColumns());
  for (const auto& r : records)
    if (r) out.Row(ItemValueFields(*r));
  out.Finish();
  exitCode = session.ServerGone() || COpcServerWatch::IsVanishedCode(hr) ? kExitNoConnect
             : failures                                                  ? kExitItemsFailed
                                                                         : kExitOk;
  return true;
}

int CliWriteVqt(const CliContext& ctx,
                const std::vector<std::pair<std::wstring, std::wstring>>& pairs) {
  OpcVqt parts;
  if (const std::wstring* q = ctx.args.Value(L"--quality")) {
    if (!CliParseQuality(*q, parts.quality))
      return ctx.Usage(L"--quality takes good, bad, uncertain or a number to 65535, not '" + *q +
                       L"'");
    parts.withQuality = true;
  }
  if (const std::wstring* t = ctx.args.Value(L"--time")) {
    if (!CliParseTime(*t, parts.time))
      return ctx.Usage(L"--time takes now or a UTC time like 2024-05-01T08:30:00.000Z, not '" + *t +
                       L"'");
    parts.withTime = true;
  }
  if (ctx.args.Has(L"--async")) return ctx.Usage(L"--quality and --time write synchronously");
  std::vector<std::wstring> ids;
  for (const auto& p : pairs) ids.push_back(p.first);
  CCliSession session(ctx.err, ctx.hooks);
  if (!session.Connect(ctx.args.args[0], ctx.Node())) return kExitNoConnect;
  IOPCServer* server = session.Server().m_pServer.Get();
  TComPtr<IOPCItemIO> io;
  if (FAILED(io.QueryFrom(server)) || !io) {
    io.Detach();
    ctx.err.Write(
        L"plover-cli: the server cannot write quality or time stamp (it has no OPC "
        L"DA 3.0 IOPCItemIO); nothing was written\n");
    return kExitItemsFailed;
  }
  io.Release();
  std::vector<VARTYPE> types;
  std::vector<HRESULT> errors;
  HRESULT hr = ReadCanonicalTypes(server, ids, types, errors);
  if (COpcServerWatch::IsVanishedCode(hr)) {
    session.ReportItem(L"GetProperties", hr);
    return kExitNoConnect;
  }
  // Every value is converted before anything is written: a typo writes nothing.
  std::vector<OpcVqt> vqts(ids.size(), parts);
  for (OpcVqt& v : vqts) ::VariantInit(&v.value);
  auto clear = [&vqts] {
    for (OpcVqt& v : vqts) ::VariantClear(&v.value);
  };
  bool failures = false;
  std::vector<bool> known(ids.size(), false);
  for (size_t i = 0; i < ids.size(); ++i) {
    if (FAILED(errors[i])) {
      session.ReportItem(ids[i], errors[i]);
      failures = true;
      continue;
    }
    known[i] = true;
    const VARTYPE vt = types[i] == VT_EMPTY ? static_cast<VARTYPE>(VT_BSTR) : types[i];
    if (const HRESULT c = ConvertWriteText(pairs[i].second, vt, &vqts[i].value); FAILED(c)) {
      clear();
      return ctx.Usage(
          L"'" + pairs[i].second +
          (c == DISP_E_OVERFLOW ? L"' is out of the range of type " : L"' is no value of type ") +
          GetTypeName(vt) + L" (item " + ids[i] + L")");
    }
  }
  std::vector<std::wstring> knownIds;
  std::vector<OpcVqt> knownVqts;
  for (size_t i = 0; i < ids.size(); ++i)
    if (known[i]) knownIds.push_back(ids[i]), knownVqts.push_back(vqts[i]);
  std::vector<HRESULT> results;
  hr = knownIds.empty() ? S_OK : WriteVqtByItemIo(server, knownIds, knownVqts, results);
  clear();
  CRecordWriter records(ctx.out, ctx.args.format,
                        {{L"ITEM", L"item"},
                         {L"VALUE", L"value"},
                         {L"RESULT", L"result"},
                         {L"CODE", L"code", false, true}});
  for (size_t i = 0, k = 0; i < ids.size(); ++i) {
    if (!known[i]) continue;
    const HRESULT r = results[k++];
    std::wstring text = r == S_OK ? L"" : session.ErrorText(r);
    // Say plainly which part the server refused.
    if (r == static_cast<HRESULT>(OPC_E_NOTSUPPORTED))
      text = L"the server cannot write this quality or time stamp";
    records.Row({ids[i], pairs[i].second, WriteResultText(r, text), Hex(r)});
    if (FAILED(r)) {
      session.ReportItem(ids[i], r);
      failures = true;
    }
  }
  records.Finish();
  if (session.ServerGone() || COpcServerWatch::IsVanishedCode(hr)) return kExitNoConnect;
  return failures ? kExitItemsFailed : kExitOk;
}
