// The trend's history and its reduction to pixel columns.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "TrendHistory.h"

namespace {

constexpr TrendQuality G = TrendQuality::Good, U = TrendQuality::Uncertain, B = TrendQuality::Bad;

CTrendSeries Series(std::initializer_list<TrendPoint> points) {
  CTrendSeries s;
  for (const TrendPoint& p : points) s.Add(p);
  return s;
}

}  // namespace

// Ten columns of 10 ticks over [1000, 1100): where each sample lands, and what each column
// keeps of it.
TEST(TrendHistoryTest, DecimationColumnsAtTheirEdges) {
  struct Col {
    int index, n;
    double lo, hi, first, last;
    bool gapBefore, endsBad, uncertain;
  };
  const struct {
    const char* name;
    std::vector<TrendPoint> points;
    std::vector<Col> expected;  // every other column is empty
    int64_t carryT;
  } cases[] = {
      {"edges: a column's first tick is its own, its last the one before the next; t1 is out",
       {{999, 7, G, 0},
        {1000, 5, G, 0},
        {1009, -2, G, 0},
        {1010, 3, G, 0},
        {1100, 9, G, 0},
        {1101, 100, G, 0}},
       {{0, 2, -2, 5, 5, -2, false, false, false}, {1, 1, 3, 3, 3, 3, false, false, false}},
       999},
      {"min and max are the samples' own, first and last in time order",
       {{1020, 4, G, 0}, {1021, 8, G, 0}, {1022, -1, G, 0}, {1029, 2, G, 0}},
       {{2, 4, -1, 8, 4, 2, false, false, false}},
       0},
      {"bad takes no part in the range, breaks the line into the next drawn sample",
       {{1030, 1, G, 0}, {1031, 99, B, 0}, {1045, 2, G, 0}, {1050, 3, B, 0}, {1060, 4, U, 0}},
       {{3, 1, 1, 1, 1, 1, false, true, false},
        {4, 1, 2, 2, 2, 2, true, false, false},
        {5, 0, 0, 0, 0, 0, false, true, false},
        {6, 1, 4, 4, 4, 4, true, false, true}},
       0},
      {"a bad sample in force at the left edge breaks the first line; good after bad mends",
       {{990, 1, B, 0}, {1070, 5, G, 0}, {1071, 6, B, 0}, {1072, 7, G, 0}},
       {{7, 2, 5, 7, 5, 7, true, false, false}},
       990},
  };
  for (const auto& c : cases) {
    CTrendSeries s;
    for (const TrendPoint& p : c.points) s.Add(p);
    std::vector<TrendColumn> cols;
    TrendPoint carry{};
    s.Decimate(1000, 1100, 10, cols, &carry);
    ASSERT_EQ(10u, cols.size()) << c.name;
    EXPECT_EQ(c.carryT, carry.t) << c.name;
    for (int i = 0; i < 10; ++i) {
      auto want = std::find_if(c.expected.begin(), c.expected.end(),
                               [i](const Col& e) { return e.index == i; });
      const TrendColumn& got = cols[i];
      if (want == c.expected.end()) {
        EXPECT_EQ(0, got.n) << c.name << " column " << i;
        EXPECT_FALSE(got.endsBad) << c.name << " column " << i;
        continue;
      }
      EXPECT_EQ(want->n, got.n) << c.name << " column " << i;
      if (want->n) {
        EXPECT_EQ(want->lo, got.lo) << c.name << " column " << i;
        EXPECT_EQ(want->hi, got.hi) << c.name << " column " << i;
        EXPECT_EQ(want->first, got.first) << c.name << " column " << i;
        EXPECT_EQ(want->last, got.last) << c.name << " column " << i;
        EXPECT_EQ(want->gapBefore, got.gapBefore) << c.name << " column " << i;
        EXPECT_EQ(want->uncertain, got.uncertain) << c.name << " column " << i;
      }
      EXPECT_EQ(want->endsBad, got.endsBad) << c.name << " column " << i;
    }
  }
}

