// A burst of 10,000 updates through each subscription path, with the server in this
// process and in one of its own: every update arrives, once, in order, per item.
#include "SimTestSupport.h"

#include "SimProcess.h"

#include <cmath>
#include <map>
#include <tuple>

namespace {

class BurstTest : public SimFixture, public testing::WithParamInterface<std::tuple<bool, bool>> {
 protected:
  void SetUp() override {
    Connect(OwnProcess() ? PLOVER_SIM_LOCAL_PRIVATE_PROGID : PLOVER_SIM_PROGID);
  }
  bool Da2() const { return std::get<0>(GetParam()); }
  bool OwnProcess() const { return std::get<1>(GetParam()); }
};

TEST_P(BurstTest, TenThousandUpdatesArriveCompleteAndInOrderPerItem) {
  TComPtr<IPloverSimProcess> process = Query<IPloverSimProcess>(server.Get());
  DWORD pid = 0;
  ASSERT_TRUE(process && process->GetServerProcessId(&pid) == S_OK);
  EXPECT_EQ(OwnProcess(), pid != GetCurrentProcessId());

  DWORD rate = 0;
  TComPtr<IOPCItemMgt> group = AddGroup(L"Burst", 10, 7, 0, TRUE, nullptr, &rate);
  ASSERT_TRUE(group);
  ASSERT_GT(rate, 0u);
  // Two ramps that move at every update: the counter by exactly the rate (modulo its
  // span), the real one by rate/100 (modulo 100).
  ASSERT_EQ(S_OK, AddItem(group.Get(), L"Signals.Counter", VT_I4, 1));
  ASSERT_EQ(S_OK, AddItem(group.Get(), L"Signals.Ramp", VT_R8, 2));

  RecordingSink* sink = nullptr;
  RecordingCallback* callback = nullptr;
  TComPtr<IConnectionPoint> point;
  DWORD cookie = 0;
  if (Da2()) {
    callback = &Callback();
    auto container = Query<IConnectionPointContainer>(group.Get());
    ASSERT_TRUE(container);
    ASSERT_EQ(S_OK, container->FindConnectionPoint(IID_IOPCDataCallback, point.Put()));
    ASSERT_EQ(S_OK, point->Advise(callback->Unknown(), &cookie));
  } else {
    sink = &Sink();
    cookie = Advise(group.Get(), StreamFormats().dataTime, sink);
    ASSERT_NE(0u, cookie);
  }
  auto received = [&] {
    size_t n = 0;
    if (callback)
      for (const auto& c : callback->calls) n += c.handles.size();
    if (sink) n = sink->received.size() * 2;
    return n;
  };
  ASSERT_EQ(S_OK, control->Flush());
  // The callback's initial update (the stream has none) is not part of the burst; from
  // another process it may come after the flush returns.
  const size_t initial = Da2() ? 2 : 0;
  for (int i = 0; i < 3000 && received() < initial; ++i) PumpFor(10);
  ASSERT_EQ(initial, received()) << "the initial update";
  if (callback) callback->calls.clear();
  if (sink) sink->received.clear();

  constexpr int kUpdates = 5000;  // per item: two items, 10,000 values
  ASSERT_EQ(S_OK, control->AdvanceTime(kUpdates * rate));
  ASSERT_EQ(S_OK, control->Flush());
  // From another process the last deliveries may still be on their way: wait for them
  // (a generous cap; too few values then fail below).
  for (int i = 0; i < 3000 && received() < 2 * kUpdates; ++i) PumpFor(10);
  PumpFor(0);

  std::map<OPCHANDLE, std::vector<double>> values;
  if (callback) {
    for (const auto& c : callback->calls) {
      ASSERT_EQ(RecordingCallback::kData, c.kind);
      for (size_t i = 0; i < c.handles.size(); ++i) values[c.handles[i]].push_back(c.numbers[i]);
    }
  } else {
    for (size_t s = 0; s < sink->received.size(); ++s) {
      DecodedData d = sink->Data(s);
      for (const DecodedValue& v : d.items) {
        VARIANT r8;
        VariantInit(&r8);
        ASSERT_EQ(S_OK, VariantChangeType(&r8, const_cast<VARIANT*>(&v.value), 0, VT_R8));
        values[v.hClient].push_back(r8.dblVal);
      }
    }
  }
  ASSERT_EQ(2u, values.size());
  const auto& counter = values[1];
  const auto& ramp = values[2];
  ASSERT_EQ(size_t{kUpdates}, counter.size());
  ASSERT_EQ(size_t{kUpdates}, ramp.size());
  int counterSteps = 0, rampSteps = 0;
  for (int i = 1; i < kUpdates; ++i) {
    const double dc = std::fmod(counter[i] - counter[i - 1] + 100000, 100000);
    const double dr = std::fmod(ramp[i] - ramp[i - 1] + 100, 100);
    counterSteps += dc == rate;
    rampSteps += std::fabs(dr - rate / 100.0) < 1e-3;
  }
  EXPECT_EQ(kUpdates - 1, counterSteps) << "updates lost, repeated or out of order";
  EXPECT_EQ(kUpdates - 1, rampSteps) << "updates lost, repeated or out of order";

  if (Da2()) {
    EXPECT_EQ(S_OK, point->Unadvise(cookie));
  } else {
    EXPECT_EQ(S_OK, Query<IDataObject>(group.Get())->DUnadvise(cookie));
  }
}

INSTANTIATE_TEST_SUITE_P(Paths, BurstTest, testing::Combine(testing::Bool(), testing::Bool()),
                         [](const auto& info) {
                           return std::string(std::get<0>(info.param) ? "Da2Callback"
                                                                      : "Da1Stream") +
                                  (std::get<1>(info.param) ? "_OwnProcess" : "_InProcess");
                         });

}  // namespace
