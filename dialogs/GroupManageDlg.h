// Creates, changes and deletes groups (template 136): an editable box of group
// IDs, the shown group's parameters in a property list, and four buttons.
// Changed and deleted groups are announced to the parent window (the main
// frame), which passes them on to the item list.
#pragma once
#include <memory>
#include <string>

#include "Dialog.h"
#include "PropertyList.h"
#include "resource.h"

class COpcServer;

class CGroupManageDlg : public CDialog {
 public:
  // The frame gives no parent: the messages then go to the dialog's owner.
  explicit CGroupManageDlg(COpcServer* pServerObj, HWND hParent = nullptr);
  ~CGroupManageDlg() override;

  // A group ID as typed: leading blanks, an optional sign, digits up to the
  // first other character; 0 without digits.
  static int ParseId(const std::wstring& text);

  CWnd m_wndGroupBox;
  CPropertyList m_wndPropList;
  std::wstring m_strGroupText;
  COpcServer* m_pServerObj;
  int m_nGroupIdShown = 0;

  // clang-format off
  BEGIN_MSG_MAP(CGroupManageDlg)
    COMMAND_HANDLER(IDC_GROUP_ID, CBN_SELCHANGE, OnGroupSelChange)
    COMMAND_HANDLER(IDC_GROUP_ID, CBN_EDITCHANGE, OnGroupEditChange)
    COMMAND_HANDLER(IDC_GROUP_CREATE, BN_CLICKED, OnCreateGroup)
    COMMAND_HANDLER(IDC_GROUP_DELETE, BN_CLICKED, OnDeleteGroup)
  END_MSG_MAP()
  // clang-format on

 protected:
  BOOL OnInitDialog() override;
  void DoDataExchange(CDataExchange* pDX) override;
  // Modify: acts on the group shown; the dialog stays open.
  void OnOK() override;

 private:
  enum { kName, kActive, kRequestedRate, kRevisedRate, kDeadband, kItemCount, kSpacer, kRows };

  LRESULT OnGroupSelChange(WORD, WORD, HWND, BOOL&);
  LRESULT OnGroupEditChange(WORD, WORD, HWND, BOOL&);
  LRESULT OnCreateGroup(WORD, WORD, HWND, BOOL&);
  LRESULT OnDeleteGroup(WORD, WORD, HWND, BOOL&);

  void UpdateButtons();
  void ShowGroup();
  void ClearRows();
  std::wstring ReadGroupText();
  std::wstring Row(int index) const { return m_wndPropList.GetRowValue(index); }
  int BoxCount() const;
  void Enable(int nID, BOOL bEnable) { ::EnableWindow(GetDlgItem(nID), bEnable); }
  HWND MessageTarget() const;

  std::unique_ptr<CPropertyRow> m_rows[kRows];
  HWND m_hParent;
};
