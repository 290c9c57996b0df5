// Watches for the end of a connected server: its IOPCShutdown notice, or a call failing
// because the server's process is gone. Either leads to one posted request to disconnect;
// the reason stays here for the view to show. opc/ knows no windows beyond the handle.
#pragma once
#include <windows.h>

#include <string>

#include "PloverMessages.h"
#include "opcda.h"

class COpcServerWatch : public IOPCShutdown {
 public:
  // Starts with no references; whoever creates it takes the first one.
  COpcServerWatch() = default;
  COpcServerWatch(const COpcServerWatch&) = delete;
  COpcServerWatch& operator=(const COpcServerWatch&) = delete;

  // IUnknown
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;
  // IOPCShutdown: notes the reason and posts; the disconnect itself happens later, outside
  // the server's call.
  HRESULT STDMETHODCALLTYPE ShutdownRequest(LPCWSTR szReason) override;

  void SetNotifyWindow(HWND hWnd) { m_hNotifyWnd = hWnd; }
  // From a successful connect to the start of its disconnect: forgets earlier notices.
  void Arm();
  void Disarm() { m_bArmed = false; }
  // Passes hr through; a code saying the server's process is gone reports the loss.
  HRESULT Check(HRESULT hr);
  // The status check went unanswered for limitMs: the loss is reported as RPC_E_TIMEOUT,
  // with a reason that says so.
  void StoppedAnswering(DWORD limitMs);

  // Whether the loss was reported for this connection, and why.
  bool Lost() const { return m_bReported; }
  // The server's process is gone: nothing more is asked of it.
  bool Vanished() const { return m_bVanished; }
  // The server's reason (may be empty), or the system's text for the failing code.
  const std::wstring& Reason() const { return m_strReason; }
  // S_OK for a shutdown notice, else the code the failing call returned.
  HRESULT Code() const { return m_hrCode; }

  static bool IsVanishedCode(HRESULT hr);

 protected:
  virtual ~COpcServerWatch() = default;

 private:
  void Report(std::wstring reason, HRESULT code);

  ULONG m_cRef = 0;
  HWND m_hNotifyWnd = nullptr;
  bool m_bArmed = false;
  bool m_bReported = false;
  bool m_bVanished = false;
  std::wstring m_strReason;
  HRESULT m_hrCode = S_OK;
};
