// What the two views ask of the main frame. The frame is the only window that knows both
// views: the item list reaches the client core, and the browse tree reaches the item list,
// only through these operations. Each one does nothing (or returns the stated empty result)
// when the pane it needs is missing.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

#include "OpcItemProperties.h"
#include "OpcStatus.h"
#include "opcda.h"

class COpcGroup;
class COpcItem;

class IViewFrame {
 public:
  virtual ~IViewFrame() = default;

  // Through the browse view's client core.
  virtual std::wstring GetValueText(const COpcItem* item) = 0;      // "" when missing
  virtual std::wstring GetValueTypeText(const COpcItem* item) = 0;  // "" when missing
  virtual COpcGroup* SelectGroup(OPCHANDLE group) = 0;              // none when missing
  virtual COpcGroup* GetGroup(OPCHANDLE group) = 0;                 // none when missing
  virtual BOOL RemoveGroup(OPCHANDLE group) = 0;                    // force off; 0 when missing
  virtual BOOL RemoveItem(COpcItem* item) = 0;                      // 0 when missing
  // The live record of an item client handle; none when it is gone or the pane is missing.
  virtual COpcItem* ResolveItem(OPCHANDLE hClient) = 0;
  virtual void GetItemAttributes(const COpcItem* item, ItemAttributeText& info) = 0;
  // Every item's active flag in one pass, by item client handle; empty when missing.
  virtual void GetGroupActiveStates(OPCHANDLE group, ItemActiveMap& byClient) = 0;
  // The server's item properties as rows; none when missing or unsupported.
  virtual void GetItemProperties(const COpcItem* item, std::vector<OpcPropertyRow>& rows) = 0;
  virtual HRESULT SetItemActive(COpcItem* item, BOOL active) = 0;  // E_FAIL when missing
  // One server call per group; errors gets each item's result (all E_FAIL when missing).
  virtual HRESULT SetItemsActive(const std::vector<COpcItem*>& items, BOOL active,
                                 std::vector<HRESULT>& errors) = 0;
  virtual BOOL ReadCache(COpcItem* item) = 0;
  virtual BOOL ReadDevice(COpcItem* item) = 0;
  virtual BOOL AsyncReadCache(COpcItem* item) = 0;
  virtual BOOL AsyncReadDevice(COpcItem* item) = 0;
  virtual BOOL RefreshCache() = 0;
  virtual BOOL RefreshDevice() = 0;
  // On failure *reason (if given) names the item and says why: the server's text for the
  // call's or the item's code, or why the text did not convert.
  virtual BOOL WriteSync(COpcItem* item, const std::wstring& text, std::wstring* reason) = 0;
  virtual BOOL WriteAsync(COpcItem* item, const std::wstring& text, std::wstring* reason) = 0;

  // The disconnect command's flow: the item list emptied first, then the server let go.
  virtual void DisconnectServer() = 0;
  // The connected server is lost (text says how; shutdownRequest: at its own request).
  // True when the frame keeps the rows and connects again by itself; false leaves the
  // disconnect and its box to the caller.
  virtual bool ReconnectAfterLoss(bool shutdownRequest, const std::wstring& text) = 0;

  // To the item list view.
  // Sends WM_OPC_ITEMADDED (wParam the group's client handle, lParam the item).
  virtual void OnItemAdded(OPCHANDLE group, COpcItem* item) = 0;
  // Makes the item's row the list's hot item.
  virtual void HighlightItem(const COpcItem* item) = 0;
  // Sends WM_OPC_GROUPDATA with wParam and lParam passed through.
  virtual void OnGroupData(WPARAM wParam, LPARAM lParam) = 0;
};

// The frame of a view's window, if it offers the operations above.
IViewFrame* GetViewFrame(HWND hView);
