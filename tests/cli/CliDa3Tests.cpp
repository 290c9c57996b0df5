// The console client's OPC DA 3.0 forms: read --max-age without a group, write with
// quality and time stamp, and the refusals of both.
#include "CliTestSupport.h"
#include "OpcItemIo.h"
#include "opcda.h"

namespace {
const wchar_t* const kSim = PLOVER_SIM_PROGID;

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

// Any group the command made would fail: what works went without one.
void NoGroups(IPloverSimControl* c) {
  c->FailMethod(L"IOPCServer::AddGroup", E_FAIL, TRUE);
}
}  // namespace

TEST_F(CliTest, Da3ReadsByAgeAndWritesQualityAndTimeWithoutAGroup) {
  for (const wchar_t* age : {L"0", L"500", L"cache"}) {
    CliResult r = Run({L"read", kSim, L"Types.Short", L"No.Such.Item", L"--max-age", age, L"--csv"},
                      NoGroups);
    EXPECT_EQ(r.rc, kExitItemsFailed) << r.err;
    EXPECT_EQ(r.out, Expand("item,value,type,quality,qualityCode,time\n"
                            "Types.Short,0,SHORT,good,192,{T+0}\n"));
    EXPECT_TRUE(Contains(r.err, "No.Such.Item: ")) << r.err;
    EXPECT_EQ(Lines(r.err).size(), 1u) << r.err;
  }

  // The server object outlives the command, so what it took can be read back.
  TComPtr<IUnknown> kept;
  CliResult r = Run({L"write", kSim, L"Types.Short=12", L"Types.Double=2.5", L"Access.ReadOnly=1",
                     L"--quality", L"0x54", L"--time", L"2024-05-01T08:30:00.250Z", L"--csv"},
                    [&](IPloverSimControl* c) {
                      NoGroups(c);
                      kept.QueryFrom(c);
                    });
  EXPECT_EQ(r.rc, kExitItemsFailed) << r.err;
  const std::vector<std::string> lines = Lines(r.out);
  ASSERT_EQ(lines.size(), 4u) << r.out;
  EXPECT_EQ(lines[1], "Types.Short,12,OK,0x00000000");
  EXPECT_EQ(lines[2], "Types.Double,2.5,OK,0x00000000");
  EXPECT_TRUE(Contains(lines[3], "Access.ReadOnly,1,")) << lines[3];
  EXPECT_TRUE(Contains(lines[3], ",0xC0040006")) << lines[3];
  TComPtr<IOPCServer> server;
  ASSERT_EQ(S_OK, server.QueryFrom(kept.Get()));
  std::vector<std::unique_ptr<COpcItem>> read;
  std::vector<HRESULT> errors;
  ASSERT_EQ(S_OK, ReadByItemIo(server.Get(), {L"Types.Short"}, OPC_MAXAGE_CACHE, read, errors));
  EXPECT_EQ(12, read[0]->m_value.iVal);
  EXPECT_EQ(0x54, read[0]->m_wQuality);
  SYSTEMTIME st;
  ASSERT_TRUE(::FileTimeToSystemTime(&read[0]->m_ftTimeStamp, &st));
  EXPECT_EQ((std::vector<int>{2024, 5, 1, 8, 30, 0, 250}),
            (std::vector<int>{st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond,
                              st.wMilliseconds}));
  server.Release();
  kept.Release();

  // props in one DA 3.0 call: the 2.0 calls are not needed.
  r = Run({L"props", kSim, L"EU.Enumerated", L"--csv"}, [](IPloverSimControl* c) {
    c->FailMethod(L"IOPCItemProperties::QueryAvailableProperties", E_FAIL, TRUE);
  });
  EXPECT_EQ(r.rc, kExitOk) << r.err;
  EXPECT_TRUE(Contains(r.out, "\n1,Item Canonical DataType,Short,2\n")) << r.out;
  EXPECT_TRUE(Contains(r.out, "\n8,Item EU Info,\"Off, Starting, Running, Stopping, Fault\",\n"))
      << r.out;

  // Bad forms are usage errors before anything connects.
  const struct {
    std::vector<std::wstring> args;
    const char* message;
  } bad[] = {
      {{L"read", kSim, L"a", L"--max-age", L"-1"}, "--max-age takes milliseconds or cache"},
      {{L"read", kSim, L"a", L"--max-age", L"1.5"}, "--max-age takes milliseconds or cache"},
      {{L"read", kSim, L"a", L"--max-age", L"5", L"--device"}, "do not go together"},
      {{L"write", kSim, L"a=1", L"--quality", L"70000"}, "--quality takes good, bad"},
      {{L"write", kSim, L"a=1", L"--quality", L"fine"}, "--quality takes good, bad"},
      {{L"write", kSim, L"a=1", L"--time", L"2024-02-30T00:00:00Z"}, "--time takes now or"},
      {{L"write", kSim, L"a=1", L"--time", L"2024-05-01 08:30:00Z"}, "--time takes now or"},
      {{L"write", kSim, L"a=1", L"--quality", L"good", L"--async"}, "write synchronously"},
  };
  for (const auto& c : bad) {
    r = Run(c.args);
    EXPECT_EQ(r.rc, kExitUsage) << c.message;
    EXPECT_TRUE(Contains(r.err, c.message)) << r.err;
    EXPECT_EQ(r.out, "");
  }
}
