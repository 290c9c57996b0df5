#include "TextTestSupport.h"

#include <set>

namespace {

class AllocationSpy : public IMallocSpy {
 public:
  void Record(bool on) {
    AcquireSRWLockExclusive(&m_lock);
    m_recording = on;
    m_live.clear();
    ReleaseSRWLockExclusive(&m_lock);
  }
  size_t Live() {
    AcquireSRWLockExclusive(&m_lock);
    size_t n = m_live.size();
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
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
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
};

// Registered once and never revoked: the system keeps calling a spy for blocks allocated
// while it was registered, so it must outlive every watch.
AllocationSpy& Spy() {
  static AllocationSpy* spy = [] {
    auto* s = new AllocationSpy;
    EXPECT_EQ(S_OK, CoRegisterMallocSpy(s));
    return s;
  }();
  return *spy;
}

}  // namespace

TaskMemWatch::TaskMemWatch() {
  Spy().Record(true);
}

TaskMemWatch::~TaskMemWatch() {
  Spy().Record(false);
}

size_t TaskMemWatch::Outstanding() const {
  return Spy().Live();
}

void SimTextTest::SetUp() {
  CLSID clsid;
  ASSERT_EQ(S_OK, CLSIDFromProgID(PLOVER_SIM_PROGID, &clsid)) << "is PloverSim.dll registered?";
  ASSERT_EQ(S_OK, CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IOPCServer,
                                   m_server.PutVoid()));
  ASSERT_EQ(S_OK, m_control.QueryFrom(m_server.Get()));
  ASSERT_EQ(S_OK, m_control->SetDeterministic(TRUE));
}

TComPtr<IOPCItemMgt> SimTextTest::AddGroup(const wchar_t* name, OPCHANDLE hClient) {
  TComPtr<IOPCItemMgt> group;
  OPCHANDLE hServer = 0;
  DWORD revised = 0;
  EXPECT_EQ(S_OK,
            m_server->AddGroup(name, TRUE, 1000, hClient, nullptr, nullptr, 0, &hServer, &revised,
                               IID_IOPCItemMgt, reinterpret_cast<IUnknown**>(group.Put())));
  return group;
}

OPCHANDLE SimTextTest::AddItem(IOPCItemMgt* group, const wchar_t* id, VARTYPE requested,
                               OPCHANDLE hClient) {
  OPCITEMDEF def = {
      const_cast<LPWSTR>(L""), const_cast<LPWSTR>(id), TRUE, hClient, 0, nullptr, requested, 0};
  OPCITEMRESULT* results = nullptr;
  HRESULT* errors = nullptr;
  EXPECT_EQ(S_OK, group->AddItems(1, &def, &results, &errors)) << id;
  if (!results || !errors) return 0;
  OPCHANDLE h = results[0].hServer;
  CoTaskMemFree(results[0].pBlob);
  CoTaskMemFree(results);
  CoTaskMemFree(errors);
  return h;
}
