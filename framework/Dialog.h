// Dialogs over resource templates: modal (through the modal runner), modeless (dialog bars),
// with data exchange between controls and members.
#pragma once
#include "Wnd.h"

class CDataExchange {
 public:
  CDataExchange(HWND hDlg, BOOL bSave) : m_hDlg(hDlg), m_bSaveAndValidate(bSave) {}
  // Marks the exchange failed and puts the focus on the offending control.
  void Fail(int nIDC);
  HWND m_hDlg;
  BOOL m_bSaveAndValidate;
  BOOL m_bFailed = FALSE;
};

void DDX_Text(CDataExchange* pDX, int nIDC, std::wstring& value);
void DDX_Text(CDataExchange* pDX, int nIDC, int& value);
void DDX_Text(CDataExchange* pDX, int nIDC, DWORD& value);
void DDX_Text(CDataExchange* pDX, int nIDC, double& value);
void DDX_Text(CDataExchange* pDX, int nIDC, float& value);
void DDX_Check(CDataExchange* pDX, int nIDC, int& value);
void DDX_CBIndex(CDataExchange* pDX, int nIDC, int& index);
void DDX_CBString(CDataExchange* pDX, int nIDC, std::wstring& value);
void DDX_LBIndex(CDataExchange* pDX, int nIDC, int& index);
// Subclasses the control into the object the first time (loading), nothing when saving.
void DDX_Control(CDataExchange* pDX, int nIDC, CWnd& control);

// Centres a pop-up over its owner (the screen when it has none), kept inside the work area.
void CenterOverOwner(HWND hWnd);

class CDialog : public CWnd {
 public:
  explicit CDialog(UINT nIDTemplate) : m_nIDTemplate(nIDTemplate) {}

  // Modal: through the modal runner. Returns IDOK, IDCANCEL or what EndDialog was given.
  INT_PTR DoModal(HWND hOwner = nullptr);
  // The real modal loop; the runner calls this unless a test drives the dialog itself.
  INT_PTR RunModalLoop(HWND hOwner);
  // Modeless, as a child or an owned pop-up, depending on the template's style.
  BOOL Create(HWND hParent);
  void EndDialog(INT_PTR nResult);
  BOOL UpdateData(BOOL bSaveAndValidate = TRUE);
  HWND GetDlgItem(int nIDC) const { return ::GetDlgItem(m_hWnd, nIDC); }

  UINT m_nIDTemplate;
  INT_PTR m_nModalResult = -1;

 protected:
  virtual BOOL OnInitDialog();
  virtual void OnOK();
  virtual void OnCancel();
  virtual void DoDataExchange(CDataExchange*) {}
  LRESULT WindowProc(UINT uMsg, WPARAM wParam, LPARAM lParam) override;

 private:
  static INT_PTR CALLBACK StaticDlgProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam);
  BOOL m_bModal = FALSE;
};
