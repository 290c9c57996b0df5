// Reference counting and live-object bookkeeping for every COM object of the
// simulation server, in one place (the ATL idea without ATL).
#pragma once

#include <windows.h>
#include <objbase.h>

namespace plover::sim {

// Kinds of live objects the test hooks can count.
enum class LiveKind { Server, Group, Enumerator, Connection, Other, Count_ };

void LiveCountAdd(LiveKind kind);
void LiveCountRemove(LiveKind kind);
long LiveCount(LiveKind kind);
// Objects plus IClassFactory::LockServer locks: DllCanUnloadNow answers from this.
long ModuleLockCount();
void ModuleLock();
void ModuleUnlock();

class ComRoot {
 public:
  explicit ComRoot(LiveKind kind) : m_kind(kind) { LiveCountAdd(kind); }
  ComRoot(const ComRoot&) = delete;
  ComRoot& operator=(const ComRoot&) = delete;

  ULONG InternalAddRef() { return static_cast<ULONG>(InterlockedIncrement(&m_cRef)); }
  ULONG InternalRelease() {
    LONG n = InterlockedDecrement(&m_cRef);
    if (n == 0) delete this;
    return static_cast<ULONG>(n);
  }
  HRESULT InternalQueryInterface(REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = Query(riid);
    if (!*ppv) return E_NOINTERFACE;
    InternalAddRef();
    return S_OK;
  }
  LONG RefCount() const { return m_cRef; }

 protected:
  virtual ~ComRoot() { LiveCountRemove(m_kind); }
  // Returns the interface pointer for riid without adding a reference, or null.
  virtual void* Query(REFIID riid) = 0;

 private:
  LONG m_cRef = 1;  // the creator's reference
  LiveKind m_kind;
};

// Keeps an object alive across a call that may release it (client callbacks).
template <class T>
class KeepAlive {
 public:
  explicit KeepAlive(T* p) : m_p(p) { m_p->InternalAddRef(); }
  ~KeepAlive() { m_p->InternalRelease(); }
  KeepAlive(const KeepAlive&) = delete;
  KeepAlive& operator=(const KeepAlive&) = delete;

 private:
  T* m_p;
};

// Small owning interface pointer.
template <class I>
class ComPtr {
 public:
  ComPtr() = default;
  ComPtr(I* p) : m_p(p) {
    if (m_p) m_p->AddRef();
  }
  ComPtr(const ComPtr& o) : ComPtr(o.m_p) {}
  ComPtr(ComPtr&& o) noexcept : m_p(o.m_p) { o.m_p = nullptr; }
  ~ComPtr() { Reset(); }
  ComPtr& operator=(ComPtr o) noexcept {
    I* t = m_p;
    m_p = o.m_p;
    o.m_p = t;
    return *this;
  }
  void Reset() {
    if (m_p) {
      I* p = m_p;
      m_p = nullptr;
      p->Release();
    }
  }
  I* Get() const { return m_p; }
  I* operator->() const { return m_p; }
  explicit operator bool() const { return m_p != nullptr; }

 private:
  I* m_p = nullptr;
};

}  // namespace plover::sim

// The three IUnknown methods of a class derived from ComRoot and one or more interfaces.
#define PLOVER_COM_IUNKNOWN                                                    \
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override { \
    return InternalQueryInterface(riid, ppv);                                  \
  }                                                                            \
  ULONG STDMETHODCALLTYPE AddRef() override {                                  \
    return InternalAddRef();                                                   \
  }                                                                            \
  ULONG STDMETHODCALLTYPE Release() override {                                 \
    return InternalRelease();                                                  \
  }
