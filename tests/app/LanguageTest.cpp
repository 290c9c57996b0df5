// The window program in both languages: the choice by command line and profile, the main
// window, the connect dialog and a message box, and the View menu's switch.
#include <windows.h>

#include <commctrl.h>

#include "AppFixture.h"
#include "BrowseView.h"
#include "Dialog.h"
#include "UiLanguage.h"
#include "resource.h"

namespace {

// Opens each dialog for real (invisible) and keeps its caption and the OK button's text.
class DialogTextRunner : public RecordingRunner {
 public:
  INT_PTR RunDialog(CDialog& dlg, HWND owner) override {
    dialogs.push_back(dlg.m_nIDTemplate);
    return DriveDialog(dlg, owner, [this](HWND h) {
      wchar_t buf[128] = {};
      ::GetWindowTextW(h, buf, 128);
      caption = buf;
      ::GetDlgItemTextW(h, IDOK, buf, 128);
      okText = buf;
    });
  }
  std::wstring caption, okText;
};

class LanguageTest : public AppFixture {
 protected:
  void SetUp() override {
    AppFixture::SetUp();
    SetModalRunner(&m_dialogs);
  }
  DialogTextRunner m_dialogs;
};

std::wstring MenuText(HMENU h, int pos) {
  return ReadMenuString(h, static_cast<UINT>(pos));
}

// The View menu's last entry, opened the way a click opens it (its check marks updated).
HMENU OpenLanguageMenu(HWND frame, HMENU view) {
  const int last = ::GetMenuItemCount(view) - 1;
  HMENU langs = ::GetSubMenu(view, last);
  ::SendMessageW(frame, WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(langs), MAKELPARAM(last, FALSE));
  return langs;
}

}  // namespace

TEST_F(LanguageTest, MainWindowConnectDialogAndBoxInEachLanguage) {
  struct {
    const wchar_t* cmdLine;
    const wchar_t* menu[4];
    const wchar_t* language;
    const wchar_t* idle;
    const wchar_t* caption;
    const wchar_t* ok;
    const wchar_t* box;
    const wchar_t* fault;
  } const rows[] = {
      {L"",
       {L"文件(&F)", L"Plover", L"查看(&V)", L"帮助(&H)"},
       L"语言(&L)",
       L"就绪",
       L"选择OPC服务器",
       L"确  定(&O)",
       L"无法打开工作区 ",
       L"第 1 行: 不是Plover工作区文件"},
      {L"/lang zh",
       {L"文件(&F)", L"Plover", L"查看(&V)", L"帮助(&H)"},
       L"语言(&L)",
       L"就绪",
       L"选择OPC服务器",
       L"确  定(&O)",
       L"无法打开工作区 ",
       L"第 1 行: 不是Plover工作区文件"},
      {L"/lang en",
       {L"&File", L"Plover", L"&View", L"&Help"},
       L"&Language",
       L"Ready",
       L"Select OPC Server",
       L"&OK",
       L"Cannot open the workspace ",
       L"Line 1: Not a Plover workspace file"},
      {L"-LANG EN",
       {L"&File", L"Plover", L"&View", L"&Help"},
       L"&Language",
       L"Ready",
       L"Select OPC Server",
       L"&OK",
       L"Cannot open the workspace ",
       L"Line 1: Not a Plover workspace file"},
  };
  const std::wstring bad = TempDir() + L"\\notes.plover";
  WriteFileText(bad, "just some notes\n");
  for (const auto& row : rows) {
    SCOPED_TRACE(testing::Message()
                 << "command line " << testing::PrintToString(std::wstring(row.cmdLine)));
    m_dialogs.boxes.clear();
    ASSERT_TRUE(Start(row.cmdLine + std::wstring(L" \"") + bad + L"\""));
    HMENU menu = ::GetMenu(Frame()->m_hWnd);
    ASSERT_EQ(4, ::GetMenuItemCount(menu));
    for (int i = 0; i < 4; ++i) EXPECT_EQ(row.menu[i], MenuText(menu, i)) << i;
    HMENU view = OpenPopup(2);
    const int last = ::GetMenuItemCount(view) - 1;
    EXPECT_EQ(row.language, MenuText(view, last));
    // The language names are the same in both menus, each in its own language.
    HMENU langs = OpenLanguageMenu(Frame()->m_hWnd, view);
    ASSERT_NE(nullptr, langs);
    EXPECT_EQ(L"English", MenuText(langs, 0));
    EXPECT_EQ(L"中文", MenuText(langs, 1));
    // Nothing saved yet: the next start is Chinese, whatever this one shows.
    EXPECT_EQ(MF_CHECKED, ::GetMenuState(langs, ID_VIEW_LANGUAGE_ZH, MF_BYCOMMAND) & MF_CHECKED);
    EXPECT_EQ(0u, ::GetMenuState(langs, ID_VIEW_LANGUAGE_EN, MF_BYCOMMAND) & MF_CHECKED);
    // Language-neutral resources are still found: the accelerators and the toolbar.
    EXPECT_EQ(14, ::CopyAcceleratorTableW(Frame()->m_hAccelTable, nullptr, 0));
    EXPECT_EQ(10, Frame()->GetToolBar().SendMessage(TB_BUTTONCOUNT, 0, 0));
    EXPECT_EQ(row.idle, Frame()->GetStatusBar().GetPaneText(0));
    // The box about the unreadable file, with the core's fault text in the same language.
    ASSERT_EQ(1u, m_dialogs.boxes.size());
    EXPECT_EQ(0u, m_dialogs.boxes[0].text.find(row.box + bad + L"\n" + row.fault))
        << testing::PrintToString(m_dialogs.boxes[0].text);
    Command(ID_OPC_CONNECT);
    ASSERT_EQ(IDD_SERVER_SELECT, m_dialogs.dialogs.back());
    EXPECT_EQ(row.caption, m_dialogs.caption);
    EXPECT_EQ(row.ok, m_dialogs.okText);
    Stop();
  }
}

