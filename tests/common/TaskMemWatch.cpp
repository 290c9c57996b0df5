#include "TaskMemWatch.h"

#include <objbase.h>

#include <map>
#include <set>

namespace {

class Spy : public IMallocSpy {
 public:
  void Record(bool on) {
    AcquireSRWLockExclusive(&m_lock);
    m_recording = on;
    m_live.clear();
    m_freed.clear();
    ReleaseSRWLockExclusive(&m_lock);
  }
  size_t Live() {
    AcquireSRWLockExclusive(&m_lock);
    size_t n = m_live.size();
    ReleaseSRWLockExclusive(&m_lock);
    return n;
  }
  size_t Freed(void* p) {
    AcquireSRWLockExclusive(&m_lock);
    auto it = m_freed.find(p);
    size_t n = it == m_freed.end() ? 0 : it->second;
    ReleaseSRWLockExclusive(&m_lock);
    return n;
  }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
    *ppv = nullptr;
    if (riid != IID_IUnknown && riid != IID_IMallocSpy) return E_NOINTERFACE;
    *ppv = static_cast<IMallocSpy*>(this);
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }  // lives for the process
  SIZE_T STDMETHODCALLTYPE PreAlloc(SIZE_T cb) override { return cb; }
  void* STDMETHODCALLTYPE PostAlloc(void* p) override {
    AcquireSRWLockExclusive(&m_lock);
    if (p && m_recording) m_live.insert(p);
    ReleaseSRWLockExclusive(&m_lock);
    return p;
  }
  void* STDMETHODCALLTYPE PreFree(void* p, BOOL) override {
    AcquireSRWLockExclusive(&m_lock);
    m_live.erase(p);
    if (p && m_recording) ++m_freed[p];
    ReleaseSRWLockExclusive(&m_lock);
    return p;
  }
  void STDMETHODCALLTYPE PostFree(BOOL) override {}
  SIZE_T STDMETHODCALLTYPE PreRealloc(void* p, SIZE_T cb, void** pNew, BOOL) override {
    *pNew = p;
    return cb;
  }
  void* STDMETHODCALLTYPE PostRealloc(void* p, BOOL) override { return p; }
  void* STDMETHODCALLTYPE PreGetSize(void* p, BOOL) override { return p; }
  SIZE_T STDMETHODCALLTYPE PostGetSize(SIZE_T cb, BOOL) override { return cb; }
  void* STDMETHODCALLTYPE PreDidAlloc(void* p, BOOL) override { return p; }
  int STDMETHODCALLTYPE PostDidAlloc(void*, BOOL, int actual) override { return actual; }
  void STDMETHODCALLTYPE PreHeapMinimize() override {}
  void STDMETHODCALLTYPE PostHeapMinimize() override {}

 private:
  SRWLOCK m_lock = SRWLOCK_INIT;
  bool m_recording = false;
  std::set<void*> m_live;
  std::map<void*, size_t> m_freed;
};

// Registered once and never revoked: the system keeps calling a spy for blocks allocated
// while it was registered, so it must outlive every watch.
Spy& TheSpy() {
  static Spy* spy = [] {
    auto* s = new Spy;
    CoRegisterMallocSpy(s);
    return s;
  }();
  return *spy;
}

}  // namespace

TaskMemWatch::TaskMemWatch() {
  TheSpy().Record(true);
}

TaskMemWatch::~TaskMemWatch() {
  TheSpy().Record(false);
}

size_t TaskMemWatch::Outstanding() const {
  return TheSpy().Live();
}

size_t TaskMemWatch::FreeCount(void* p) const {
  return TheSpy().Freed(p);
}
