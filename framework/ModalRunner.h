// Every modal dialog, message box, common dialog and print dialog of the program goes through
// the current runner, so tests can answer them without a person.
#pragma once
#include <windows.h>
#include <commdlg.h>

#include <functional>
#include <string>

class CDialog;

class CModalRunner {
 public:
  virtual ~CModalRunner() = default;
  virtual int MessageBox(HWND hOwner, const std::wstring& text, const std::wstring& caption,
                         UINT nType);
  // Runs the dialog's modal loop; returns the code passed to EndDialog.
  virtual INT_PTR RunDialog(CDialog& dlg, HWND hOwner);
  virtual BOOL GetFileName(OPENFILENAMEW& ofn, BOOL bOpen);
  virtual BOOL PrintDialog(PRINTDLGW& pd);
  virtual BOOL ChooseColor(CHOOSECOLORW& cc);
  virtual BOOL ChooseFont(CHOOSEFONTW& cf);
  // A context menu's own modal loop; the chosen command goes to hOwner as WM_COMMAND.
  virtual BOOL TrackPopupMenu(HMENU hMenu, UINT nFlags, POINT pt, HWND hOwner);
};

CModalRunner& GetModalRunner();
// Installs a runner (nullptr restores the real one); returns the previous one.
CModalRunner* SetModalRunner(CModalRunner* pRunner);

// For test runners: shows the dialog modeless (invisible unless its template says otherwise),
// lets drive set controls and press buttons (by sending WM_COMMAND to the dialog), and
// returns what the dialog ended with; a dialog still open afterwards is cancelled.
INT_PTR DriveDialog(CDialog& dlg, HWND hOwner, const std::function<void(HWND hDlg)>& drive);

// The program's message box: always captioned with the application title ("Plover"),
// owned by the main window.
int AfxMessageBox(const std::wstring& text, UINT nType = MB_OK);
