// Read-only status of the connected server (template 134).
#pragma once
#include <memory>

#include "Dialog.h"
#include "PropertyList.h"
#include "resource.h"

struct ServerStatusText;

class CServerPropertyDlg : public CDialog {
 public:
  // The record stays the caller's and must outlive the dialog.
  explicit CServerPropertyDlg(ServerStatusText* pStatus, HWND hParent = nullptr);

  // Runs modally, owned by the parent given to the constructor unless another is named.
  INT_PTR DoModal(HWND hOwner = nullptr) { return CDialog::DoModal(hOwner ? hOwner : m_hParent); }

  CPropertyList m_wndPropList;

 protected:
  BOOL OnInitDialog() override;
  void DoDataExchange(CDataExchange* pDX) override;

 private:
  // Eight rows and the spacer, which sits in six list positions but is freed once.
  std::unique_ptr<CPropertyRow> m_rows[9];
  ServerStatusText* m_pStatus;
  HWND m_hParent;
};
