#include "TrendHistory.h"

#include <algorithm>

void CTrendSeries::Add(const TrendPoint& p) {
  if (m_points.empty() || p.t >= m_points.back().t) {
    m_points.push_back(p);
  } else {
    // Late: after every sample of the same or an earlier time.
    auto it = std::upper_bound(m_points.begin(), m_points.end(), p.t,
                               [](int64_t t, const TrendPoint& q) { return t < q.t; });
    m_points.insert(it, p);
  }
  const int64_t keepFrom = m_points.back().t - kKeepTicks;
  while (!m_points.empty() && m_points.front().t < keepFrom) m_points.pop_front();
}

size_t CTrendSeries::LowerBound(int64_t t) const {
  auto it = std::lower_bound(m_points.begin(), m_points.end(), t,
                             [](const TrendPoint& q, int64_t v) { return q.t < v; });
  return static_cast<size_t>(it - m_points.begin());
}

const TrendPoint* CTrendSeries::At(int64_t t) const {
  auto it = std::upper_bound(m_points.begin(), m_points.end(), t,
                             [](int64_t v, const TrendPoint& q) { return v < q.t; });
  return it == m_points.begin() ? nullptr : &*(it - 1);
}

void CTrendSeries::Decimate(int64_t t0, int64_t t1, int columns, std::vector<TrendColumn>& out,
                            TrendPoint* carry) const {
  out.assign(columns > 0 ? static_cast<size_t>(columns) : 0, TrendColumn{});
  size_t i = LowerBound(t0);
  // A bad sample in force at the left edge breaks the line into the first drawn column.
  bool pendingBad = false;
  if (i > 0) {
    pendingBad = m_points[i - 1].q == TrendQuality::Bad;
    if (carry) *carry = m_points[i - 1];
  } else if (carry) {
    *carry = TrendPoint{0, 0, TrendQuality::Bad, 0};
  }
  if (columns <= 0 || t1 <= t0) return;
  const int64_t span = t1 - t0;
  for (; i < m_points.size() && m_points[i].t <= t1; ++i) {
    const TrendPoint& p = m_points[i];
    // Integer arithmetic: where a column ends does not depend on rounding.
    int64_t c = (p.t - t0) * columns / span;
    if (c >= columns) c = columns - 1;
    TrendColumn& col = out[static_cast<size_t>(c)];
    if (p.q == TrendQuality::Bad) {
      pendingBad = true;
      col.endsBad = true;
      continue;
    }
    col.endsBad = false;
    if (col.n == 0) {
      col.lo = col.hi = col.first = p.v;
      col.gapBefore = pendingBad;
    } else {
      col.lo = std::min(col.lo, p.v);
      col.hi = std::max(col.hi, p.v);
    }
    col.last = p.v;
    if (p.q == TrendQuality::Uncertain) col.uncertain = true;
    ++col.n;
    pendingBad = false;
  }
}
