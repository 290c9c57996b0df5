// The browser's leaf filters: name pattern, data type and access rights (template 135).
// They apply to the tree built at the next connect.
#pragma once
#include <memory>

#include "Dialog.h"
#include "PropertyList.h"
#include "resource.h"

class COpcServer;

class CBrowseOptionDlg : public CDialog {
 public:
  CBrowseOptionDlg(COpcServer* pServer, HWND hParent = nullptr);

  // Runs modally, owned by the parent given to the constructor unless another is named.
  INT_PTR DoModal(HWND hOwner = nullptr) { return CDialog::DoModal(hOwner ? hOwner : m_hParent); }

  CPropertyList m_wndPropList;
  COpcServer* m_pServerObj;

 protected:
  BOOL OnInitDialog() override;
  void OnOK() override;
  void DoDataExchange(CDataExchange* pDX) override;

 private:
  // Three rows and the spacer, which sits in three list positions but is freed once.
  std::unique_ptr<CPropertyRow> m_rows[4];
  HWND m_hParent;
};
