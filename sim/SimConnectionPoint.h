// One connection point of a server object or a group (OPC DA 2.0 callbacks and the OPC
// Common shutdown notice). It lives inside its container and counts its references on
// the container's, so a client holding the point keeps the container alive and no cycle
// forms. One connection at a time, as the OPC standard allows.
#pragma once

#include <windows.h>
#include <ocidl.h>

namespace plover::sim {

class ConnectionPointHost {
 public:
  virtual IConnectionPointContainer* PointContainer() = 0;
  // S_OK lets the call go on; otherwise the owner's injected failure, or E_FAIL when the
  // owner no longer works and mustWork is set.
  virtual HRESULT PointCheck(const wchar_t* method, bool mustWork) = 0;
  virtual DWORD PointCookie() = 0;
  // After a successful Advise.
  virtual void PointAdvised(DWORD cookie) = 0;

 protected:
  ~ConnectionPointHost() = default;
};

class SimConnectionPoint final : public IConnectionPoint {
 public:
  SimConnectionPoint(ConnectionPointHost* host, const IID& iid) : m_host(host), m_iid(iid) {}
  ~SimConnectionPoint() { Drop(); }
  SimConnectionPoint(const SimConnectionPoint&) = delete;
  SimConnectionPoint& operator=(const SimConnectionPoint&) = delete;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
  ULONG STDMETHODCALLTYPE AddRef() override { return m_host->PointContainer()->AddRef(); }
  ULONG STDMETHODCALLTYPE Release() override { return m_host->PointContainer()->Release(); }

  HRESULT STDMETHODCALLTYPE GetConnectionInterface(IID* pIID) override;
  HRESULT STDMETHODCALLTYPE GetConnectionPointContainer(IConnectionPointContainer** ppCPC) override;
  HRESULT STDMETHODCALLTYPE Advise(IUnknown* pUnkSink, DWORD* pdwCookie) override;
  HRESULT STDMETHODCALLTYPE Unadvise(DWORD dwCookie) override;
  HRESULT STDMETHODCALLTYPE EnumConnections(IEnumConnections** ppEnum) override;

  const IID& Iid() const { return m_iid; }
  bool Connected() const { return m_sink != nullptr; }
  DWORD Cookie() const { return m_sink ? m_cookie : 0; }
  // The advised sink as the point's interface (no reference added), or null.
  template <class I>
  I* Sink() const {
    return static_cast<I*>(m_sink);
  }
  // Lets go of the sink (the owner is going, or a vanished server drops its clients).
  void Drop();

 private:
  ConnectionPointHost* m_host;
  IID m_iid;
  void* m_sink = nullptr;  // the interface m_iid of the client's object, one reference
  DWORD m_cookie = 0;
};

}  // namespace plover::sim
