// One counted interface reference; reference counting lives here and nowhere else.
#pragma once
#include <objbase.h>

template <class T>
class TComPtr {
 public:
  TComPtr() = default;
  explicit TComPtr(T* p) : m_p(p) {
    if (m_p) m_p->AddRef();
  }
  TComPtr(const TComPtr& o) : TComPtr(o.m_p) {}
  TComPtr(TComPtr&& o) noexcept : m_p(o.m_p) { o.m_p = nullptr; }
  TComPtr& operator=(TComPtr o) noexcept {
    T* old = m_p;
    m_p = o.m_p;
    o.m_p = old;
    return *this;
  }
  ~TComPtr() { Release(); }

  void Release() {
    if (m_p) {
      T* p = m_p;
      m_p = nullptr;
      p->Release();
    }
  }
  // Out parameter for calls that hand back a counted reference.
  T** Put() {
    Release();
    return &m_p;
  }
  void** PutVoid() { return reinterpret_cast<void**>(Put()); }
  // For the OPC calls that hand back an object as IUnknown** (AddGroup, CreateEnumerator).
  IUnknown** PutUnknown() { return reinterpret_cast<IUnknown**>(Put()); }
  T* Get() const { return m_p; }
  T* operator->() const { return m_p; }
  explicit operator bool() const { return m_p != nullptr; }
  // Takes over a reference the caller already owns.
  void Attach(T* p) {
    Release();
    m_p = p;
  }
  T* Detach() {
    T* p = m_p;
    m_p = nullptr;
    return p;
  }

  // QueryInterface into this pointer; returns the call's own result.
  template <class U>
  HRESULT QueryFrom(U* from) {
    Release();
    if (!from) return E_POINTER;
    return from->QueryInterface(__uuidof(T), PutVoid());
  }

 private:
  T* m_p = nullptr;
};
