// servers, status, browse and props, and the item lists the item commands share.
#include "CliCommands.h"

#include <memory>

#include "CliSession.h"
#include "CliText.h"
#include "ClassesRootKeys.h"
#include "OpcDiscovery.h"
#include "OpcItemProperties.h"
#include "OpcText.h"

namespace {

// The browse tree as records: text, parent, item index; nothing is drawn.
class CListTree : public IOpcTree {
 public:
  struct Node {
    std::wstring text;
    int parent;
    int depth;
    int32_t data;
  };
  explicit CListTree(int maxDepth) : m_maxDepth(maxDepth) {}
  void DeleteAllItems() override { m_nodes.clear(); }
  OpcTreeNode InsertItem(const std::wstring& text, OpcTreeNode parent, int32_t data) override {
    const int p = parent ? static_cast<int>(reinterpret_cast<intptr_t>(parent)) - 1 : -1;
    const int depth = p < 0 ? 0 : m_nodes[static_cast<size_t>(p)].depth + 1;
    // A refused node gets no children: the walk stops there.
    if (m_maxDepth >= 0 && depth > m_maxDepth) return nullptr;
    m_nodes.push_back({text, p, depth, data});
    return reinterpret_cast<OpcTreeNode>(static_cast<intptr_t>(m_nodes.size()));
  }
  void SetItemData(OpcTreeNode node, int32_t data) override { At(node).data = data; }
  OpcTreeNode GetParentItem(OpcTreeNode node) override {
    const int p = At(node).parent;
    return p < 0 ? nullptr : reinterpret_cast<OpcTreeNode>(static_cast<intptr_t>(p + 1));
  }
  std::wstring GetItemText(OpcTreeNode node) override { return At(node).text; }
  void SelectCaret(OpcTreeNode) override {}
  void Expand(OpcTreeNode) override {}
  void ShowStatusText(const std::wstring& text) override { m_note = text; }

  std::vector<Node> m_nodes;
  std::wstring m_note;

 private:
  Node& At(OpcTreeNode node) {
    return m_nodes[static_cast<size_t>(reinterpret_cast<intptr_t>(node)) - 1];
  }
  int m_maxDepth;
};

// The standard's properties that are codes read as text, with the number beside them for
// CSV and JSON as qualities are; a time stamp as every time here.
void PropertyForms(const OpcPropertyRow& r, std::wstring& value, std::wstring& code) {
  value = r.value;
  code.clear();
  if (r.vt == VT_EMPTY) return;
  const bool whole =
      r.vt != VT_DATE && r.vt != VT_BSTR && r.vt != VT_R4 && r.vt != VT_R8 && !(r.vt & VT_ARRAY);
  switch (r.id) {
    case OPC_PROPERTY_DATATYPE:
      if (whole) value = GetAttributeTypeText(static_cast<VARTYPE>(r.number));
      break;
    case OPC_PROPERTY_QUALITY:
      if (whole) value = QualityText(static_cast<WORD>(r.number));
      break;
    case OPC_PROPERTY_TIMESTAMP:
      if (r.vt == VT_DATE) value = IsoTime(r.time);
      return;
    case OPC_PROPERTY_ACCESS_RIGHTS:
      if (whole) value = GetAccessRightsText(static_cast<DWORD>(r.number));
      break;
    case OPC_PROPERTY_EU_TYPE:
      if (whole) value = GetEuTypeText(static_cast<DWORD>(r.number));
      break;
    default:
      return;
  }
  if (whole) code = std::to_wstring(r.number);
}

}  // namespace

int CliServers(const CliContext& ctx) {
  std::vector<std::wstring> names;
  const std::wstring node = ctx.Node();
  if (EnumerateServers(node, names) == 0 && !node.empty()) {
    ctx.err.Write(L"plover-cli: the registry of '" + node + L"' cannot be reached\n");
    return kExitNoConnect;
  }
  HKEY classes = HKEY_CLASSES_ROOT, remote = nullptr;
  if (!node.empty() &&
      ::RegConnectRegistryW(node.c_str(), HKEY_CLASSES_ROOT, &remote) == ERROR_SUCCESS)
    classes = remote;
  CRecordWriter records(ctx.out, ctx.args.format,
                        {{L"PROGID", L"progId"}, {L"DA VERSIONS", L"versions"}});
  for (const std::wstring& name : names)
    records.Row({name, node.empty() || remote ? ServerDaVersions(classes, name) : std::wstring()});
  records.Finish();
  if (remote) ::RegCloseKey(remote);
  return kExitOk;
}