// Random samples, arriving out of order, over uneven column widths: the series stays in time
// order, and each column's min and max are exactly the extremes of the samples whose time
// falls inside it.
TEST(TrendHistoryTest, LateSamplesLandInPlaceAndColumnsKeepExactExtremes) {
  std::mt19937 rng(7);
  std::uniform_int_distribution<int64_t> when(0, 9999);
  std::uniform_real_distribution<double> value(-1e6, 1e6);
  std::vector<TrendPoint> points;
  CTrendSeries s;
  for (int i = 0; i < 5000; ++i) {
    points.push_back({when(rng), value(rng), G, static_cast<uint16_t>(i)});
    s.Add(points.back());
  }
  ASSERT_EQ(points.size(), s.Size());
  for (size_t i = 1; i < s.Size(); ++i) ASSERT_LE(s[i - 1].t, s[i].t) << i;
  // Among samples of one time, the order of arrival.
  for (size_t i = 1; i < s.Size(); ++i) {
    if (s[i - 1].t == s[i].t) {
      ASSERT_LT(s[i - 1].code, s[i].code) << i;
    }
  }

  for (int columns : {1, 7, 333, 10000, 12345}) {
    const int64_t t0 = 1234, t1 = 8765;
    std::vector<TrendColumn> cols;
    s.Decimate(t0, t1, columns, cols);
    std::vector<double> lo(columns, 1e300), hi(columns, -1e300);
    std::vector<int> n(columns, 0);
    for (const TrendPoint& p : points) {
      if (p.t < t0 || p.t >= t1) continue;
      // Column c holds c*span <= (t - t0)*columns < (c+1)*span.
      const int c = static_cast<int>((p.t - t0) * columns / (t1 - t0));
      ASSERT_LE(static_cast<int64_t>(c) * (t1 - t0), (p.t - t0) * columns);
      lo[c] = std::min(lo[c], p.v);
      hi[c] = std::max(hi[c], p.v);
      ++n[c];
    }
    for (int c = 0; c < columns; ++c) {
      ASSERT_EQ(n[c], cols[c].n) << columns << " columns, column " << c;
      if (!n[c]) continue;
      ASSERT_EQ(lo[c], cols[c].lo) << columns << " columns, column " << c;
      ASSERT_EQ(hi[c], cols[c].hi) << columns << " columns, column " << c;
    }
  }

  // The sample in force at a time, and the hour kept behind the newest.
  const TrendPoint* at = s.At(5000);
  ASSERT_NE(nullptr, at);
  EXPECT_LE(at->t, 5000);
  EXPECT_GT(s[s.LowerBound(5001)].t, 5000);
  EXPECT_EQ(nullptr, s.At(s.Oldest() - 1));
  CTrendSeries hour = Series({{0, 1, G, 0}, {10, 2, G, 0}});
  hour.Add({CTrendSeries::kKeepTicks + 5, 3, G, 0});
  EXPECT_EQ(2u, hour.Size()) << "the first sample is older than an hour before the newest";
  EXPECT_EQ(10, hour.Oldest());
}

// The cache a live trend draws from gives what a fresh reduction gives, through samples
// arriving on time, late, bad, and falling out of the kept hour at the front.
TEST(TrendHistoryTest, CachedColumnsEqualAFreshReductionAsSamplesComeAndGo) {
  std::mt19937 rng(11);
  const int64_t w = CTrendSeries::kTicksPerSecond, hour = CTrendSeries::kKeepTicks;
  CTrendSeries s;
  CTrendColumnCache cache;
  int64_t now = 0;
  std::vector<TrendColumn> cached, fresh;
  TrendPoint carryCached{}, carryFresh{};
  const TrendQuality qualities[] = {G, G, G, U, B};
  for (int round = 0; round < 400; ++round) {
    // A burst of samples: mostly new, some late by up to a minute, some an hour ahead.
    for (int i = 0; i < 40; ++i) {
      now += static_cast<int64_t>(rng() % 300) * w / 100;
      int64_t t = now;
      if (rng() % 7 == 0) t -= static_cast<int64_t>(rng() % 60) * w;
      if (round == 200 && i == 0) now += hour / 2, t = now;  // half the hour falls out
      s.Add({t, static_cast<double>(rng() % 1000), qualities[rng() % 5], 0});
    }
    // The last ten minutes in 600 columns, following the newest sample.
    const int64_t first = now / w - 599;
    cache.Get(s, w, first, 600, cached, &carryCached);
    s.Decimate(first * w, (first + 600) * w, 600, fresh, &carryFresh);
    ASSERT_EQ(carryFresh.t, carryCached.t) << round;
    for (size_t c = 0; c < fresh.size(); ++c) {
      const TrendColumn &a = fresh[c], &b = cached[c];
      ASSERT_TRUE(a.n == b.n && a.lo == b.lo && a.hi == b.hi && a.first == b.first &&
                  a.last == b.last && a.gapBefore == b.gapBefore && a.endsBad == b.endsBad &&
                  a.uncertain == b.uncertain)
          << "round " << round << ", column " << c;
    }
  }
  // Most columns came from the cache: only those new samples fell in were made again.
  EXPECT_LT(cache.Made(), 400u * 600u / 4);
}
