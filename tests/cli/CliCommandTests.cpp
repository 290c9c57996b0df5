// Every command of the console client against the simulation server, in this process:
// golden outputs in the three forms (clock stopped), exit codes, bad input, failing calls
// and a watch ended by Ctrl+C.
#include <regex>
#include <thread>

#include "CliTestSupport.h"
#include "CliText.h"
#include "opcda.h"

namespace {
const wchar_t* const kSim = PLOVER_SIM_PROGID;

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}
}  // namespace

TEST_F(CliTest, ReadPrintsValuesAsTheListDoesInEveryForm) {
  const std::vector<std::wstring> items = {
      L"Types.Short", L"Names.说明",          L"Quality.Uncertain", L"Quality.LocalOverride",
      L"Quality.Bad", L"Arrays.Static.Short", L"No.Such.Item",      L"Types.Short"};
  const struct {
    const wchar_t* option;
    const char* golden;
  } forms[] = {
      {nullptr,
       "ITEM                   VALUE            TYPE    QUALITY                 TIME\n"
       "Types.Short            0                SHORT   good                    {T+0}\n"
       "Names.说明             模拟服务器       STRING  good                    {T+0}\n"
       "Quality.Uncertain      1.5 (uncertain)  DOUBLE  uncertain: EU exceeded  {T+0}\n"
       "Quality.LocalOverride  3.25             DOUBLE  good: local override    {T+0}\n"
       "Quality.Bad            Bad              INT     bad: comm failure       {T+0}\n"
       "Arrays.Static.Short    0, 0, 0, 0       ARRAY   good                    {T+0}\n"},
      {L"--csv",
       "item,value,type,quality,qualityCode,time\n"
       "Types.Short,0,SHORT,good,192,{T+0}\n"
       "Names.说明,模拟服务器,STRING,good,192,{T+0}\n"
       "Quality.Uncertain,1.5 (uncertain),DOUBLE,uncertain: EU exceeded,84,{T+0}\n"
       "Quality.LocalOverride,3.25,DOUBLE,good: local override,216,{T+0}\n"
       "Quality.Bad,Bad,INT,bad: comm failure,24,{T+0}\n"
       "Arrays.Static.Short,\"0, 0, 0, 0\",ARRAY,good,192,{T+0}\n"},
      {L"--json",
       "{\"item\":\"Types.Short\",\"value\":\"0\",\"type\":\"SHORT\",\"quality\":\"good\","
       "\"qualityCode\":192,\"time\":\"{T+0}\"}\n"
       "{\"item\":\"Names.说明\",\"value\":\"模拟服务器\",\"type\":\"STRING\",\"quality\":"
       "\"good\",\"qualityCode\":192,\"time\":\"{T+0}\"}\n"
       "{\"item\":\"Quality.Uncertain\",\"value\":\"1.5 (uncertain)\",\"type\":\"DOUBLE\","
       "\"quality\":\"uncertain: EU exceeded\",\"qualityCode\":84,\"time\":\"{T+0}\"}\n"
       "{\"item\":\"Quality.LocalOverride\",\"value\":\"3.25\",\"type\":\"DOUBLE\",\"quality\":"
       "\"good: local override\",\"qualityCode\":216,\"time\":\"{T+0}\"}\n"
       "{\"item\":\"Quality.Bad\",\"value\":\"Bad\",\"type\":\"INT\",\"quality\":\"bad: comm "
       "failure\",\"qualityCode\":24,\"time\":\"{T+0}\"}\n"
       "{\"item\":\"Arrays.Static.Short\",\"value\":\"0, 0, 0, 0\",\"type\":\"ARRAY\","
       "\"quality\":\"good\",\"qualityCode\":192,\"time\":\"{T+0}\"}\n"},
  };
  for (const auto& form : forms) {
    std::vector<std::wstring> args = {L"read", kSim};
    args.insert(args.end(), items.begin(), items.end());
    if (form.option) args.push_back(form.option);
    CliResult r = Run(args);
    EXPECT_EQ(r.out, Expand(form.golden)) << (form.option ? "form " : "columns");
    // The unknown item fails alone, on standard error, with the server's text and code;
    // the repeated item is read once.
    EXPECT_EQ(r.rc, kExitItemsFailed);
    EXPECT_TRUE(Contains(r.err, "No.Such.Item: ")) << r.err;
    EXPECT_TRUE(Contains(r.err, "(0xC0040007)")) << r.err;
    EXPECT_EQ(Lines(r.err).size(), 1u) << r.err;
  }
  // The same items from a UTF-8 list file, read from the device, all good: exit 0.
  std::wstring list =
      TempFile("list.txt", "\xEF\xBB\xBF# plant A\r\nTypes.Short\r\n\r\nNames.说明\r\n");
  CliResult r = Run({L"read", kSim, L"--file", list, L"--device", L"--csv"});
  EXPECT_EQ(r.rc, kExitOk) << r.err;
  EXPECT_EQ(r.out, Expand("item,value,type,quality,qualityCode,time\n"
                          "Types.Short,0,SHORT,good,192,{T+0}\n"
                          "Names.说明,模拟服务器,STRING,good,192,{T+0}\n"));
  // --out writes the very bytes standard output gets: LF line ends in both.
  const std::wstring file = TempFile("out.csv", "");
  r = Run({L"read", kSim, L"--file", list, L"--csv", L"--out", file});
  HANDLE h = ::CreateFileW(file.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  char bytes[512] = {};
  DWORD got = 0;
  ::ReadFile(h, bytes, sizeof(bytes), &got, nullptr);
  ::CloseHandle(h);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(std::string(bytes, got), Expand("item,value,type,quality,qualityCode,time\n"
                                            "Types.Short,0,SHORT,good,192,{T+0}\n"
                                            "Names.说明,模拟服务器,STRING,good,192,{T+0}\n"));
  EXPECT_EQ(SimLiveCounts().groups, 0);
}

TEST_F(CliTest, WriteConvertsFirstAndReportsEachItem) {
  // A CSV file with quoting, a header and Chinese: the values come back as written.
  std::wstring csv = TempFile("values.csv",
                              "item,value\r\nTypes.String,\"你好, \"\"世界\"\"\"\r\n"
                              "Types.Double,2.5\n");
  CliResult r = Run({L"write", kSim, L"Types.Short=-7", L"Access.WriteOnly=5", L"Access.ReadOnly=3",
                     L"EU.Analog=1000", L"--file", csv, L"--csv"});
  EXPECT_EQ(r.rc, kExitItemsFailed);
  const std::vector<std::string> lines = Lines(r.out);
  ASSERT_EQ(lines.size(), 7u) << r.out;
  EXPECT_EQ(lines[0], "item,value,result,code");
  EXPECT_EQ(lines[1], "Types.Short,-7,OK,0x00000000");
  EXPECT_EQ(lines[2], "Access.WriteOnly,5,OK,0x00000000");
  EXPECT_TRUE(Contains(lines[3], "Access.ReadOnly,3,")) << lines[3];
  EXPECT_TRUE(Contains(lines[3], ",0xC0040006")) << lines[3];
  EXPECT_TRUE(Contains(lines[4], ",0xC004000B")) << lines[4];  // out of the EU range
  EXPECT_EQ(lines[5], "Types.String,\"你好, \"\"世界\"\"\",OK,0x00000000");
  EXPECT_EQ(lines[6], "Types.Double,2.5,OK,0x00000000");
  EXPECT_EQ(Lines(r.err).size(), 2u) << r.err;

  // Asynchronously, each item's own outcome still arrives, through the DA 1.0 write stream
  // or the DA 2.0 callback.
  for (BOOL da2 : {FALSE, TRUE}) {
    r = Run(
        {L"write", kSim, L"Types.Long=12", L"Access.ReadOnly=1", L"--async", L"--json"},
        [da2](IPloverSimControl* c) { c->SetNoDa1Async(da2); },
        [](IPloverSimControl* c) { c->Flush(); });
    EXPECT_EQ(r.rc, kExitItemsFailed) << r.err;
    const std::vector<std::string> async = Lines(r.out);
    ASSERT_EQ(async.size(), 2u) << r.out;
    EXPECT_EQ(async[0],
              "{\"item\":\"Types.Long\",\"value\":\"12\",\"result\":\"OK\",\"code\":"
              "\"0x00000000\"}");
    EXPECT_TRUE(Contains(async[1], "\"code\":\"0xC0040006\"")) << async[1];
  }

  // A value the type cannot take writes nothing at all, and is a usage error.
  r = Run({L"write", kSim, L"Types.Long=5", L"Types.Short=12abc"},
          [](IPloverSimControl* c) { c->FailMethod(L"IOPCSyncIO::Write", E_UNEXPECTED, TRUE); });
  EXPECT_EQ(r.rc, kExitUsage);
  EXPECT_TRUE(Contains(r.err, "'12abc' is no value of type SHORT")) << r.err;
  EXPECT_FALSE(Contains(r.err, "0x8000FFFF")) << "a write was attempted: " << r.err;
  EXPECT_EQ(r.out, "");

  // Arrays from the list's text and 64-bit integers in full; the server takes them.
  r = Run({L"write", kSim, L"Arrays.Static.Byte=1, 2, 255", L"Types.ULongLong=18446744073709551615",
           L"Arrays.Static.String=\"a, b\",c", L"--csv"});
  EXPECT_EQ(r.rc, kExitOk) << r.err;
  EXPECT_EQ(r.out,
            "item,value,result,code\n"
            "Arrays.Static.Byte,\"1, 2, 255\",OK,0x00000000\n"
            "Types.ULongLong,18446744073709551615,OK,0x00000000\n"
            "Arrays.Static.String,\"\"\"a, b\"\",c\",OK,0x00000000\n");
}

TEST_F(CliTest, WatchPrintsEveryChangeAndCtrlCLeavesNothingAtTheServer) {
  // Every update of the stopped clock is one simulated second.
  auto tick = [](IPloverSimControl* c) { c->AdvanceTime(1000); };
  // The same lines whether the values come as OPC DA 1.0 streams or through the DA 2.0
  // callback of a server without IDataObject.
  for (BOOL da2 : {FALSE, TRUE}) {
    CliResult r = Run(
        {L"watch", kSim, L"Signals.Ramp", L"Types.Short", L"Names.温度", L"--count", L"5",
         L"--rate", L"1000"},
        [da2](IPloverSimControl* c) { c->SetNoDataObject(da2); }, tick);
    EXPECT_EQ(r.rc, kExitOk) << r.err;
    // The first update (simulated time 0) brings every item; later ones only what changed.
    EXPECT_EQ(r.out, Expand("ITEM          VALUE         TYPE    QUALITY    TIME\n"
                            "Signals.Ramp  0             FLOAT   good       {T+0}\n"
                            "Types.Short   0             SHORT   good       {T+0}\n"
                            "Names.温度    10            FLOAT   good       {T+0}\n"
                            "Signals.Ramp  10            FLOAT   good       {T+1000}\n"
                            "Names.温度    12            FLOAT   good       {T+1000}\n"))
        << "DA 2.0 callback: " << da2;
  }
  // A deadband of 100 % keeps the ramp quiet after its first value.
  CliResult r =
      Run({L"watch", kSim, L"Signals.Ramp", L"--count", L"2", L"--deadband", L"100", L"--csv"},
          nullptr, [&](IPloverSimControl* c) {
            c->AdvanceTime(1000);
            ULONGLONG ms = 0;
            c->GetSimTime(&ms);
            if (ms >= 5000) CliConsoleCtrlHandler(CTRL_C_EVENT);
          });
  EXPECT_EQ(r.rc, kExitOk) << r.err;
  EXPECT_EQ(r.out, Expand("item,value,type,quality,qualityCode,time\n"
                          "Signals.Ramp,0,FLOAT,good,192,{T+0}\n"));

  // Ctrl+C comes from a thread of its own, as the system sends it.
  const PloverSimLiveCounts before = SimLiveCounts();
  int rounds = 0;
  r = Run({L"watch", kSim, L"Signals.Ramp", L"Signals.Counter", L"--json"}, nullptr,
          [&](IPloverSimControl* c) {
            c->AdvanceTime(1000);
            if (++rounds == 3) std::thread([] { CliConsoleCtrlHandler(CTRL_C_EVENT); }).join();
          });
  EXPECT_EQ(r.rc, kExitOk) << r.err;
  // Updates at 0, 1, 2 and 3 simulated seconds, two items each, then nothing more.
  ASSERT_EQ(Lines(r.out).size(), 8u) << r.out;
  EXPECT_TRUE(Contains(Lines(r.out)[7], "\"item\":\"Signals.Counter\",\"value\":\"3000\""))
      << r.out;
  const PloverSimLiveCounts after = SimLiveCounts();
  EXPECT_EQ(after.servers, before.servers);
  EXPECT_EQ(after.groups, 0);
  EXPECT_EQ(after.connections, 0);
  EXPECT_EQ(after.enumerators, 0);
}

TEST_F(CliTest, BrowseListsTreesAndFilters) {
  const struct {
    std::vector<std::wstring> args;
    const char* golden;
  } cases[] = {
      {{L"browse", kSim, L"--filter", L"*amp*"}, "ITEM ID\nSignals.Ramp\n"},
      {{L"browse", kSim, L"--flat", L"--filter", L"*.温*"}, "ITEM ID\nNames.温度\n"},
      {{L"browse", kSim, L"--type", L"STRING", L"--access", L"write", L"--csv"},
       "itemId\nTypes.String\nNames.说明\n"},
      {{L"browse", kSim, L"--type", L"DECIMAL", L"--csv"},
       "itemId\nSignals.Decimal\nTypes.Decimal\n"},
      {{L"browse", kSim, L"--tree", L"--depth", L"1", L"--filter", L"Heart*"},
       "Heartbeat\nSignals/\nTypes/\nArrays/\nAccess/\nQuality/\nEU/\nDeep/\nMany/\nNames/\n"
       "Plover.SimServer.1/\n"},
  };
  for (const auto& c : cases) {
    CliResult r = Run(c.args);
    EXPECT_EQ(r.rc, kExitOk) << r.err;
    EXPECT_EQ(r.out, c.golden);
  }
  CliResult r = Run({L"browse", kSim, L"--tree", L"--json", L"--filter", L"状*"});
  EXPECT_TRUE(Contains(r.out,
                       "{\"depth\":2,\"name\":\"中文 分支\",\"itemId\":\"\"}\n"
                       "{\"depth\":3,\"name\":\"状态\",\"itemId\":\"Names.中文 分支.状态\"}\n"))
      << r.out;
  // Every one of the 5000 items of "Many", listed flat by the flat server.
  r = Run({L"browse", PLOVER_SIM_FLAT_PROGID, L"--filter", L"Many.*"});
  EXPECT_EQ(Lines(r.out).size(), 5001u);
  EXPECT_EQ(Lines(r.out).back(), "Many.Item5000");
  r = Run({L"browse", PLOVER_SIM_NOBROWSE_PROGID});
  EXPECT_EQ(r.rc, kExitItemsFailed);
  EXPECT_TRUE(Contains(r.err, "no browsing")) << r.err;
}

TEST_F(CliTest, ServersStatusAndProperties) {
  CliResult r = Run({L"servers", L"--csv"});
  EXPECT_EQ(r.rc, kExitOk);
  EXPECT_TRUE(Contains(r.out, "progId,versions\n")) << r.out;
  EXPECT_TRUE(Contains(r.out, "\nPlover.SimServer.1,1.0 2.0 3.0\n")) << r.out;
  EXPECT_TRUE(Contains(r.out, "\nPlover.SimServer.Large.1,1.0 2.0 3.0\n")) << r.out;

  r = Run({L"status", kSim, L"--json"}, [](IPloverSimControl* c) { c->AdvanceTime(2500); });
  EXPECT_EQ(r.rc, kExitOk) << r.err;
  EXPECT_EQ(r.out, Expand("{\"vendor\":\"Plover Simulation OPC DA Server\",\"state\":\"RUNNING\","
                          "\"startTime\":\"{T+0}\",\"currentTime\":\"{T+2500}\","
                          "\"lastUpdateTime\":\"\",\"groupCount\":0,\"bandwidth\":\"\","
                          "\"version\":\"1.0.1\"}\n"));

  r = Run({L"props", kSim, L"EU.Enumerated", L"--csv"});
  EXPECT_EQ(r.rc, kExitOk) << r.err;
  // Codes as text with their number beside them; the time as every time here.
  EXPECT_TRUE(std::regex_search(
      r.out, std::regex("^id,property,value,code\n1,Item Canonical DataType,Short,2\n"
                        "2,Item Value,0,\n3,Item Quality,good,192\n"
                        "4,Item Timestamp,\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d\\.\\d{3}Z,\n"
                        "5,Item Access Rights,Readable and Writeable,3\n")))
      << r.out;
  EXPECT_TRUE(Contains(r.out, "\n7,Item EU Type,Enumerated,2\n")) << r.out;
  EXPECT_TRUE(Contains(r.out, "\n8,Item EU Info,\"Off, Starting, Running, Stopping, Fault\",\n"))
      << r.out;
  // Without DA 2.0 or 3.0 properties, the item's attributes in a group stand in.
  r = Run({L"props", kSim, L"Access.ReadWrite"}, [](IPloverSimControl* c) {
    c->FailMethod(L"IOPCItemProperties::QueryAvailableProperties", E_NOINTERFACE, TRUE);
    c->FailMethod(L"IOPCBrowse::GetProperties", E_NOTIMPL, TRUE);
  });
  EXPECT_EQ(r.rc, kExitOk) << r.err;
  EXPECT_TRUE(Contains(r.out, "Item ID         Access.ReadWrite\n")) << r.out;
  EXPECT_TRUE(Contains(r.out, "Access rights   Readable and Writeable\n")) << r.out;
  r = Run({L"props", kSim, L"No.Such"});
  EXPECT_EQ(r.rc, kExitItemsFailed);
  EXPECT_TRUE(Contains(r.err, "No.Such: ")) << r.err;
}

TEST_F(CliTest, BadInputIsAUsageErrorAndAMissingServerCannotConnect) {
  const std::wstring notUtf8 = TempFile("latin1.txt", "Types.Short\n\xC4pfel\n");
  const std::wstring badCsv = TempFile("bad.csv", "Types.Short,1,2\n");
  const std::wstring open = TempFile("open.csv", "Types.Short,\"1\n");
  const struct {
    std::vector<std::wstring> args;
    int rc;
    const char* message;
  } cases[] = {
      {{}, kExitUsage, "no command given"},
      {{L"bogus"}, kExitUsage, "unknown command 'bogus'"},
      {{L"read"}, kExitUsage, "missing ProgID"},
      {{L"read", kSim}, kExitUsage, "missing item"},
      {{L"props", kSim}, kExitUsage, "missing item"},
      {{L"props", kSim, L"a", L"b"}, kExitUsage, "too many arguments ('b')"},
      {{L"status", kSim, L"--frob"}, kExitUsage, "unknown option '--frob' for status"},
      {{L"read", kSim, L"a", L"--device", L"--async"}, kExitUsage, "unknown option '--async'"},
      {{L"read", kSim, L"a", L"--file"}, kExitUsage, "option --file needs a value"},
      {{L"read", kSim, L"a", L"--csv", L"--json"}, kExitUsage, "exclude each other"},
      {{L"read", kSim, L"--file", L"C:\\no\\such\\list.txt"}, kExitUsage, "cannot open"},
      {{L"read", kSim, L"--file", notUtf8}, kExitUsage, "is not UTF-8 text"},
      {{L"write", kSim, L"Types.Short"}, kExitUsage, "'Types.Short' is not ITEM=VALUE"},
      {{L"write", kSim, L"=5"}, kExitUsage, "'=5' is not ITEM=VALUE"},
      {{L"write", kSim, L"a=1", L"a=2"}, kExitUsage, "written twice"},
      {{L"write", kSim, L"--file", badCsv}, kExitUsage, "line 1: not an item,value record"},
      {{L"write", kSim, L"--file", open}, kExitUsage, "line 1: not an item,value record"},
      {{L"write", kSim, L"Types.Boolean=maybe"}, kExitUsage, "'maybe' is no value of type BOOL"},
      {{L"write", kSim, L"Arrays.Static.Short=1,x"},
       kExitUsage,
       "'1,x' is no value of type array of SHORT"},
      {{L"write", kSim, L"Types.Short=40000"},
       kExitUsage,
       "'40000' is out of the range of type SHORT"},
      {{L"write", kSim, L"Arrays.Static.Byte=0, 256"},
       kExitUsage,
       "is out of the range of type array of BYTE"},
      {{L"write", kSim, L"Types.LongLong=9223372036854775808"},
       kExitUsage,
       "out of the range of type LLONG"},
      {{L"watch", kSim, L"a", L"--rate", L"-1"}, kExitUsage, "--rate takes milliseconds"},
      {{L"watch", kSim, L"a", L"--rate", L"1.5"}, kExitUsage, "--rate takes milliseconds"},
      {{L"watch", kSim, L"a", L"--count", L"0"}, kExitUsage, "--count takes a whole number"},
      {{L"watch", kSim, L"a", L"--deadband", L"101"}, kExitUsage, "--deadband takes"},
      {{L"watch", kSim, L"a", L"--seconds", L"1", L"--count", L"2"}, kExitUsage, "exclude"},
      {{L"browse", kSim, L"--type", L"ARRAY"}, kExitUsage, "unknown type 'ARRAY'"},
      {{L"browse", kSim, L"--access", L"all"}, kExitUsage, "--access takes read or write"},
      {{L"browse", kSim, L"--depth", L"two"}, kExitUsage, "--depth takes a whole number"},
      {{L"browse", kSim, L"--flat", L"--tree"}, kExitUsage, "exclude each other"},
      {{L"read", L"No.Such.Server.1", L"a"},
       kExitNoConnect,
       "cannot connect to 'No.Such.Server.1'"},
      {{L"status", L"No.Such.Server.1"}, kExitNoConnect, "no server of that ProgID"},
  };
  for (const auto& c : cases) {
    CliResult r = Run(c.args);
    std::string line;
    for (const std::wstring& a : c.args) line += ToUtf8(a) + " ";
    EXPECT_EQ(r.rc, c.rc) << line << "\n" << r.err;
    EXPECT_TRUE(Contains(r.err, c.message)) << line << "\n" << r.err;
    EXPECT_EQ(r.out, "") << line;
    if (c.rc == kExitUsage && !c.args.empty() && c.args[0] != L"bogus") {
      EXPECT_TRUE(Contains(r.err, "usage: plover-cli ")) << line << "\n" << r.err;
    }
  }
  // An unknown ProgID gives one clean line, no registry message before it.
  CliResult unknown = Run({L"status", L"No.Such.Server.1"});
  EXPECT_EQ(unknown.err,
            "plover-cli: cannot connect to 'No.Such.Server.1': no server of that ProgID is "
            "registered here\n");
  // --help is no error, for the program and for each command.
  CliResult r = Run({L"--help"});
  EXPECT_EQ(r.rc, kExitOk);
  EXPECT_TRUE(Contains(r.out, "Exit codes: 0 all good")) << r.out;
  r = Run({L"watch", L"--help"});
  EXPECT_EQ(r.rc, kExitOk);
  EXPECT_TRUE(Contains(r.out, "usage: plover-cli watch PROGID ITEM...")) << r.out;
  EXPECT_EQ(SimLiveCounts().groups, 0);
}

TEST_F(CliTest, AServerThatFailsCallsGivesEachFailureAndExitOne) {
  const struct {
    const wchar_t* method;
    HRESULT hr;
    std::vector<std::wstring> args;
    int rc;
    const char* message;
  } cases[] = {
      {L"IOPCServer::AddGroup", E_OUTOFMEMORY, {L"read", kSim, L"Types.Short"}, 1, "AddGroup: "},
      {L"IOPCItemMgt::AddItems",
       E_FAIL,
       {L"read", kSim, L"Types.Short", L"Types.Long"},
       1,
       "Types.Long: "},
      {L"IOPCSyncIO::Read", E_ACCESSDENIED, {L"read", kSim, L"Types.Short"}, 1, "Types.Short: "},
      {L"IOPCSyncIO::Write", E_FAIL, {L"write", kSim, L"Types.Short=1"}, 1, "(0x80004005)"},
      {L"IOPCServer::GetStatus", E_FAIL, {L"status", kSim}, 1, "GetStatus: "},
      {L"IOPCBrowse::GetProperties",
       OPC_E_UNKNOWNITEMID,
       {L"props", kSim, L"Types.Short"},
       1,
       "(0xC0040007)"},
      // A server process that has gone: every call fails as a vanished one does.
      {L"*",
       RPC_E_DISCONNECTED,
       {L"watch", kSim, L"Types.Short", L"--count", L"1"},
       kExitNoConnect,
       "plover-cli: the server has gone: The object invoked has disconnected"},
  };
  for (const auto& c : cases) {
    CliResult r = Run(
        c.args, [&](IPloverSimControl* s) { s->FailMethod(c.method, c.hr, TRUE); },
        [](IPloverSimControl* s) { s->AdvanceTime(1000); });
    EXPECT_EQ(r.rc, c.rc) << ToUtf8(c.method) << "\n" << r.err;
    EXPECT_TRUE(Contains(r.err, c.message)) << ToUtf8(c.method) << "\n" << r.err;
  }
  // A server that asks its clients to go ends a watch, with its reason.
  int rounds = 0;
  CliResult r =
      Run({L"watch", kSim, L"Signals.Ramp", L"--csv"}, nullptr, [&](IPloverSimControl* s) {
        s->AdvanceTime(1000);
        if (++rounds == 2) s->SendShutdown(L"维护 maintenance");
      });
  EXPECT_EQ(r.rc, kExitNoConnect);
  EXPECT_TRUE(Contains(r.err, "the server has gone: 维护 maintenance")) << r.err;
  EXPECT_EQ(Lines(r.out).size(), 4u) << r.out;  // the header, then 0, 1 and 2 seconds
  EXPECT_EQ(SimLiveCounts().groups, 0);
}