int CliStatus(const CliContext& ctx) {
  CCliSession session(ctx.err, ctx.hooks);
  if (!session.Connect(ctx.args.args[0], ctx.Node())) return kExitNoConnect;
  OPCSERVERSTATUS* st = nullptr;
  HRESULT hr = session.Server().m_pServer->GetStatus(&st);
  if (FAILED(hr) || !st) {
    session.ReportItem(L"GetStatus", FAILED(hr) ? hr : E_POINTER);
    ::CoTaskMemFree(st);
    return kExitItemsFailed;
  }
  static const wchar_t* kStates[] = {L"UNKNOWN",  L"RUNNING",   L"FAILED",
                                     L"NOCONFIG", L"SUSPENDED", L"TEST"};
  wchar_t version[48], groups[16], bandwidth[16];
  ::swprintf(version, 48, L"%u.%u.%u", st->wMajorVersion, st->wMinorVersion, st->wBuildNumber);
  ::swprintf(groups, 16, L"%lu", static_cast<unsigned long>(st->dwGroupCount));
  ::swprintf(bandwidth, 16, L"%lu", static_cast<unsigned long>(st->dwBandWidth));
  const std::vector<std::wstring> fields = {
      st->szVendorInfo ? st->szVendorInfo : L"",
      kStates[st->dwServerState <= 5 ? st->dwServerState : 0],
      IsoTime(st->ftStartTime),
      IsoTime(st->ftCurrentTime),
      IsoTime(st->ftLastUpdateTime),
      groups,
      st->dwBandWidth == 0xFFFFFFFF ? std::wstring() : std::wstring(bandwidth),
      version};
  ::CoTaskMemFree(st->szVendorInfo);
  ::CoTaskMemFree(st);
  const std::vector<CliColumn> columns = {{L"Vendor", L"vendor"},
                                          {L"State", L"state"},
                                          {L"Start time", L"startTime"},
                                          {L"Current time", L"currentTime"},
                                          {L"Last update", L"lastUpdateTime"},
                                          {L"Groups", L"groupCount", true},
                                          {L"Bandwidth", L"bandwidth", true},
                                          {L"Version", L"version"}};
  if (ctx.args.format == CliFormat::kColumns) {
    // One record reads better down the page.
    CRecordWriter records(ctx.out, CliFormat::kColumns, {{L"FIELD", L""}, {L"VALUE", L""}});
    for (size_t i = 0; i < fields.size(); ++i) records.Row({columns[i].header, fields[i]});
    records.Finish();
  } else {
    CRecordWriter records(ctx.out, ctx.args.format, columns);
    records.Row(fields);
    records.Finish();
  }
  return kExitOk;
}

int CliBrowse(const CliContext& ctx) {
  double depth = -1;
  if (const std::wstring* d = ctx.args.Value(L"--depth"))
    if (!ParseCliNumber(*d, 0, 1000, depth) || depth != static_cast<int>(depth))
      return ctx.Usage(L"--depth takes a whole number, not '" + *d + L"'");
  VARTYPE vt = VT_EMPTY;
  if (const std::wstring* t = ctx.args.Value(L"--type")) {
    vt = ParseTypeName(*t);
    if (vt == VT_EMPTY) return ctx.Usage(L"unknown type '" + *t + L"'");
  }
  BYTE rights = OPC_READABLE | OPC_WRITEABLE;
  if (const std::wstring* a = ctx.args.Value(L"--access")) {
    if (*a == L"read")
      rights = OPC_READABLE;
    else if (*a == L"write")
      rights = OPC_WRITEABLE;
    else
      return ctx.Usage(L"--access takes read or write, not '" + *a + L"'");
  }
  CCliSession session(ctx.err, ctx.hooks);
  if (!session.Connect(ctx.args.args[0], ctx.Node())) return kExitNoConnect;
  COpcServer& server = session.Server();
  if (!server.CanBrowse()) {
    ctx.err.Write(L"plover-cli: the server offers no browsing\n");
    return kExitItemsFailed;
  }
  if (const std::wstring* f = ctx.args.Value(L"--filter")) server.SetBrowseFilter(*f);
  server.SetBrowseDataType(vt);
  server.SetBrowseAccessRights(rights);
  // The root is depth 0, so --depth D keeps D levels below it.
  CListTree tree(depth < 0 ? -1 : static_cast<int>(depth));
  if (ctx.args.Has(L"--flat"))
    server.BuildFlatTree(&tree);
  else
    server.BuildBrowseTree(&tree);

  const bool asTree = ctx.args.Has(L"--tree");
  std::vector<CliColumn> columns = {{L"ITEM ID", L"itemId"}};
  if (asTree) columns = {{L"DEPTH", L"depth", true}, {L"NAME", L"name"}, {L"ITEM ID", L"itemId"}};
  // A list of IDs needs no layout: each line goes out at once.
  CRecordWriter records(ctx.out, ctx.args.format, columns);
  if (!asTree) records.Stream({0});
  const bool plainTree = asTree && ctx.args.format == CliFormat::kColumns;
  for (size_t i = 1; i < tree.m_nodes.size(); ++i) {  // node 0 is the root
    const CListTree::Node& n = tree.m_nodes[i];
    const std::wstring id = n.data >= 0 ? server.GetBrowseItemId(n.data) : std::wstring();
    if (plainTree) {
      ctx.out.Write(std::wstring(static_cast<size_t>(2 * (n.depth - 1)), L' ') + n.text +
                    (n.data < 0 ? L"/" : L"") + L"\n");
    } else if (asTree) {
      records.Row({std::to_wstring(n.depth), n.text, id});
    } else if (n.data >= 0) {
      records.Row({id});
    }
  }
  if (!plainTree) records.Finish();
  ctx.out.Flush();
  if (!tree.m_note.empty()) {
    ctx.err.Write(L"plover-cli: " + tree.m_note + L"\n");
    return kExitItemsFailed;
  }
  return kExitOk;
}

