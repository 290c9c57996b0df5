// The IOPCDataCallback object every OPC DA 2.0 group is advised with, one for the whole
// group manager. It writes the values a server hands over into the same item records as
// the DA 1.0 sink and posts the same messages, so no view knows which way they came.
#pragma once
#include <windows.h>

#include "OpcDataSink.h"  // WM_OPC_DATACHANGE, WM_OPC_WRITEERROR
#include "opcda.h"

class CItemHandleTable;
class IOpcItemObserver;

class COpcDataCallback : public IOPCDataCallback {
 public:
  // Starts with no references; whoever creates it takes the first one.
  COpcDataCallback() = default;
  COpcDataCallback(const COpcDataCallback&) = delete;
  COpcDataCallback& operator=(const COpcDataCallback&) = delete;

  // IUnknown
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;

  // IOPCDataCallback. The arrays are the server's: values are copied, nothing is freed.
  HRESULT STDMETHODCALLTYPE OnDataChange(DWORD dwTransid, OPCHANDLE hGroup, HRESULT hrMasterquality,
                                         HRESULT hrMastererror, DWORD dwCount,
                                         OPCHANDLE* phClientItems, VARIANT* pvValues,
                                         WORD* pwQualities, FILETIME* pftTimeStamps,
                                         HRESULT* pErrors) override;
  HRESULT STDMETHODCALLTYPE OnReadComplete(DWORD dwTransid, OPCHANDLE hGroup,
                                           HRESULT hrMasterquality, HRESULT hrMastererror,
                                           DWORD dwCount, OPCHANDLE* phClientItems,
                                           VARIANT* pvValues, WORD* pwQualities,
                                           FILETIME* pftTimeStamps, HRESULT* pErrors) override;
  HRESULT STDMETHODCALLTYPE OnWriteComplete(DWORD dwTransid, OPCHANDLE hGroup, HRESULT hrMastererr,
                                            DWORD dwCount, OPCHANDLE* pClienthandles,
                                            HRESULT* pErrors) override;
  HRESULT STDMETHODCALLTYPE OnCancelComplete(DWORD dwTransid, OPCHANDLE hGroup) override;

  // Callbacks are ignored until a window is set.
  void SetNotifyWindow(HWND hWnd) { m_hNotifyWnd = hWnd; }
  // Where item client handles are resolved; cleared when the group manager goes, since a
  // server may keep this object alive longer.
  void SetItemTable(CItemHandleTable* table) { m_pItems = table; }
  // Told of each stored value and each write result; not counted, may be null.
  void SetItemObserver(IOpcItemObserver* observer) { m_pObserver = observer; }
  // When (COpcAliveCheck::Now()) the last OnDataChange came, keep-alives included; 0 none.
  ULONGLONG LastHeard() const { return m_lastHeard; }

 protected:
  virtual ~COpcDataCallback() = default;

 private:
  void StoreValues(OPCHANDLE hGroup, DWORD count, const OPCHANDLE* handles, const VARIANT* values,
                   const WORD* qualities, const FILETIME* times);

  ULONG m_cRef = 0;
  HWND m_hNotifyWnd = nullptr;
  CItemHandleTable* m_pItems = nullptr;
  IOpcItemObserver* m_pObserver = nullptr;
  ULONGLONG m_lastHeard = 0;
};