TEST_F(LanguageTest, TheViewMenuSavesTheChoiceForTheNextStartAndTheCommandLineWins) {
  struct {
    const wchar_t* cmdLine;
    UINT choose;              // 0: nothing chosen in this run
    const wchar_t* file;      // the File menu's title this run
    const wchar_t* said;      // the box the choice brings (start of it)
    const wchar_t* firstBox;  // a box at start, or nullptr
  } const rows[] = {
      {L"", ID_VIEW_LANGUAGE_EN, L"文件(&F)", L"Plover will show its texts in English", nullptr},
      {L"", 0, L"&File", nullptr, nullptr},
      {L"/lang zh", 0, L"文件(&F)", nullptr, nullptr},
      // A word naming no language is said in the saved language, and the saved one shows.
      {L"/lang fr", ID_VIEW_LANGUAGE_ZH, L"&File", L"下次启动 Plover 时界面将使用中文",
       L"Unknown language 'fr': use /lang en or /lang zh"},
      {L"", 0, L"文件(&F)", nullptr, nullptr},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(testing::Message() << "row " << (&row - rows));
    m_dialogs.boxes.clear();
    ASSERT_TRUE(Start(row.cmdLine));
    EXPECT_EQ(row.file, ReadMenuString(::GetMenu(Frame()->m_hWnd), 0));
    ASSERT_EQ(row.firstBox ? 1u : 0u, m_dialogs.boxes.size());
    if (row.firstBox) {
      EXPECT_EQ(row.firstBox, m_dialogs.boxes[0].text);
    }
    if (row.choose) {
      Command(row.choose);
      ASSERT_FALSE(m_dialogs.boxes.empty());
      EXPECT_EQ(0u, m_dialogs.boxes.back().text.find(row.said));
      // The check moves at once; this run's texts stay as they are.
      HMENU langs = OpenLanguageMenu(Frame()->m_hWnd, OpenPopup(2));
      EXPECT_EQ(MF_CHECKED, ::GetMenuState(langs, row.choose, MF_BYCOMMAND) & MF_CHECKED);
      EXPECT_EQ(row.file, ReadMenuString(::GetMenu(Frame()->m_hWnd), 0));
    }
    Stop();
  }
}
