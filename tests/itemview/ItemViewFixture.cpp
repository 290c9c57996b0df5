#include "ItemViewFixture.h"

#include <commctrl.h>

#include "SimServer.h"

namespace {

CMainFrame* g_pFrame = nullptr;

// The data sink's window: its data messages go to the frame's operation for new group
// data, as the browse view passes them on.
LRESULT CALLBACK RelayProc(HWND h, UINT m, WPARAM w, LPARAM l) {
  if (m == WM_OPC_DATACHANGE && g_pFrame) {
    g_pFrame->OnGroupData(w, l);
    return 0;
  }
  return ::DefWindowProcW(h, m, w, l);
}

}  // namespace

INT_PTR ItemRunner::RunDialog(CDialog& dlg, HWND hOwner) {
  dialogs.push_back(dlg.m_nIDTemplate);
  return drive ? DriveDialog(dlg, hOwner, drive) : IDCANCEL;
}

BOOL ItemRunner::TrackPopupMenu(HMENU hMenu, UINT, POINT pt, HWND hOwner) {
  points.push_back(pt);
  std::vector<std::pair<std::wstring, UINT>> entries;
  for (int i = 0; i < ::GetMenuItemCount(hMenu); ++i) {
    UINT id = ::GetMenuItemID(hMenu, i);
    entries.emplace_back(id ? ReadMenuString(hMenu, i) : std::wstring(), id);
  }
  menus.push_back(entries);
  if (menuChoice) ::PostMessageW(hOwner, WM_COMMAND, menuChoice, 0);
  return TRUE;
}

PloverSimLiveCounts SimLiveCounts() {
  PloverSimLiveCounts counts = {};
  TComPtr<IPloverSimControl> control;
  if (SUCCEEDED(CreateSimServer(PLOVER_SIM_PROGID, control))) control->GetLiveCounts(&counts);
  return counts;
}

void ItemViewFixture::SetUp() {
  AppFixture::SetUp();
  SetModalRunner(&m_items);
}

void ItemViewFixture::TearDown() {
  m_control.Release();
  AppFixture::TearDown();
  g_pFrame = nullptr;
  if (m_hRelay) ::DestroyWindow(m_hRelay);
}

void ItemViewFixture::Connect() {
  ASSERT_TRUE(Start());
  g_pFrame = Frame();
  m_hRelay =
      ::CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
  ASSERT_NE(nullptr, m_hRelay);
  ::SetWindowLongPtrW(m_hRelay, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(RelayProc));
  ASSERT_TRUE(Server()->Initialize(m_hRelay));
  ASSERT_TRUE(Server()->Connect(PLOVER_SIM_PROGID, L""));
  ASSERT_TRUE(SUCCEEDED(m_control.QueryFrom(Server()->m_pServer.Get())));
  m_control->SetDeterministic(TRUE);
  Frame()->SetActiveView(List(), false);
}

void ItemViewFixture::AddGroup(OPCHANDLE handle, const std::wstring& name, BOOL active) {
  Server()->SetGroupActive(active);
  Server()->SetGroupUpdateRate(1000);
  ASSERT_GE(Server()->AddGroup(handle, name), 0) << name.c_str();
}

COpcItem* ItemViewFixture::AddItem(OPCHANDLE group, const std::wstring& itemId) {
  Server()->SelectGroup(group);
  COpcItem* item = Server()->AddItem(itemId);
  EXPECT_NE(nullptr, item) << itemId.c_str();
  if (item) Frame()->OnItemAdded(group, item);
  return item;
}

void ItemViewFixture::Step(DWORD ms) {
  m_control->AdvanceTime(ms);
  m_control->Flush();
  Pump();
}

int ItemViewFixture::Rows() const {
  return static_cast<int>(List()->SendMessage(LVM_GETITEMCOUNT));
}

std::wstring ItemViewFixture::Text(int row, int col) const {
  wchar_t buffer[256] = {};
  LVITEMW it{};
  it.iSubItem = col;
  it.pszText = buffer;
  it.cchTextMax = 256;
  List()->SendMessage(LVM_GETITEMTEXTW, row, reinterpret_cast<LPARAM>(&it));
  return buffer;
}

int ItemViewFixture::Image(int row) const {
  LVITEMW it{};
  it.mask = LVIF_IMAGE;
  it.iItem = row;
  List()->SendMessage(LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&it));
  return it.iImage;
}

void ItemViewFixture::Select(int row) {
  LVITEMW it{};
  it.stateMask = LVIS_SELECTED;
  List()->SendMessage(LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&it));
  if (row < 0) return;
  it.state = LVIS_SELECTED;
  List()->SendMessage(LVM_SETITEMSTATE, row, reinterpret_cast<LPARAM>(&it));
}
