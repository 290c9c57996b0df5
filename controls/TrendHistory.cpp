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
  m_addedFrom = std::min(m_addedFrom, p.t);
  const int64_t keepFrom = m_points.back().t - kKeepTicks;
  bool dropped = false;
  while (!m_points.empty() && m_points.front().t < keepFrom) {
    m_points.pop_front();
    dropped = true;
  }
  // The new first sample's column changes too: what came before it is gone.
  if (dropped && !m_points.empty()) m_droppedTo = std::max(m_droppedTo, m_points.front().t);
}

void CTrendSeries::TakeChanges(int64_t& addedFrom, int64_t& droppedTo) const {
  addedFrom = m_addedFrom;
  droppedTo = m_droppedTo;
  m_addedFrom = INT64_MAX;
  m_droppedTo = INT64_MIN;
}

namespace {

int64_t FloorDiv(int64_t a, int64_t b) {
  return a / b - ((a % b != 0) && ((a < 0) != (b < 0)) ? 1 : 0);
}

}  // namespace

void CTrendColumnCache::Get(const CTrendSeries& s, int64_t w, int64_t first, int count,
                            std::vector<TrendColumn>& out, TrendPoint* carry) {
  int64_t addedFrom, droppedTo;
  s.TakeChanges(addedFrom, droppedTo);
  if (w != m_w) m_cols.clear();
  m_w = w;
  // Columns at or after the first sample added, or at or before the last one dropped, are
  // made again; the rest are as they were.
  const int64_t dirtyFrom = addedFrom == INT64_MAX ? INT64_MAX : FloorDiv(addedFrom, w);
  const int64_t dirtyTo = droppedTo == INT64_MIN ? INT64_MIN : FloorDiv(droppedTo, w);
  std::vector<TrendColumn> cols(count > 0 ? static_cast<size_t>(count) : 0);
  std::vector<bool> have(cols.size(), false);
  for (int i = 0; i < count; ++i) {
    const int64_t k = first + i;
    if (k < m_first || k >= m_first + static_cast<int64_t>(m_cols.size())) continue;
    if (k >= dirtyFrom || k <= dirtyTo) continue;
    cols[i] = m_cols[static_cast<size_t>(k - m_first)];
    have[i] = true;
  }
  for (int i = 0; i < count;) {
    if (have[i]) {
      ++i;
      continue;
    }
    int j = i;
    while (j < count && !have[j]) ++j;
    // One walk over the samples of the run [i, j), no division per sample.
    const int64_t from = (first + i) * w;
    size_t n = s.LowerBound(from);
    bool pendingBad = n > 0 && s.m_points[n - 1].q == TrendQuality::Bad;
    int c = i;
    int64_t next = from + w;
    const int64_t end = (first + j) * w;
    auto it = s.m_points.begin() + static_cast<std::ptrdiff_t>(n);
    for (; it != s.m_points.end() && it->t < end; ++it) {
      const TrendPoint& p = *it;
      while (p.t >= next) {
        ++c;
        next += w;
      }
      TrendColumn& col = cols[static_cast<size_t>(c)];
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
        if (p.v < col.lo) col.lo = p.v;
        if (p.v > col.hi) col.hi = p.v;
      }
      col.last = p.v;
      if (p.q == TrendQuality::Uncertain) col.uncertain = true;
      ++col.n;
      pendingBad = false;
    }
    m_made += static_cast<uint64_t>(j - i);
    i = j;
  }
  if (carry) {
    const size_t n = s.LowerBound(first * w);
    *carry = n > 0 ? s.m_points[n - 1] : TrendPoint{0, 0, TrendQuality::Bad, 0};
  }
  m_first = first;
  m_cols = cols;
  out.swap(cols);
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
  for (; i < m_points.size() && m_points[i].t < t1; ++i) {
    const TrendPoint& p = m_points[i];
    // Integer arithmetic: where a column ends does not depend on rounding.
    const int64_t c = (p.t - t0) * columns / span;
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
