// The trend's memory: per pen, the samples of the last hour in time order, and their
// reduction to pixel columns for drawing. Nothing here knows windows or OPC: a sample is a
// time (100 ns ticks, as FILETIME counts), a value, a quality class and an opaque code the
// owner gives back when asked (the trend window keeps the OPC quality word there).
#pragma once
#include <climits>
#include <cstdint>
#include <deque>
#include <vector>

enum class TrendQuality : uint8_t { Good, Uncertain, Bad };

struct TrendPoint {
  int64_t t;
  double v;
  TrendQuality q;
  uint16_t code;
};

// One pixel column of a series: min and max of the samples that fall in it (bad ones take
// no part), its first and last drawn value, and how quality breaks or pales the curve.
struct TrendColumn {
  int n = 0;  // good and uncertain samples in the column
  double lo = 0, hi = 0, first = 0, last = 0;
  bool gapBefore = false;  // a bad sample since the last drawn one: no line into this column
  bool endsBad = false;    // the column's last sample is bad: no line out of it
  bool uncertain = false;  // an uncertain sample among the drawn ones
};

class CTrendSeries {
 public:
  static constexpr int64_t kTicksPerSecond = 10000000;
  // What each series keeps, measured back from its newest sample.
  static constexpr int64_t kKeepTicks = 60 * 60 * kTicksPerSecond;

  // In time order: a late sample goes where it belongs (after any of the same time).
  // Samples older than the kept span before the newest are let go of.
  void Add(const TrendPoint& p);
  void Clear() { m_points.clear(); }
  size_t Size() const { return m_points.size(); }
  const TrendPoint& operator[](size_t i) const { return m_points[i]; }
  bool Empty() const { return m_points.empty(); }
  int64_t Oldest() const { return m_points.empty() ? 0 : m_points.front().t; }
  int64_t Newest() const { return m_points.empty() ? 0 : m_points.back().t; }
  // The sample in force at t: the last one at or before it, or none.
  const TrendPoint* At(int64_t t) const;
  // Index of the first sample at or after t.
  size_t LowerBound(int64_t t) const;

  // Reduces the samples of [t0, t1) to columns (out gets exactly columns entries). carry, if
  // given, gets the sample in force just before t0 (its t is 0 when there is none).
  void Decimate(int64_t t0, int64_t t1, int columns, std::vector<TrendColumn>& out,
                TrendPoint* carry = nullptr) const;

  // What changed since the last call: the earliest time a sample was added at, and, when
  // samples were let go of at the front, the time of the first one kept (INT64_MAX and
  // INT64_MIN when nothing).
  void TakeChanges(int64_t& addedFrom, int64_t& droppedTo) const;

 private:
  friend class CTrendColumnCache;
  std::deque<TrendPoint> m_points;
  mutable int64_t m_addedFrom = INT64_MAX;
  mutable int64_t m_droppedTo = INT64_MIN;
};

// One series' columns of width w on absolute time (column k holds [k*w, (k+1)*w)), kept
// between repaints: a live trend makes again only the columns new samples fell in, not the
// whole hour. Each series has at most one cache (it takes the series' changes).
class CTrendColumnCache {
 public:
  // out gets columns first .. first+count-1; carry the sample in force before them.
  void Get(const CTrendSeries& s, int64_t w, int64_t first, int count,
           std::vector<TrendColumn>& out, TrendPoint* carry);
  void Clear() { m_cols.clear(); }
  // Columns made, not taken from the cache, over this cache's life (the benchmark's figure).
  uint64_t Made() const { return m_made; }

 private:
  int64_t m_w = 0, m_first = 0;
  std::vector<TrendColumn> m_cols;
  uint64_t m_made = 0;
};
