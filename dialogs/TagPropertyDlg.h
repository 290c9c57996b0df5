// Read-only properties of one item and of its group (template 131).
#pragma once
#include <memory>

#include "Dialog.h"
#include "PropertyList.h"
#include "resource.h"

class COpcGroup;
struct ItemAttributeText;

class CTagPropertyDlg : public CDialog {
 public:
  // The records stay the caller's and must outlive the dialog; either may be null (the list
  // then stays empty).
  CTagPropertyDlg(COpcGroup* pGroup, ItemAttributeText* pAttributes, HWND hParent = nullptr);

  // Runs modally, owned by the parent given to the constructor unless another is named.
  INT_PTR DoModal(HWND hOwner = nullptr) { return CDialog::DoModal(hOwner ? hOwner : m_hParent); }

  CPropertyList m_wndPropList;

 protected:
  BOOL OnInitDialog() override;
  void DoDataExchange(CDataExchange* pDX) override;

 private:
  COpcGroup* m_pGroup;
  // Ten rows and the spacer, which sits in four list positions but is freed once.
  std::unique_ptr<CPropertyRow> m_rows[11];
  ItemAttributeText* m_pAttributes;
  HWND m_hParent;
};
