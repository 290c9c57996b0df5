// The advise sink every group's data object is advised with. It decodes the OPC DA 1.0
// streams straight into the item records and posts a message, so that views redraw later,
// outside the server's callback.
#pragma once
#include <windows.h>
#include <objidl.h>

#include "OpcStream.h"
#include "PloverMessages.h"

class CItemHandleTable;
class IOpcItemObserver;

class COpcDataSink : public IAdviseSink {
 public:
  // Starts with no references; whoever creates it takes the first one.
  COpcDataSink() = default;
  COpcDataSink(const COpcDataSink&) = delete;
  COpcDataSink& operator=(const COpcDataSink&) = delete;

  // IUnknown
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;

  // IAdviseSink
  void STDMETHODCALLTYPE OnDataChange(FORMATETC* pFormat, STGMEDIUM* pMedium) override;
  void STDMETHODCALLTYPE OnViewChange(DWORD, LONG) override {}
  void STDMETHODCALLTYPE OnRename(IMoniker*) override {}
  void STDMETHODCALLTYPE OnSave() override {}
  void STDMETHODCALLTYPE OnClose() override {}

  // Streams are ignored until a window is set.
  void SetNotifyWindow(HWND hWnd) { m_hNotifyWnd = hWnd; }
  // Where item client handles are resolved. The group manager sets it when it is built
  // and clears it when it goes: servers may keep the sink alive longer. Without a table,
  // data streams still post WM_OPC_DATACHANGE but update nothing.
  void SetItemTable(CItemHandleTable* table) { m_pItems = table; }
  // The value layout the server writes where its bitness is known; otherwise this build's
  // own. Each stream is still read in the other one when only that one fits it.
  void SetServerLayout(opcstream::Layout layout) { m_layout = layout; }
  // Told of each stored value and each write result; not counted, may be null.
  void SetItemObserver(IOpcItemObserver* observer) { m_pObserver = observer; }

 protected:
  virtual ~COpcDataSink() = default;

 private:
  void DecodeData(const BYTE* block, SIZE_T size);
  void DecodeWriteComplete(const BYTE* block, SIZE_T size);

  ULONG m_cRef = 0;
  HWND m_hNotifyWnd = nullptr;
  BOOL m_bTimeStamped = TRUE;  // must agree with the group manager, which always asks for time
  CItemHandleTable* m_pItems = nullptr;
  opcstream::Layout m_layout = opcstream::kOwnLayout;
  IOpcItemObserver* m_pObserver = nullptr;
};
