// The workspace reader is a parser of files from anyone: every fault is refused whole, with
// the line that has it, and whatever it accepts writes back to the same text.
#include <gtest/gtest.h>

#include <string>

#include "Workspace.h"

namespace {

using workspace::Error;
using workspace::Fault;
using workspace::Workspace;

const char kHeader[] = "plover-workspace 1\n";

bool ReadText(const std::string& text, Workspace& ws, Error& err) {
  return workspace::Read(text.data(), text.size(), ws, err);
}

TEST(WorkspaceFormatTest, ReadsEverySettingWithDefaultsAndWritesItBackUnchanged) {
  const std::string text =
      "\xEF\xBB\xBFplover-workspace 1\r\n"
      "# a comment, then a blank line\n"
      "\n"
      "server Plover.SimServer.1\n"
      "node \xE5\xB7\xA5\xE5\x8E\x82-pc\n"  // 工厂-pc
      "browse-filter Sig*\n"
      "browse-type I2[]\n"
      "browse-access write\n"
      "auto-reconnect 0\n"
      "group Fast Group\n"
      "  group-id 7\n"
      "  group-active 0\n"
      "  update-rate 250\n"
      "  deadband 2.5\n"
      "  item Names.Name With Spaces \n"  // the value keeps its trailing space
      "    item-type BSTR\n"
      "    item-path \tpath\n"
      "    item-active 0\n"
      "\titem Names.\xE6\xB8\xA9\xE5\xBA\xA6\n"  // 温度, indented by a tab
      "group Second\n"
      "item Signals.Ramp\n"
      "group Third\n"
      "  group-id 65537\n";  // low 16 bits 1: Second's free handle is then 2
  Workspace ws;
  Error err;
  ASSERT_TRUE(ReadText(text, ws, err)) << workspace::FaultText(err).size();
  EXPECT_EQ(L"Plover.SimServer.1", ws.progId);
  EXPECT_EQ(L"\x5DE5\x5382-pc", ws.node);
  EXPECT_EQ(L"Sig*", ws.browseFilter);
  EXPECT_EQ(0x2000 | 2, ws.browseType);
  EXPECT_EQ(workspace::kAccessWriteable, ws.browseAccess);
  EXPECT_FALSE(ws.autoReconnect);
  ASSERT_EQ(3u, ws.groups.size());
  const workspace::Group& g = ws.groups[0];
  EXPECT_EQ(L"Fast Group", g.name);
  EXPECT_EQ(7u, g.id);
  EXPECT_FALSE(g.active);
  EXPECT_EQ(250u, g.updateRate);
  EXPECT_FLOAT_EQ(2.5f, g.deadband);
  ASSERT_EQ(2u, g.items.size());
  EXPECT_EQ(L"Names.Name With Spaces ", g.items[0].itemId);
  EXPECT_EQ(8, g.items[0].requestedType);
  EXPECT_EQ(L"\tpath", g.items[0].accessPath);
  EXPECT_FALSE(g.items[0].active);
  EXPECT_EQ(L"Names.\x6E29\x5EA6", g.items[1].itemId);
  EXPECT_TRUE(g.items[1].active);
  EXPECT_EQ(0, g.items[1].requestedType);
  // Defaults: the connect command's rate and deadband, active, the smallest free handle.
  EXPECT_EQ(2u, ws.groups[1].id);
  EXPECT_TRUE(ws.groups[1].active);
  EXPECT_EQ(1000u, ws.groups[1].updateRate);
  EXPECT_EQ(0.0f, ws.groups[1].deadband);
  EXPECT_EQ(65537u, ws.groups[2].id);

  std::string written, again;
  ASSERT_TRUE(workspace::Write(ws, written, err));
  EXPECT_EQ(0u, written.find("plover-workspace 1\n")) << "format name and version first";
  EXPECT_NE(std::string::npos, written.find("\n  item Names.Name With Spaces \n"));
  Workspace back;
  ASSERT_TRUE(ReadText(written, back, err));
  ASSERT_TRUE(workspace::Write(back, again, err));
  EXPECT_EQ(written, again);
  EXPECT_EQ(L"\tpath", back.groups[0].items[0].accessPath);
  EXPECT_EQ(65537u, back.groups[2].id);
  EXPECT_FALSE(back.autoReconnect);
  // On, the default, is not written: such files stay readable by earlier versions.
  back.autoReconnect = true;
  ASSERT_TRUE(workspace::Write(back, again, err));
  EXPECT_EQ(std::string::npos, again.find("auto-reconnect"));
}

TEST(WorkspaceFormatTest, RefusesEveryDamagedFileNamingTheLineAndLeavesTheResultAlone) {
  const std::string server = std::string(kHeader) + "server S\n";
  const std::string group = server + "group G\n";
  struct Case {
    std::string text;
    Fault fault;
    size_t line;
  } cases[] = {
      {"", Fault::NotWorkspace, 1},
      {"PK\x03\x04 binary", Fault::NotWorkspace, 1},
      {"plover-workspace\n", Fault::NotWorkspace, 1},
      {"plover-workspace one\n", Fault::NotWorkspace, 1},
      {"plover-workspace 0\n", Fault::NotWorkspace, 1},
      {"plover-workspace 2\nserver S\n", Fault::NewerVersion, 1},
      {"plover-workspace 99999999999999999999\n", Fault::NotWorkspace, 1},
      {std::string(kHeader) + "server " + std::string(5000, 'x') + "\n", Fault::LineTooLong, 2},
      {std::string(kHeader) + "server \xC0\xAF\n", Fault::BadUtf8, 2},      // overlong '/'
      {std::string(kHeader) + "server \xED\xA0\x80\n", Fault::BadUtf8, 2},  // a surrogate
      {std::string(kHeader) + "server \xE6\xB8\n", Fault::BadUtf8, 2},      // cut short
      {std::string(kHeader) + "server a\x01"
                              "b\n",
       Fault::BadUtf8, 2},  // control
      {std::string(kHeader) + std::string("server a\0b\n", 11), Fault::BadUtf8, 2},
      {server + "sever T\n", Fault::UnknownKeyword, 3},
      {server + "server T\n", Fault::Repeated, 3},
      {std::string(kHeader) + "server\n", Fault::Missing, 2},
      {std::string(kHeader) + "group G\n", Fault::Misplaced, 2},
      {std::string(kHeader) + "browse-type R5\n", Fault::BadValue, 2},
      {std::string(kHeader) + "browse-type 65536\n", Fault::BadValue, 2},
      {std::string(kHeader) + "browse-access all\n", Fault::BadValue, 2},
      {std::string(kHeader) + "auto-reconnect on\n", Fault::BadValue, 2},
      {group + "auto-reconnect 1\n", Fault::Misplaced, 4},
      {group + "browse-filter *\n", Fault::Misplaced, 4},
      {group + "update-rate -5\n", Fault::BadValue, 4},
      {group + "update-rate 4294967296\n", Fault::BadValue, 4},
      {group + "update-rate 1e3\n", Fault::BadValue, 4},
      {group + "deadband 100.5\n", Fault::BadValue, 4},
      {group + "deadband nan\n", Fault::BadValue, 4},
      {group + "deadband 1.2.3\n", Fault::BadValue, 4},
      {group + "group-active yes\n", Fault::BadValue, 4},
      {group + "update-rate 1\nupdate-rate 2\n", Fault::Repeated, 5},
      {group + "item-active 0\n", Fault::Misplaced, 4},
      {group + "item A\nitem-type BOOL\nitem-type BOOL\n", Fault::Repeated, 6},
      {group + "item A\nitem B\nitem A\n", Fault::Duplicate, 6},
      {group + "item\n", Fault::Missing, 4},
      {group + "group-id 1\ngroup H\ngroup-id 65537\n", Fault::Duplicate, 6},
      {std::string(kHeader) + "item A\n", Fault::Misplaced, 2},
  };
  for (const Case& c : cases) {
    Workspace ws;
    ws.progId = L"untouched";
    Error err;
    EXPECT_FALSE(ReadText(c.text, ws, err)) << c.text;
    EXPECT_EQ(c.fault, err.fault) << c.text;
    EXPECT_EQ(c.line, err.line) << c.text;
    EXPECT_EQ(L"untouched", ws.progId) << "a refused file changes nothing: " << c.text;
    EXPECT_FALSE(workspace::FaultText(err).empty());
  }
  Error err;
  err.fault = Fault::BadValue;
  err.line = 12;
  err.keyword = "update-rate";
  EXPECT_EQ(L"第 12 行: 'update-rate' 的值无效", workspace::FaultText(err));
}

TEST(WorkspaceFormatTest, SizesAreBoundedBeforeAnythingIsKept) {
  // Exactly the limit reads, and what Write makes of it opens again; one more is refused at
  // the first item past the limit, not after building them all.
  std::string text = std::string(kHeader) + "server S\ngroup G\n";
  for (size_t i = 0; i < workspace::kMaxItems; ++i) text += "item i" + std::to_string(i) + "\n";
  Workspace ws;
  Error err;
  ASSERT_TRUE(ReadText(text, ws, err)) << workspace::FaultText(err).size();
  ASSERT_EQ(workspace::kMaxItems, ws.groups[0].items.size());
  std::string written;
  ASSERT_TRUE(workspace::Write(ws, written, err));
  EXPECT_TRUE(workspace::Reopens(written, err));
  ws.groups[0].items.emplace_back();
  ws.groups[0].items.back().itemId = L"one more";
  ASSERT_TRUE(workspace::Write(ws, written, err));
  EXPECT_FALSE(workspace::Reopens(written, err));
  EXPECT_EQ(Fault::TooManyItems, err.fault);
  text += "item i" + std::to_string(workspace::kMaxItems) + "\n";
  EXPECT_FALSE(ReadText(text, ws, err));
  EXPECT_EQ(Fault::TooManyItems, err.fault);
  EXPECT_EQ(3 + workspace::kMaxItems + 1, err.line);

  text = std::string(kHeader) + "server S\n";
  for (size_t i = 0; i <= workspace::kMaxGroups; ++i) text += "group g" + std::to_string(i) + "\n";
  EXPECT_FALSE(ReadText(text, ws, err));
  EXPECT_EQ(Fault::TooManyGroups, err.fault);
  EXPECT_EQ(3 + workspace::kMaxGroups, err.line);

  // The size is checked before a byte is read: the pointer is never touched.
  EXPECT_FALSE(workspace::Read(nullptr, workspace::kMaxFileBytes + 1, ws, err));
  EXPECT_EQ(Fault::TooLarge, err.fault);

  // Exactly the longest line still reads.
  std::string longest = std::string(kHeader) + "server ";
  longest += std::string(workspace::kMaxLineBytes - 7, 'x') + "\n";
  EXPECT_TRUE(ReadText(longest, ws, err)) << workspace::FaultText(err).size();
  EXPECT_EQ(workspace::kMaxLineBytes - 7, ws.progId.size());
}

TEST(WorkspaceFormatTest, WriterRefusesTextNoLineCanHoldAndNamesTypes) {
  const std::wstring bad[] = {L"a\nb", L"a\rb", L"", std::wstring(1, wchar_t(0xD800))};
  for (const std::wstring& name : bad) {
    Workspace ws;
    ws.progId = L"S";
    ws.groups.push_back({});
    ws.groups[0].name = L"G";
    ws.groups[0].items.push_back({});
    ws.groups[0].items[0].itemId = name;
    std::string out = "kept";
    Error err;
    EXPECT_FALSE(workspace::Write(ws, out, err));
    EXPECT_EQ(Fault::Unwritable, err.fault);
    EXPECT_EQ("item", err.keyword);
    EXPECT_EQ("kept", out);
  }
  // A workspace without a server holds browse options only.
  Workspace off;
  off.groups.push_back({});
  off.groups[0].name = L"G";
  std::string out;
  Error err;
  ASSERT_TRUE(workspace::Write(off, out, err));
  EXPECT_EQ(std::string::npos, out.find("group"));
  EXPECT_EQ(std::string::npos, out.find("server"));

  const std::pair<uint16_t, const char*> names[] = {
      {0, "EMPTY"}, {4, "R4"}, {8, "BSTR"}, {11, "BOOL"}, {0x2000 | 5, "R8[]"}, {99, "99"}};
  for (const auto& [vt, name] : names) {
    EXPECT_EQ(name, workspace::TypeName(vt));
    uint16_t back = 0xFFFF;
    EXPECT_TRUE(workspace::ParseTypeName(name, back));
    EXPECT_EQ(vt, back);
  }
  uint16_t vt = 0;
  EXPECT_FALSE(workspace::ParseTypeName("EMPTY[]", vt));
  EXPECT_FALSE(workspace::ParseTypeName("r4", vt));
}

}  // namespace
