// Adds one item to a group. With at most one group the dialog is never shown: PrepareAdd
// adds to that group directly. With two or more the user picks the group; when the server
// cannot browse, the user types the item ID.
#pragma once
#include <string>

#include "Dialog.h"
#include "resource.h"

class COpcItem;
class COpcServer;

class CAddTagDlg : public CDialog {
 public:
  CAddTagDlg(COpcServer* pServerObj, int nIndex)
      : CDialog(IDD_ADDTAG), m_pServerObj(pServerObj), m_nIndex(nIndex) {}

  // TRUE when the add was made (or refused by the server) without the dialog.
  BOOL PrepareAdd();
  std::wstring GetTagName() const { return m_strTagName; }
  int GetGroupId() const { return m_nGroupId; }
  COpcItem* GetAddedItem() const { return m_pItem; }

  std::wstring m_strTagName;
  COpcServer* m_pServerObj;
  int m_nIndex;      // the tree leaf's index into the browser's item IDs; 0 without browsing
  int m_nMode = -1;  // 1: name to be typed, 2: group to be chosen, 0: added
  int m_nGroupId = 0;
  COpcItem* m_pItem = nullptr;

 protected:
  BOOL OnInitDialog() override;
  void OnOK() override;
  void DoDataExchange(CDataExchange* pDX) override;
};
