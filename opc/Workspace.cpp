#include "Workspace.h"

#include "OpcUiText.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <unordered_set>

namespace workspace {

namespace {

struct TypeNameEntry {
  uint16_t vt;
  const char* name;
};
constexpr TypeNameEntry kTypeNames[] = {{0, "EMPTY"},  {2, "I2"},    {3, "I4"},       {4, "R4"},
                                        {5, "R8"},     {6, "CY"},    {7, "DATE"},     {8, "BSTR"},
                                        {10, "ERROR"}, {11, "BOOL"}, {12, "VARIANT"}, {16, "I1"},
                                        {17, "UI1"},   {18, "UI2"},  {19, "UI4"},     {20, "I8"},
                                        {21, "UI8"},   {22, "INT"},  {23, "UINT"}};

bool ParseUnsigned(const std::string& text, uint64_t max, uint64_t& value) {
  if (text.empty() || text.size() > 20) return false;
  for (char c : text)
    if (c < '0' || c > '9') return false;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  return ec == std::errc() && end == text.data() + text.size() && value <= max;
}

bool ParseFlag(const std::string& text, bool& flag) {
  if (text != "0" && text != "1") return false;
  flag = text == "1";
  return true;
}

bool ParseDeadband(const std::string& text, float& value) {
  if (text.empty() || text.size() > 32) return false;
  // Digits and one point only: no signs, exponents, "inf" or "nan" from a hand edit.
  for (char c : text)
    if ((c < '0' || c > '9') && c != '.') return false;
  float v = 0;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
  if (ec != std::errc() || end != text.data() + text.size() || !std::isfinite(v)) return false;
  if (v < 0.0f || v > 100.0f) return false;
  value = v;
  return true;
}

bool ParseAccess(const std::string& text, uint8_t& access) {
  if (text == "read-write") {
    access = kAccessReadable | kAccessWriteable;
  } else if (text == "read") {
    access = kAccessReadable;
  } else if (text == "write") {
    access = kAccessWriteable;
  } else {
    uint64_t v = 0;
    if (!ParseUnsigned(text, 255, v)) return false;
    access = static_cast<uint8_t>(v);
  }
  return true;
}

std::string AccessName(uint8_t access) {
  switch (access) {
    case kAccessReadable | kAccessWriteable:
      return "read-write";
    case kAccessReadable:
      return "read";
    case kAccessWriteable:
      return "write";
    default:
      return std::to_string(access);
  }
}

// A control character would break the line structure or hide in an editor; a tab is text.
bool IsControl(uint32_t c) {
  return (c < 0x20 && c != '\t') || c == 0x7F;
}

// One code point from p (n bytes left); 0 bytes consumed when it is not strict UTF-8.
size_t DecodeUtf8(const unsigned char* p, size_t n, uint32_t& cp) {
  const unsigned char b = p[0];
  if (b < 0x80) {
    cp = b;
    return 1;
  }
  size_t len = 0;
  uint32_t min = 0;
  if ((b & 0xE0) == 0xC0) {
    len = 2, cp = b & 0x1F, min = 0x80;
  } else if ((b & 0xF0) == 0xE0) {
    len = 3, cp = b & 0x0F, min = 0x800;
  } else if ((b & 0xF8) == 0xF0) {
    len = 4, cp = b & 0x07, min = 0x10000;
  } else {
    return 0;
  }
  if (len > n) return 0;
  for (size_t i = 1; i < len; ++i) {
    if ((p[i] & 0xC0) != 0x80) return 0;
    cp = (cp << 6) | (p[i] & 0x3F);
  }
  // Overlong forms, surrogates and code points past Unicode are not UTF-8.
  if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
  return len;
}

void AppendWide(std::wstring& out, uint32_t cp) {
  if constexpr (sizeof(wchar_t) == 2) {
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out += static_cast<wchar_t>(0xD800 + (cp >> 10));
      out += static_cast<wchar_t>(0xDC00 + (cp & 0x3FF));
      return;
    }
  }
  out += static_cast<wchar_t>(cp);
}

void AppendUtf8(std::string& out, uint32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

// The reader's state: which settings the current server block, group and item have had.
class Reader {
 public:
  Reader(Workspace& ws, Error& err) : m_ws(ws), m_err(err) {}

  bool Line(size_t number, const std::string& keyword, const std::string& value);
  bool Finish();

 private:
  bool Fail(Fault fault) {
    m_err.fault = fault;
    m_err.line = m_line;
    m_err.keyword = m_keyword;
    return false;
  }
  // Marks a setting as given; false when it was given before.
  static bool Once(unsigned& seen, unsigned bit) {
    if (seen & bit) return false;
    seen |= bit;
    return true;
  }
  bool Text(const std::string& value, std::wstring& out, bool required) {
    if (required && value.empty()) return Fail(Fault::Missing);
    if (!Utf8ToWide(value.data(), value.size(), out)) return Fail(Fault::BadUtf8);
    return true;
  }
  bool ServerSetting(unsigned bit, const std::string& value);
  bool GroupSetting(unsigned bit, const std::string& value);
  bool ItemSetting(unsigned bit, const std::string& value);

  Workspace& m_ws;
  Error& m_err;
  size_t m_line = 0;
  std::string m_keyword;
  unsigned m_serverSeen = 0, m_groupSeen = 0, m_itemSeen = 0;
  size_t m_items = 0;
  std::vector<size_t> m_idLines;  // per group: the line of its group-id, 0 for none
  std::unordered_set<std::wstring> m_groupItems;
};

bool Reader::ServerSetting(unsigned bit, const std::string& value) {
  if (!m_ws.groups.empty()) return Fail(Fault::Misplaced);  // server settings come first
  if (!Once(m_serverSeen, bit)) return Fail(Fault::Repeated);
  switch (bit) {
    case 1:
      return Text(value, m_ws.progId, true);
    case 2:
      return Text(value, m_ws.node, false);
    case 4:
      return Text(value, m_ws.browseFilter, false);
    case 8:
      return ParseTypeName(value, m_ws.browseType) ? true : Fail(Fault::BadValue);
    case 32:
      return ParseFlag(value, m_ws.autoReconnect) ? true : Fail(Fault::BadValue);
    default:
      return ParseAccess(value, m_ws.browseAccess) ? true : Fail(Fault::BadValue);
  }
}

bool Reader::GroupSetting(unsigned bit, const std::string& value) {
  if (m_ws.groups.empty()) return Fail(Fault::Misplaced);
  if (!Once(m_groupSeen, bit)) return Fail(Fault::Repeated);
  Group& g = m_ws.groups.back();
  uint64_t n = 0;
  switch (bit) {
    case 1:
      if (!ParseUnsigned(value, 0xFFFFFFFFu, n)) return Fail(Fault::BadValue);
      g.id = static_cast<uint32_t>(n);
      m_idLines.back() = m_line;
      return true;
    case 2:
      return ParseFlag(value, g.active) ? true : Fail(Fault::BadValue);
    case 4:
      if (!ParseUnsigned(value, 0xFFFFFFFFu, n)) return Fail(Fault::BadValue);
      g.updateRate = static_cast<uint32_t>(n);
      return true;
    default:
      return ParseDeadband(value, g.deadband) ? true : Fail(Fault::BadValue);
  }
}

bool Reader::ItemSetting(unsigned bit, const std::string& value) {
  if (m_ws.groups.empty() || m_ws.groups.back().items.empty()) return Fail(Fault::Misplaced);
  if (!Once(m_itemSeen, bit)) return Fail(Fault::Repeated);
  Item& item = m_ws.groups.back().items.back();
  switch (bit) {
    case 1:
      return Text(value, item.accessPath, false);
    case 2:
      return ParseTypeName(value, item.requestedType) ? true : Fail(Fault::BadValue);
    default:
      return ParseFlag(value, item.active) ? true : Fail(Fault::BadValue);
  }
}

bool Reader::Line(size_t number, const std::string& keyword, const std::string& value) {
  m_line = number;
  m_keyword = keyword;
  if (keyword == "server") return ServerSetting(1, value);
  if (keyword == "node") return ServerSetting(2, value);
  if (keyword == "browse-filter") return ServerSetting(4, value);
  if (keyword == "browse-type") return ServerSetting(8, value);
  if (keyword == "browse-access") return ServerSetting(16, value);
  if (keyword == "auto-reconnect") return ServerSetting(32, value);
  if (keyword == "group") {
    if (m_ws.progId.empty()) return Fail(Fault::Misplaced);  // groups live on a server
    if (m_ws.groups.size() >= kMaxGroups) return Fail(Fault::TooManyGroups);
    Group g;
    if (!Text(value, g.name, true)) return false;
    m_ws.groups.push_back(std::move(g));
    m_idLines.push_back(0);
    m_groupSeen = m_itemSeen = 0;
    m_groupItems.clear();
    return true;
  }
  if (keyword == "group-id") return GroupSetting(1, value);
  if (keyword == "group-active") return GroupSetting(2, value);
  if (keyword == "update-rate") return GroupSetting(4, value);
  if (keyword == "deadband") return GroupSetting(8, value);
  if (keyword == "item") {
    if (m_ws.groups.empty()) return Fail(Fault::Misplaced);
    if (m_items >= kMaxItems) return Fail(Fault::TooManyItems);
    Item item;
    if (!Text(value, item.itemId, true)) return false;
    if (!m_groupItems.insert(item.itemId).second) return Fail(Fault::Duplicate);
    m_ws.groups.back().items.push_back(std::move(item));
    ++m_items;
    m_itemSeen = 0;
    return true;
  }
  if (keyword == "item-path") return ItemSetting(1, value);
  if (keyword == "item-type") return ItemSetting(2, value);
  if (keyword == "item-active") return ItemSetting(4, value);
  return Fail(Fault::UnknownKeyword);
}

// Groups are known by the low 16 bits of their handle: two that share them are one too many.
// A group without a handle gets the smallest free one, as the connect command's "Group1".
bool Reader::Finish() {
  std::unordered_set<uint32_t> used;
  for (size_t i = 0; i < m_ws.groups.size(); ++i) {
    if (!m_idLines[i]) continue;
    if (!used.insert(m_ws.groups[i].id & 0xFFFF).second) {
      m_line = m_idLines[i];
      m_keyword = "group-id";
      return Fail(Fault::Duplicate);
    }
  }
  uint32_t next = 1;
  for (size_t i = 0; i < m_ws.groups.size(); ++i) {
    if (m_idLines[i]) continue;
    while (used.count(next & 0xFFFF)) ++next;
    m_ws.groups[i].id = next;
    used.insert(next & 0xFFFF);
  }
  return true;
}

bool CheckText(const std::wstring& text, bool required) {
  if (required && text.empty()) return false;
  std::string utf8;
  if (!WideToUtf8(text, utf8)) return false;
  for (unsigned char c : utf8)
    if (IsControl(c)) return false;
  return true;
}

void Put(std::string& out, const char* indent, const char* keyword, const std::string& value) {
  out += indent;
  out += keyword;
  out += ' ';
  out += value;
  out += '\n';
}

void PutText(std::string& out, const char* indent, const char* keyword, const std::wstring& value) {
  std::string utf8;
  WideToUtf8(value, utf8);
  Put(out, indent, keyword, utf8);
}

std::string FloatText(float v) {
  char buf[64];
  auto [end, ec] = std::to_chars(buf, buf + sizeof(buf), v);
  return ec == std::errc() ? std::string(buf, end) : std::string("0");
}

}  // namespace

std::string TypeName(uint16_t vt) {
  const uint16_t base = vt & ~kTypeArrayFlag;
  for (const TypeNameEntry& e : kTypeNames)
    if (e.vt == base && (base != 0 || vt == 0))
      return std::string(e.name) + ((vt & kTypeArrayFlag) ? "[]" : "");
  return std::to_string(vt);
}

bool ParseTypeName(const std::string& text, uint16_t& vt) {
  uint64_t n = 0;
  if (ParseUnsigned(text, 0xFFFF, n)) {
    vt = static_cast<uint16_t>(n);
    return true;
  }
  std::string base = text;
  uint16_t flag = 0;
  if (base.size() > 2 && base.compare(base.size() - 2, 2, "[]") == 0) {
    base.resize(base.size() - 2);
    flag = kTypeArrayFlag;
  }
  for (const TypeNameEntry& e : kTypeNames) {
    if (base == e.name && !(flag && e.vt == 0)) {
      vt = static_cast<uint16_t>(e.vt | flag);
      return true;
    }
  }
  return false;
}

bool Utf8ToWide(const char* p, size_t n, std::wstring& out) {
  std::wstring result;
  result.reserve(n);
  const auto* b = reinterpret_cast<const unsigned char*>(p);
  for (size_t i = 0; i < n;) {
    uint32_t cp = 0;
    const size_t len = DecodeUtf8(b + i, n - i, cp);
    if (!len || IsControl(cp)) return false;
    AppendWide(result, cp);
    i += len;
  }
  out = std::move(result);
  return true;
}

bool WideToUtf8(const std::wstring& in, std::string& out) {
  std::string result;
  result.reserve(in.size());
  for (size_t i = 0; i < in.size(); ++i) {
    uint32_t cp = static_cast<uint32_t>(in[i]);
    if constexpr (sizeof(wchar_t) == 2) {
      if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < in.size()) {
        const uint32_t lo = static_cast<uint16_t>(in[i + 1]);
        if (lo >= 0xDC00 && lo <= 0xDFFF) {
          cp = 0x10000 + ((cp - 0xD800) << 10) + (lo - 0xDC00);
          ++i;
        }
      }
    }
    if ((cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF) return false;  // a lone surrogate
    AppendUtf8(result, cp);
  }
  out = std::move(result);
  return true;
}

bool Reopens(const std::string& text, Error& err) {
  Workspace scratch;
  return Read(text.data(), text.size(), scratch, err);
}

bool Read(const char* data, size_t size, Workspace& out, Error& err) {
  err = Error();
  if (size > kMaxFileBytes) {
    err.fault = Fault::TooLarge;
    return false;
  }
  Workspace ws;
  Reader reader(ws, err);
  size_t pos = 0, number = 0;
  // A byte-order mark, as some editors write, is no part of the first line.
  if (size >= 3 && std::memcmp(data, "\xEF\xBB\xBF", 3) == 0) pos = 3;
  while (pos < size) {
    const char* nl = static_cast<const char*>(std::memchr(data + pos, '\n', size - pos));
    size_t end = nl ? static_cast<size_t>(nl - data) : size;
    ++number;
    if (end - pos > kMaxLineBytes) {
      err = Error{number == 1 ? Fault::NotWorkspace : Fault::LineTooLong, number, {}};
      return false;
    }
    std::string line(data + pos, end - pos);
    pos = nl ? end + 1 : size;
    if (!line.empty() && line.back() == '\r') line.pop_back();

    if (number == 1) {
      const std::string prefix = std::string(kFormatName) + " ";
      uint64_t version = 0;
      if (line.compare(0, prefix.size(), prefix) != 0 ||
          !ParseUnsigned(line.substr(prefix.size()), 0xFFFFFFFFu, version) || version == 0) {
        err = Error{Fault::NotWorkspace, 1, {}};
        return false;
      }
      if (version > static_cast<uint64_t>(kFormatVersion)) {
        err = Error{Fault::NewerVersion, 1, {}};
        return false;
      }
      continue;
    }

    std::wstring check;
    if (!Utf8ToWide(line.data(), line.size(), check)) {
      err = Error{Fault::BadUtf8, number, {}};
      return false;
    }
    size_t start = line.find_first_not_of(" \t");
    if (start == std::string::npos || line[start] == '#') continue;
    size_t sep = line.find_first_of(" \t", start);
    std::string keyword =
        line.substr(start, sep == std::string::npos ? std::string::npos : sep - start);
    std::string value = sep == std::string::npos ? std::string() : line.substr(sep + 1);
    if (!reader.Line(number, keyword, value)) return false;
  }
  if (number == 0) {
    err = Error{Fault::NotWorkspace, 1, {}};
    return false;
  }
  if (!reader.Finish()) return false;
  out = std::move(ws);
  return true;
}

bool Write(const Workspace& ws, std::string& out, Error& err) {
  err = Error();
  auto fail = [&](const char* keyword) {
    err.fault = Fault::Unwritable;
    err.keyword = keyword;
    return false;
  };
  std::string s;
  s += kFormatName;
  s += ' ';
  s += std::to_string(kFormatVersion);
  s += "\n# Plover workspace: one \"keyword value\" a line; the format is in docs/workspace.md.\n";
  if (!ws.progId.empty()) {
    if (!CheckText(ws.progId, true)) return fail("server");
    PutText(s, "", "server", ws.progId);
    if (!ws.node.empty()) {
      if (!CheckText(ws.node, false)) return fail("node");
      PutText(s, "", "node", ws.node);
    }
  }
  if (!CheckText(ws.browseFilter, false)) return fail("browse-filter");
  PutText(s, "", "browse-filter", ws.browseFilter);
  Put(s, "", "browse-type", TypeName(ws.browseType));
  Put(s, "", "browse-access", AccessName(ws.browseAccess));
  // Written only when off: files with the default stay readable by earlier versions.
  if (!ws.autoReconnect) Put(s, "", "auto-reconnect", "0");
  if (ws.progId.empty()) {
    out = std::move(s);
    return true;  // a group lives on a server: without one there is nothing more
  }
  for (const Group& g : ws.groups) {
    if (!CheckText(g.name, true)) return fail("group");
    s += '\n';
    PutText(s, "", "group", g.name);
    Put(s, "  ", "group-id", std::to_string(g.id));
    Put(s, "  ", "group-active", g.active ? "1" : "0");
    Put(s, "  ", "update-rate", std::to_string(g.updateRate));
    Put(s, "  ", "deadband", FloatText(g.deadband));
    for (const Item& item : g.items) {
      if (!CheckText(item.itemId, true)) return fail("item");
      PutText(s, "  ", "item", item.itemId);
      if (!item.accessPath.empty()) {
        if (!CheckText(item.accessPath, false)) return fail("item-path");
        PutText(s, "    ", "item-path", item.accessPath);
      }
      if (item.requestedType != kTypeEmpty)
        Put(s, "    ", "item-type", TypeName(item.requestedType));
      if (!item.active) Put(s, "    ", "item-active", "0");
    }
  }
  out = std::move(s);
  return true;
}

std::wstring FaultText(const Error& err) {
  std::wstring keyword(err.keyword.begin(), err.keyword.end());  // keywords are ASCII
  std::wstring text;
  switch (err.fault) {
    case Fault::None:
      break;
    case Fault::NotWorkspace:
      text = OpcUiString(OpcUiText::WsNotWorkspace);
      break;
    case Fault::NewerVersion:
      text = OpcUiString(OpcUiText::WsNewerVersion, {std::to_wstring(kFormatVersion)});
      break;
    case Fault::TooLarge:
      text = OpcUiString(OpcUiText::WsTooLarge, {std::to_wstring(kMaxFileBytes >> 20)});
      break;
    case Fault::LineTooLong:
      text = OpcUiString(OpcUiText::WsLineTooLong, {std::to_wstring(kMaxLineBytes)});
      break;
    case Fault::BadUtf8:
      text = OpcUiString(OpcUiText::WsBadUtf8);
      break;
    case Fault::UnknownKeyword:
      text = OpcUiString(OpcUiText::WsUnknownKeyword, {keyword});
      break;
    case Fault::BadValue:
      text = OpcUiString(OpcUiText::WsBadValue, {keyword});
      break;
    case Fault::Missing:
      text = OpcUiString(OpcUiText::WsMissing, {keyword});
      break;
    case Fault::Repeated:
      text = OpcUiString(OpcUiText::WsRepeated, {keyword});
      break;
    case Fault::Misplaced:
      text = OpcUiString(OpcUiText::WsMisplaced, {keyword});
      break;
    case Fault::Duplicate:
      text = OpcUiString(OpcUiText::WsDuplicate, {keyword});
      break;
    case Fault::TooManyGroups:
      text = OpcUiString(OpcUiText::WsTooManyGroups, {std::to_wstring(kMaxGroups)});
      break;
    case Fault::TooManyItems:
      text = OpcUiString(OpcUiText::WsTooManyItems, {std::to_wstring(kMaxItems)});
      break;
    case Fault::Unwritable:
      text = OpcUiString(OpcUiText::WsUnwritable, {keyword});
      break;
  }
  if (err.line) text = OpcUiString(OpcUiText::WsAtLine, {std::to_wstring(err.line), text});
  return text;
}

}  // namespace workspace
