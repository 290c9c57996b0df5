// What the client core shows the user, as small ports, so that the core holds no window
// code: the two widgets it fills (the views adapt the Win32 tree-view and list box to them,
// the tests use in-memory fakes), its message boxes and the sign that a long call runs (the
// window program shows boxes through its modal runner and the hourglass; the console client
// writes boxes to standard error; tests capture them).
#pragma once
#include <windows.h>

#include <cstdint>
#include <string>

#include "OpcUiText.h"

// A tree node; nullptr means "none" (or "top level" as a parent).
using OpcTreeNode = void*;

class IOpcTree {
 public:
  virtual ~IOpcTree() = default;
  virtual void DeleteAllItems() = 0;
  // Inserts at the last position under parent (nullptr: top level) with its data value, in
  // one step (a real tree-view pays per message); nullptr on failure.
  virtual OpcTreeNode InsertItem(const std::wstring& text, OpcTreeNode parent, int32_t data) = 0;
  virtual void SetItemData(OpcTreeNode node, int32_t data) = 0;
  virtual OpcTreeNode GetParentItem(OpcTreeNode node) = 0;
  virtual std::wstring GetItemText(OpcTreeNode node) = 0;
  virtual void SelectCaret(OpcTreeNode node) = 0;
  virtual void Expand(OpcTreeNode node) = 0;
  // The node has children that are not inserted yet: the tree shows that it can open, and
  // has its owner list them when it does.
  virtual void MarkExpandable(OpcTreeNode node) { (void)node; }
  // A short note for the user about the tree as a whole (e.g. that it is incomplete);
  // where it shows is the adapter's choice.
  virtual void ShowStatusText(const std::wstring& text) { (void)text; }
};

class IOpcServerList {
 public:
  virtual ~IOpcServerList() = default;
  virtual void ResetContent() = 0;
  virtual void AddString(const std::wstring& text) = 0;
  virtual int GetCount() = 0;
  virtual void SetCurSel(int index) = 0;
};

// Which window a core box belongs to: the core has none of its own, so it names the kind of
// owner and the program's port picks the window.
enum class OpcBoxOwner {
  None,          // a box of its own
  ActiveWindow,  // over whatever window the user is working in
};

// Returns the pressed button.
using OpcMessageBoxFn = int (*)(OpcBoxOwner owner, const std::wstring& text,
                                const std::wstring& caption, UINT type);

// Installs a replacement (nullptr restores the system message box); returns the previous one.
OpcMessageBoxFn SetOpcMessageBox(OpcMessageBoxFn fn);
int OpcMessageBox(OpcBoxOwner owner, const std::wstring& text, const std::wstring& caption,
                  UINT type);

// The application title every core message uses as caption.
inline constexpr const wchar_t* kOpcAppTitle = L"Plover";

// Told when a call that keeps the user waiting (a connect, a server list) begins and ends;
// calls nest. None by default: the console client and the tests show nothing.
class IOpcBusyIndicator {
 public:
  virtual ~IOpcBusyIndicator() = default;
  virtual void Begin() = 0;
  virtual void End() = 0;
};

// Installs the indicator (nullptr: none; not owned); returns the previous one.
IOpcBusyIndicator* SetOpcBusyIndicator(IOpcBusyIndicator* indicator);

// Busy for the life of the object.
class COpcBusyScope {
 public:
  COpcBusyScope();
  ~COpcBusyScope();
  COpcBusyScope(const COpcBusyScope&) = delete;
  COpcBusyScope& operator=(const COpcBusyScope&) = delete;

 private:
  IOpcBusyIndicator* m_pIndicator;  // the one told of the start is told of the end
};
