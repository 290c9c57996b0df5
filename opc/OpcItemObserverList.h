// Hands each value and write result on to every observer listed, in the order they were
// added: the window program has several listeners (a trend, a recording) on one group manager.
// Called on the thread the callbacks arrive on; an observer may remove itself, or another,
// while it is told.
#pragma once
#include <algorithm>
#include <vector>

#include "OpcItemObserver.h"

class COpcItemObserverList : public IOpcItemObserver {
 public:
  void Add(IOpcItemObserver* observer) {
    if (observer && std::find(m_list.begin(), m_list.end(), observer) == m_list.end())
      m_list.push_back(observer);
  }
  void Remove(IOpcItemObserver* observer) {
    auto it = std::find(m_list.begin(), m_list.end(), observer);
    if (it != m_list.end()) *it = nullptr;  // compacted after the walk in progress
    if (!m_nWalking) Compact();
  }
  size_t Count() const {
    return static_cast<size_t>(std::count_if(m_list.begin(), m_list.end(),
                                             [](IOpcItemObserver* p) { return p != nullptr; }));
  }

  void OnItemStored(OPCHANDLE hGroup, const COpcItem& item) override {
    Walk([&](IOpcItemObserver* o) { o->OnItemStored(hGroup, item); });
  }
  void OnWriteResult(OPCHANDLE hClientItem, HRESULT error) override {
    Walk([&](IOpcItemObserver* o) { o->OnWriteResult(hClientItem, error); });
  }

 private:
  template <class F>
  void Walk(F tell) {
    ++m_nWalking;
    // By index: an observer added while told is told from the next value on.
    const size_t n = m_list.size();
    for (size_t i = 0; i < n; ++i)
      if (IOpcItemObserver* o = m_list[i]) tell(o);
    if (--m_nWalking == 0) Compact();
  }
  void Compact() { m_list.erase(std::remove(m_list.begin(), m_list.end(), nullptr), m_list.end()); }

  std::vector<IOpcItemObserver*> m_list;
  int m_nWalking = 0;
};