int CliProps(const CliContext& ctx) {
  const std::wstring& itemId = ctx.args.args[1];
  CCliSession session(ctx.err, ctx.hooks);
  if (!session.Connect(ctx.args.args[0], ctx.Node())) return kExitNoConnect;
  COpcServer& server = session.Server();
  std::vector<OpcPropertyRow> rows;
  HRESULT hr = ListItemProperties(server.m_pServer.Get(), itemId, rows);
  if (SUCCEEDED(hr) && !rows.empty()) {
    CRecordWriter records(ctx.out, ctx.args.format,
                          {{L"ID", L"id", true},
                           {L"PROPERTY", L"property"},
                           {L"VALUE", L"value"},
                           {L"CODE", L"code", true, true}});
    for (const OpcPropertyRow& r : rows) {
      // "(id) description" as the dialog shows it; the ID has its own column here.
      std::wstring name = r.name;
      if (!name.empty() && name[0] == L'(' && name.find(L") ") != std::wstring::npos)
        name = name.substr(name.find(L") ") + 2);
      std::wstring value, code;
      PropertyForms(r, value, code);
      records.Row({std::to_wstring(r.id), name, value, code});
    }
    records.Finish();
    return kExitOk;
  }
  if (hr != E_NOINTERFACE && FAILED(hr)) {
    session.ReportItem(itemId, hr);
    return kExitItemsFailed;
  }
  // A DA 1.0 server: the attributes the item has in a group.
  server.SetGroupActive(FALSE);
  if (FAILED(hr = server.AddGroup(1, L"plover-cli"))) {
    session.ReportItem(L"AddGroup", hr);
    return kExitItemsFailed;
  }
  std::vector<COpcItem*> added;
  std::vector<HRESULT> errors;
  session.AddItems(1, {itemId}, added, errors);
  if (!added[0]) {
    session.ReportItem(itemId, errors[0]);
    return kExitItemsFailed;
  }
  ItemAttributeText info;
  server.GetItemAttributes(added[0], info);
  CRecordWriter records(ctx.out, ctx.args.format,
                        {{L"ATTRIBUTE", L"attribute"}, {L"VALUE", L"value"}});
  records.Row({L"Item ID", info.m_strItemId});
  records.Row({L"Access path", info.m_strAccessPath});
  records.Row({L"Access rights", info.m_strAccessRights});
  records.Row({L"Canonical type", info.m_strCanonicalType});
  records.Row({L"Requested type", info.m_strRequestedType});
  records.Row({L"EU type", info.m_strEuType});
  records.Row({L"Active", info.m_bActive ? L"TRUE" : L"FALSE"});
  records.Finish();
  return kExitOk;
}

bool CliReadTextFile(const CliContext& ctx, const std::wstring& path, std::wstring& text) {
  HANDLE h = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    ctx.Usage(L"cannot open '" + path + L"'");
    return false;
  }
  std::string bytes;
  char buffer[65536];
  DWORD got = 0;
  while (::ReadFile(h, buffer, sizeof(buffer), &got, nullptr) && got) bytes.append(buffer, got);
  ::CloseHandle(h);
  if (!FromUtf8(bytes, text)) {
    ctx.Usage(L"'" + path + L"' is not UTF-8 text");
    return false;
  }
  return true;
}

bool CliItemList(const CliContext& ctx, std::vector<std::wstring>& items) {
  items.assign(ctx.args.args.begin() + 1, ctx.args.args.end());
  const std::wstring* path = ctx.args.Value(L"--file");
  if (!path) return true;
  std::wstring text;
  if (!CliReadTextFile(ctx, *path, text)) return false;
  size_t pos = 0;
  while (pos <= text.size()) {
    size_t end = text.find(L'\n', pos);
    if (end == std::wstring::npos) end = text.size();
    std::wstring line = TrimRight(text.substr(pos, end - pos));
    size_t start = line.find_first_not_of(L" \t");
    // Blank lines and "#" comments are no items.
    if (start != std::wstring::npos && line[start] != L'#') items.push_back(line.substr(start));
    pos = end + 1;
  }
  if (items.empty()) {
    ctx.Usage(L"'" + *path + L"' lists no items");
    return false;
  }
  return true;
}
