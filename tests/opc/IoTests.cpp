// Reads, refreshes and writes, with the values that come back through the data sink: once
// against a server with the OPC DA 1.0 streams and once against a DA 2.0-only one, whose
// values come through the callback and whose asynchronous calls go through IOPCAsyncIO2.
#include "OpcTestSupport.h"

#include <string>
#include <tuple>
#include <vector>

namespace {

class IoTest : public OpcTest, public testing::WithParamInterface<std::tuple<bool, ServerKind>> {
 protected:
  void SetUp() override {
    OpcTest::SetUp();
    m_kind = std::get<1>(GetParam());
    ConnectTo();
    ASSERT_EQ(S_OK, Control()->SetDeterministic(TRUE));
    ASSERT_EQ(S_OK, Control()->SetNoDa1Async(Da2Only()));
    ASSERT_EQ(S_OK, m_server->AddGroup(1, L"Group1"));
    COpcGroup* g = m_server->GetGroup(1);
    ASSERT_NE(nullptr, g);
    EXPECT_EQ(Da2Only(), g->m_dwCallbackCookie != 0);
    EXPECT_EQ(Da2Only(), g->m_dwDataConnection == 0);
    m_item = m_server->AddItem(L"Types.Float");  // its own type, VT_R4
    ASSERT_NE(nullptr, m_item);
    TakeMessages();
  }
  bool Da2Only() const { return std::get<0>(GetParam()); }
  // WM_OPC_DATACHANGE messages posted for a group.
  int DataMessagesFor(OPCHANDLE group) {
    int n = 0;
    for (const MSG& m : TakeMessages())
      if (m.message == 0x192D && m.wParam == 0 && static_cast<OPCHANDLE>(m.lParam) == group) ++n;
    return n;
  }
  // The write errors posted so far, once the first has come: from another process a
  // completion may come after the call that flushed it.
  std::vector<MSG> WriteErrors() {
    PumpUntil(
        [this] {
          for (const MSG& m : m_kept)
            if (m.message == 0x192F) return true;
          return false;
        },
        "a write error");
    std::vector<MSG> errors;
    for (const MSG& m : TakeMessages())
      if (m.message == 0x192F) errors.push_back(m);
    return errors;
  }
  COpcItem* m_item = nullptr;
};

TEST_P(IoTest, SyncReadsFillTheRecordAndFailuresLeaveIt) {
  ASSERT_EQ(VT_R4, m_item->m_value.vt);
  // The first read already brings the server's time stamp.
  auto ticks = [](const FILETIME& ft) {
    return (static_cast<ULONGLONG>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
  };
  const ULONGLONG added = ticks(m_item->m_ftTimeStamp);
  EXPECT_NE(0u, added);
  // Inactive, so no stream brings the new time: only the read can.
  ASSERT_EQ(S_OK, m_server->SetItemActive(m_item, FALSE));
  ASSERT_EQ(S_OK, Control()->AdvanceTime(5000));
  ASSERT_TRUE(m_server->WriteSync(m_item, L"12.5"));
  EXPECT_EQ(0.0f, m_item->m_value.fltVal);  // a write does not touch the record
  EXPECT_TRUE(m_server->ReadDevice(m_item));
  EXPECT_EQ(12.5f, m_item->m_value.fltVal);
  EXPECT_EQ(OPC_QUALITY_GOOD, m_item->m_wQuality & OPC_QUALITY_MASK);
  EXPECT_GE(ticks(m_item->m_ftTimeStamp), added + 5000ull * 10000);

  ASSERT_EQ(S_OK, Control()->FailMethod(L"IOPCSyncIO::Read", E_OUTOFMEMORY, FALSE));
  ASSERT_TRUE(m_server->WriteSync(m_item, L"-3"));
  EXPECT_FALSE(m_server->ReadDevice(m_item));
  EXPECT_EQ(12.5f, m_item->m_value.fltVal);
  EXPECT_TRUE(m_server->ReadDevice(m_item));
  EXPECT_EQ(-3.0f, m_item->m_value.fltVal);
}

TEST_P(IoTest, AsyncReadsAndRefreshesArriveThroughTheSink) {
  ASSERT_TRUE(m_server->WriteSync(m_item, L"7.25"));
  EXPECT_TRUE(m_server->AsyncReadDevice(m_item));
  EXPECT_NE(0u, m_server->m_groupManager.m_dwTransactionId);
  // In process the completion waits for this thread's next message; from another process it
  // may come while the call that asked for it still waits for its reply.
  if (m_kind == ServerKind::InProcess) {
    EXPECT_EQ(0.0f, m_item->m_value.fltVal);
  }
  ASSERT_EQ(S_OK, Control()->Flush());
  // From another process a DA 1.0 stream may come after the call that sent it returns.
  PumpUntil([this] { return m_item->m_value.fltVal == 7.25f; }, "the read's data");
  EXPECT_EQ(7.25f, m_item->m_value.fltVal);
  EXPECT_NE(0u, m_item->m_ftTimeStamp.dwHighDateTime);  // time-stamped stream
  EXPECT_GE(DataMessagesFor(1), 1);

  ASSERT_TRUE(m_server->WriteSync(m_item, L"8"));
  EXPECT_TRUE(m_server->RefreshDevice());
  ASSERT_EQ(S_OK, Control()->Flush());
  PumpUntil([this] { return m_item->m_value.fltVal == 8.0f; }, "the refresh's data");
  EXPECT_EQ(8.0f, m_item->m_value.fltVal);
  EXPECT_GE(DataMessagesFor(1), 1);

  // Accepted as a whole although the item's own code fails.
  COpcItem* writeOnly = m_server->AddItem(L"Access.WriteOnly");
  ASSERT_NE(nullptr, writeOnly);
  EXPECT_TRUE(m_server->AsyncReadCache(writeOnly));
  ASSERT_EQ(S_OK,
            Control()->FailMethod(Da2Only() ? L"IOPCAsyncIO2::Refresh2" : L"IOPCAsyncIO::Refresh",
                                  E_FAIL, FALSE));
  EXPECT_FALSE(m_server->RefreshDevice());
}

// Every type beyond the six, as the write box writes it: the list's text goes to the
// server in the item's own type (an array from its comma-separated text), comes back
// through the stream or the DA 2.0 callback, and the list shows the same text; a value out
// of range stops before the server.
TEST_P(IoTest, EveryTypeWritesAndShowsTheListsText) {
  const struct {
    const wchar_t *id, *text, *type;
    const wchar_t* beyond = nullptr;  // one past the type's end: refused before the server
  } cases[] = {
      {L"Types.Char", L"-128", L"CHAR"},
      {L"Types.Byte", L"255", L"BYTE"},
      {L"Types.Word", L"65535", L"WORD"},
      {L"Types.DWord", L"4294967295", L"DWORD"},
      {L"Types.Int", L"-2147483648", L"INTEGER"},
      {L"Types.UInt", L"4294967295", L"UINT"},
      {L"Types.LongLong", L"-9223372036854775808", L"LLONG"},
      {L"Types.ULongLong", L"18446744073709551615", L"ULLONG"},
      {L"Types.Currency", L"-922337203685477.5808", L"CURRENCY"},
      {L"Types.Date", L"2/29/24 23:59:58", L"DATE"},
      {L"Arrays.Static.ULongLong", L"0, 18446744073709551615, 1, 2", L"ARRAY"},
      {L"Arrays.Static.Currency", L"0.0001, -1.5000, 2.0000, 3.0000", L"ARRAY"},
      {L"Arrays.Static.Date", L"1/1/00 0:00:00, 12/31/99 23:59:59", L"ARRAY"},
      {L"Arrays.Static.String", L"\"a, \"\"b\"\"\", \"\", c", L"ARRAY"},
      {L"Types.Error", L"0xFFFFFFFF", L"ERROR", L"2147483648"},
      {L"Types.Decimal", L"-79228162514264337593543950335", L"DECIMAL",
       L"-79228162514264337593543950336"},
      {L"Arrays.Static.Error", L"0x00000000, 0x80004005, 0x7FFFFFFF, 0xFFFFFFFF", L"ARRAY",
       L"0x0, -2147483649"},
      {L"Arrays.Static.Decimal",
       L"0.0000000000000000000000000001, -1.5, 79228162514264337593543950335, 0", L"ARRAY",
       L"1, 79228162514264337593543950336"},
  };
  std::vector<std::pair<size_t, COpcItem*>> items;  // case, record
  for (const auto& c : cases) {
    COpcItem* item = m_server->AddItem(c.id);
    ASSERT_NE(nullptr, item);
    const VARTYPE elem = item->m_vtCanonical & VT_TYPEMASK;
    // Wine's VARIANT marshalling between processes has no wire form for arrays of error
    // codes or decimals: their elements arrive as zeros (scalars cross intact).
    if (m_kind == ServerKind::OwnProcess && (item->m_vtCanonical & VT_ARRAY) &&
        (elem == VT_ERROR || elem == VT_DECIMAL))
      continue;
    HRESULT convert = S_OK;
    if (elem != VT_BSTR && elem != VT_DECIMAL) {  // 10^20 is a fine decimal
      EXPECT_FALSE(m_server->WriteSync(item, L"1, 99999999999999999999", &convert));
      EXPECT_TRUE(FAILED(convert));
    }
    if (c.beyond) {
      convert = S_OK;
      EXPECT_FALSE(m_server->WriteSync(item, c.beyond, &convert)) << c.beyond;
      EXPECT_EQ(DISP_E_OVERFLOW, convert) << c.beyond;
    }
    EXPECT_TRUE(m_server->WriteSync(item, c.text, &convert)) << std::hex << convert;
    items.emplace_back(&c - cases, item);
  }
  EXPECT_TRUE(m_server->RefreshDevice());
  ASSERT_EQ(S_OK, Control()->Flush());
  PumpUntil(
      [&] {
        for (const auto& [i, item] : items)
          if (m_server->GetValueText(item) != cases[i].text) return false;
        return true;
      },
      "every written value back in its record");
  for (const auto& [i, item] : items) {
    EXPECT_EQ(cases[i].text, m_server->GetValueText(item));
    EXPECT_EQ(cases[i].type, m_server->GetValueTypeText(item));
  }
}

TEST_P(IoTest, TextThatDoesNotConvertStopsTheWriteBeforeTheServer) {
  ASSERT_EQ(S_OK, Control()->FailMethod(L"IOPCSyncIO::Write", E_OUTOFMEMORY, FALSE));
  HRESULT convert = S_OK;
  EXPECT_FALSE(m_server->WriteSync(m_item, L"not a number", &convert));
  EXPECT_TRUE(FAILED(convert));
  // The pending failure is still there for the next write that reaches the server.
  EXPECT_FALSE(m_server->WriteSync(m_item, L"3", &convert));
  EXPECT_EQ(S_OK, convert);
  EXPECT_TRUE(m_server->WriteSync(m_item, L"3"));
  EXPECT_TRUE(m_server->ReadDevice(m_item));
  EXPECT_EQ(3.0f, m_item->m_value.fltVal);
}

TEST_P(IoTest, WritesReportTheItemsOwnResult) {
  COpcItem* readOnly = m_server->AddItem(L"Access.ReadOnly");
  ASSERT_NE(nullptr, readOnly);
  EXPECT_FALSE(m_server->WriteSync(readOnly, L"1"));
  // Accepted now; the refusal comes back in the write-complete stream.
  EXPECT_TRUE(m_server->WriteAsync(readOnly, L"1"));
  ASSERT_EQ(S_OK, Control()->Flush());
  std::vector<MSG> errors = WriteErrors();
  ASSERT_EQ(1u, errors.size());
  EXPECT_TRUE(FAILED(static_cast<HRESULT>(errors[0].wParam)));
  // Names the item, so the user can be told which write failed.
  EXPECT_EQ(readOnly->m_hClient, static_cast<OPCHANDLE>(errors[0].lParam));

  // A success brings no message: the refusal sent after it is the only one.
  EXPECT_TRUE(m_server->WriteAsync(m_item, L"4.5"));
  EXPECT_TRUE(m_server->WriteAsync(readOnly, L"2"));
  ASSERT_EQ(S_OK, Control()->Flush());
  errors = WriteErrors();
  ASSERT_EQ(1u, errors.size());
  EXPECT_EQ(readOnly->m_hClient, static_cast<OPCHANDLE>(errors[0].lParam));
  EXPECT_TRUE(m_server->ReadDevice(m_item));
  EXPECT_EQ(4.5f, m_item->m_value.fltVal);

  // A string item takes the text as it is.
  COpcItem* text = m_server->AddItem(L"Types.String");
  ASSERT_NE(nullptr, text);
  ASSERT_EQ(VT_BSTR, text->m_value.vt);
  EXPECT_TRUE(m_server->WriteSync(text, L"温度 ok"));
  EXPECT_TRUE(m_server->ReadDevice(text));
  EXPECT_STREQ(L"温度 ok", text->m_value.bstrVal);
  // A value that came asynchronously is the record's own copy: the server spoils and frees
  // its memory once the call returns.
  EXPECT_TRUE(m_server->WriteSync(text, L"压力 high"));
  EXPECT_TRUE(m_server->AsyncReadDevice(text));
  ASSERT_EQ(S_OK, Control()->Flush());
  PumpUntil(
      [text] {
        return text->m_value.vt == VT_BSTR && text->m_value.bstrVal &&
               text->m_value.bstrVal[0] == L'压';
      },
      "the read's text");
  ASSERT_EQ(VT_BSTR, text->m_value.vt);
  EXPECT_STREQ(L"压力 high", text->m_value.bstrVal);
}

TEST_P(IoTest, AWriteBeforeAnyValueGoesInTheItemsOwnType) {
  // A write-only item never gets a value; the text goes out as its own type, VT_I4.
  COpcItem* writeOnly = m_server->AddItem(L"Access.WriteOnly");
  ASSERT_NE(nullptr, writeOnly);
  EXPECT_EQ(VT_EMPTY, writeOnly->m_value.vt);
  EXPECT_EQ(VT_I4, writeOnly->m_vtCanonical);
  COpcItem* readOnly = m_server->AddItem(L"Access.ReadOnly");
  ASSERT_NE(nullptr, readOnly);
  EXPECT_TRUE(m_server->WriteSync(writeOnly, L"5"));
  EXPECT_TRUE(m_server->WriteAsync(writeOnly, L"6"));
  // The refusal sent after it is the only write error.
  EXPECT_TRUE(m_server->WriteAsync(readOnly, L"6"));
  ASSERT_EQ(S_OK, Control()->Flush());
  const std::vector<MSG> errors = WriteErrors();
  ASSERT_EQ(1u, errors.size());
  EXPECT_EQ(readOnly->m_hClient, static_cast<OPCHANDLE>(errors[0].lParam));
  HRESULT convert = S_OK;
  EXPECT_FALSE(m_server->WriteSync(writeOnly, L"five", &convert));
  EXPECT_TRUE(FAILED(convert));

  // What arrives, seen on a readable item that has no value yet.
  COpcItem* readWrite = m_server->AddItem(L"Access.ReadWrite");
  ASSERT_NE(nullptr, readWrite);
  ::VariantClear(&readWrite->m_value);
  EXPECT_TRUE(m_server->WriteSync(readWrite, L"5"));
  EXPECT_TRUE(m_server->ReadDevice(readWrite));
  ASSERT_EQ(VT_I4, readWrite->m_value.vt);
  EXPECT_EQ(5, readWrite->m_value.lVal);
  // With no type known at all the text goes as text, for the server to convert.
  ::VariantClear(&readWrite->m_value);
  readWrite->m_vtCanonical = VT_EMPTY;
  EXPECT_TRUE(m_server->WriteSync(readWrite, L"9"));
  EXPECT_TRUE(m_server->ReadDevice(readWrite));
  EXPECT_EQ(9, readWrite->m_value.lVal);
}

TEST_P(IoTest, LiveUpdatesLandInTheRecordsOfTheirGroup) {
  ASSERT_EQ(S_OK, m_server->ChangeGroupUpdateRate(100));
  COpcItem* ramp = m_server->AddItem(L"Signals.Counter");
  ASSERT_NE(nullptr, ramp);
  TakeMessages();
  COpcItem* array = m_server->AddItem(L"Arrays.DoubleArray");
  ASSERT_NE(nullptr, array);
  TakeMessages();
  ASSERT_EQ(VT_I4, ramp->m_value.vt);
  const LONG before = ramp->m_value.lVal;
  ASSERT_EQ(S_OK, Control()->AdvanceTime(5000));
  EXPECT_GE(DataMessagesFor(1), 1);
  EXPECT_NE(before, ramp->m_value.lVal);
  // An array that keeps its shape from update to update holds exactly the server's latest
  // elements, as a read of the cache shows them.
  auto elements = [](const VARIANT& v) {
    std::vector<double> out;
    if (!(v.vt & VT_ARRAY) || !v.parray) return out;
    for (LONG i = 0; i < LONG(v.parray->rgsabound[0].cElements); ++i) {
      VARIANT e;
      VariantInit(&e);
      e.vt = v.vt & VT_TYPEMASK;
      if (SUCCEEDED(SafeArrayGetElement(v.parray, &i, &e.llVal)) &&
          SUCCEEDED(VariantChangeType(&e, &e, 0, VT_R8)))
        out.push_back(e.dblVal);
    }
    return out;
  };
  const std::vector<double> first = elements(array->m_value);
  ASSERT_EQ(8u, first.size());
  ASSERT_EQ(S_OK, Control()->AdvanceTime(3000));
  const std::vector<double> live = elements(array->m_value);
  EXPECT_NE(first, live);
  EXPECT_TRUE(m_server->ReadCache(array));
  EXPECT_EQ(elements(array->m_value), live);

  // Qualities land with the values: the cycling item's record walks through good,
  // uncertain and bad, and a static item keeps its server's own quality.
  COpcItem* cycling = m_server->AddItem(L"Quality.Cycling");
  COpcItem* uncertain = m_server->AddItem(L"Quality.Uncertain");
  ASSERT_TRUE(cycling && uncertain);
  cycling->m_wQuality = uncertain->m_wQuality = 0xFFFF;
  bool seen[4] = {};
  for (int step = 0; step < 16; ++step) {
    ASSERT_EQ(S_OK, Control()->AdvanceTime(1000));
    ASSERT_NE(0xFFFF, cycling->m_wQuality) << step;
    seen[(cycling->m_wQuality >> 6) & 3] = true;
  }
  EXPECT_TRUE(seen[0] && seen[1] && seen[3]) << seen[0] << seen[1] << seen[3];
  EXPECT_EQ(0x54, uncertain->m_wQuality);
}

INSTANTIATE_TEST_SUITE_P(Subscriptions, IoTest,
                         testing::Combine(testing::Values(false, true), BothServerKinds()),
                         [](const auto& info) {
                           return std::string(std::get<0>(info.param) ? "Da2Callback"
                                                                      : "Da1Streams") +
                                  "_" + KindName(std::get<1>(info.param));
                         });

}  // namespace
