// Dialog plumbing: the real modal loop, data exchange with validation, and the About box.
#include "AboutDlg.h"

#include <commctrl.h>

#include <cstdlib>

#include "PloverView.h"
#include "AppFixture.h"
#include "CreditTexts.h"
#include "InputDlg.h"
#include "RecentFileList.h"

namespace {

void CALLBACK GiveUp(HWND h, UINT, UINT_PTR, DWORD) {
  ::EndDialog(h, 12345);
}

// The About box, closed by an Esc key press once it is up; a timer ends it otherwise.
class EscapedAboutDlg : public CAboutDlg {
 protected:
  BOOL OnInitDialog() override {
    CAboutDlg::OnInitDialog();
    ::SetTimer(m_hWnd, 1, 5000, GiveUp);
    ::PostMessageW(m_hWnd, WM_KEYDOWN, VK_ESCAPE, 0);
    return TRUE;
  }
};

using DialogTest = AppFixture;

TEST_F(DialogTest, AboutBoxHasNoButtonsAndEscClosesIt) {
  EscapedAboutDlg dlg;
  EXPECT_EQ(IDCANCEL, dlg.RunModalLoop(nullptr));
  EXPECT_EQ(nullptr, dlg.m_hWnd);

  // The template: caption, credits static "Static" at 1011, link static at 1012, no buttons.
  CAboutDlg shown;
  ASSERT_TRUE(shown.Create(nullptr));
  EXPECT_EQ(L"关于 Plover", shown.GetWindowText());
  wchar_t text[32] = {};
  ::GetDlgItemTextW(shown.m_hWnd, IDC_CREDITS, text, 32);
  EXPECT_STREQ(L"Static", text);
  EXPECT_NE(nullptr, shown.GetDlgItem(IDC_HYPERLINK));
  EXPECT_EQ(nullptr, shown.GetDlgItem(IDOK));
  EXPECT_EQ(nullptr, shown.GetDlgItem(IDCANCEL));
  RECT rc{0, 0, 330, 116};
  ::MapDialogRect(shown.m_hWnd, &rc);
  RECT client{};
  ::GetClientRect(shown.m_hWnd, &client);
  EXPECT_EQ(rc.right, client.right);
  EXPECT_EQ(rc.bottom, client.bottom);

  // The link to the maker and the credits, scrolling endlessly from the About text.
  EXPECT_EQ(shown.GetDlgItem(IDC_HYPERLINK), shown.m_link.m_hWnd);
  EXPECT_EQ(std::wstring(kMakerWebAddress), shown.m_link.GetLinkAddress());
  EXPECT_EQ(std::wstring(kMakerWebAddress), shown.m_link.GetWindowText());
  EXPECT_NE(std::wstring::npos, shown.m_link.GetLinkAddress().find(L".example"));
  EXPECT_EQ(shown.GetDlgItem(IDC_CREDITS), shown.m_credits.m_hWnd);
  EXPECT_TRUE(shown.m_credits.GetState().scrolling);
  const std::vector<std::wstring>& lines = shown.m_credits.GetLines();
  ASSERT_EQ(18u, lines.size());
  EXPECT_EQ(L'\t', lines[0].back()) << "the maker's name, a title";
  EXPECT_EQ(L"", lines[1]);
  EXPECT_EQ(L"167^", lines[2]);
  for (size_t i = 3; i < 13; i += 2) {
    EXPECT_EQ(L'\r', lines[i].back()) << i;
    EXPECT_EQ(L"", lines[i + 1]) << i;
  }
  EXPECT_EQ(L"http://www.larkspur.example/", lines[13]);
  EXPECT_EQ(L"", lines[14]);
  EXPECT_NE(std::wstring::npos, lines[15].find(L"@larkspur.example"));
  EXPECT_EQ(L"", lines[16]);
  EXPECT_EQ(L"", lines[17]);
  for (int i = 0; i < 15; ++i)
    ::SendMessageW(shown.m_credits.m_hWnd, WM_TIMER, CCreditsCtrl::kTimerId, 0);
  EXPECT_EQ(40, shown.m_credits.GetState().lineHeight) << "title lines 40 high";
  HBITMAP hImage = shown.m_credits.GetImage();
  ASSERT_NE(nullptr, hImage);
  HDC hMem = ::CreateCompatibleDC(nullptr);
  HGDIOBJ hOld = ::SelectObject(hMem, hImage);
  EXPECT_EQ(RGB(82, 107, 132), ::GetPixel(hMem, 0, 0)) << "the ramp starts at the background";
  RECT credits{};
  ::GetClientRect(shown.m_credits.m_hWnd, &credits);
  EXPECT_EQ(RGB(0, 0, 0), ::GetPixel(hMem, credits.right - 1, 0)) << "and ends black";
  ::SelectObject(hMem, hOld);
  ::DeleteDC(hMem);
  shown.DestroyWindow();
}

TEST_F(DialogTest, DialogsOpenCentredOverTheirOwnerAndTheAboutBoxRepaintsWhatItCovered) {
  ASSERT_TRUE(Start());
  HWND hFrame = Frame()->m_hWnd;
  auto centre = [](HWND h) {
    RECT rc{};
    ::GetWindowRect(h, &rc);
    return POINT{(rc.left + rc.right) / 2, (rc.top + rc.bottom) / 2};
  };
  CAboutDlg about;
  ASSERT_TRUE(about.Create(hFrame));
  POINT a = centre(about.m_hWnd), f = centre(hFrame);
  EXPECT_LE(std::abs(a.x - f.x), 1) << "centred across its owner, not at the screen's corner";
  EXPECT_LE(std::abs(a.y - f.y), 1);

  // Put where it covers the item list's headings, shown, then closed: the headings are to be
  // painted again.
  HWND hHeader =
      reinterpret_cast<HWND>(::SendMessageW(Frame()->GetItemView()->m_hWnd, LVM_GETHEADER, 0, 0));
  ASSERT_NE(nullptr, hHeader);
  RECT headings{};
  ::GetWindowRect(hHeader, &headings);
  ::SetWindowPos(about.m_hWnd, nullptr, headings.left + 10, headings.top - 20, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_SHOWWINDOW);
  Pump();
  ::RedrawWindow(hFrame, nullptr, nullptr, RDW_VALIDATE | RDW_NOERASE | RDW_ALLCHILDREN);
  RECT dirty{};
  ASSERT_FALSE(::GetUpdateRect(hHeader, &dirty, FALSE));
  about.DestroyWindow();
  EXPECT_TRUE(::GetUpdateRect(hHeader, &dirty, FALSE)) << "the headings under the box";

  // A box whose owner is near the screen's edge stays on the screen.
  HWND hSmall = ::CreateWindowExW(
      0, L"STATIC", L"", WS_POPUP | WS_VISIBLE, ::GetSystemMetrics(SM_CXSCREEN) - 40,
      ::GetSystemMetrics(SM_CYSCREEN) - 30, 30, 20, nullptr, nullptr, nullptr, nullptr);
  CAboutDlg edge;
  ASSERT_TRUE(edge.Create(hSmall));
  RECT rc{}, work{};
  ::GetWindowRect(edge.m_hWnd, &rc);
  ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
  EXPECT_LE(rc.right, work.right);
  EXPECT_LE(rc.bottom, work.bottom);
  EXPECT_GE(rc.left, work.left);
  EXPECT_GE(rc.top, work.top);
  edge.DestroyWindow();
  ::DestroyWindow(hSmall);
}

TEST_F(DialogTest, InputBoxNamesTheItemAndStartsFromItsValueSelectedInTheBox) {
  CInputDlg input;
  input.m_strItemId = L"Signals.Ramp";
  input.m_strInput = L"-1.5";
  INT_PTR result = DriveDialog(input, nullptr, [](HWND hDlg) {
    HWND hEdit = ::GetDlgItem(hDlg, IDC_INPUT_VALUE);
    wchar_t text[64] = {};
    ::GetDlgItemTextW(hDlg, IDC_INPUT_ITEM, text, 64);
    EXPECT_STREQ(L"Signals.Ramp", text);
    ::GetWindowTextW(hEdit, text, 64);
    EXPECT_STREQ(L"-1.5", text);
    DWORD from = 1, to = 0;
    ::SendMessageW(hEdit, EM_GETSEL, reinterpret_cast<WPARAM>(&from),
                   reinterpret_cast<LPARAM>(&to));
    EXPECT_EQ(0u, from);
    EXPECT_EQ(4u, to);
    // The focus is in the box, not on the write button: a typed key replaces the value.
    ASSERT_EQ(hEdit, ::GetFocus());
    ::SendMessageW(::GetFocus(), WM_CHAR, L'w', 0);
    ::SendMessageW(hDlg, WM_COMMAND, IDOK, 0);
  });
  EXPECT_EQ(IDOK, result);
  EXPECT_EQ(L"w", input.m_strInput);
}

// Exchanges one member with the About box's credits static (any window text will do).
template <typename T>
class ExchangeDlg : public CDialog {
 public:
  ExchangeDlg() : CDialog(IDD_ABOUTBOX) {}
  T m_value{};

 protected:
  void DoDataExchange(CDataExchange* pDX) override { DDX_Text(pDX, IDC_CREDITS, m_value); }
};

template <typename T>
bool Exchange(ExchangeDlg<T>& dlg, const wchar_t* text) {
  ::SetDlgItemTextW(dlg.m_hWnd, IDC_CREDITS, text);
  return dlg.UpdateData(TRUE);
}

TEST_F(DialogTest, NumbersAreValidatedWholeAndInRange) {
  ExchangeDlg<int> i;
  ASSERT_TRUE(i.Create(nullptr));
  EXPECT_TRUE(Exchange(i, L" -7 "));
  EXPECT_EQ(-7, i.m_value);
  for (const wchar_t* bad : {L"12abc", L"", L"99999999999", L"1.5"}) {
    EXPECT_FALSE(Exchange(i, bad)) << bad;
    EXPECT_EQ(-7, i.m_value) << "a failed exchange leaves the member alone";
  }
  ASSERT_EQ(4u, m_runner.boxes.size());
  EXPECT_EQ(L"请输入一个整数。", m_runner.boxes[0].text);
  EXPECT_EQ(L"Plover", m_runner.boxes[0].caption);
  i.m_value = 1000;
  i.UpdateData(FALSE);
  wchar_t text[32] = {};
  ::GetDlgItemTextW(i.m_hWnd, IDC_CREDITS, text, 32);
  EXPECT_STREQ(L"1000", text);
  i.DestroyWindow();

  ExchangeDlg<DWORD> d;
  ASSERT_TRUE(d.Create(nullptr));
  EXPECT_TRUE(Exchange(d, L"4294967295"));
  EXPECT_EQ(4294967295u, d.m_value);
  EXPECT_FALSE(Exchange(d, L"-1")) << "no wrap-around to a huge rate";
  EXPECT_FALSE(Exchange(d, L"4294967296"));
  d.DestroyWindow();

  ExchangeDlg<double> f;
  ASSERT_TRUE(f.Create(nullptr));
  EXPECT_TRUE(Exchange(f, L"2.5"));
  EXPECT_DOUBLE_EQ(2.5, f.m_value);
  EXPECT_FALSE(Exchange(f, L"nan"));
  EXPECT_FALSE(Exchange(f, L"abc"));
  EXPECT_DOUBLE_EQ(2.5, f.m_value);
  f.DestroyWindow();
}

// What a test runner does with a dialog: fill in a field and press OK.
class RateDlg : public ExchangeDlg<DWORD> {
 public:
  BOOL m_bOkSeen = FALSE;

 protected:
  void OnOK() override {
    m_bOkSeen = TRUE;
    ExchangeDlg<DWORD>::OnOK();
  }
};

TEST_F(DialogTest, DriveDialogPressesButtonsAndReportsTheResult) {
  RateDlg dlg;
  dlg.m_value = 1000;
  INT_PTR result = DriveDialog(dlg, nullptr, [](HWND hDlg) {
    wchar_t text[16] = {};
    ::GetDlgItemTextW(hDlg, IDC_CREDITS, text, 16);
    EXPECT_STREQ(L"1000", text) << "initialised from the member";
    ::SetDlgItemTextW(hDlg, IDC_CREDITS, L"250");
    ::SendMessageW(hDlg, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
  });
  EXPECT_EQ(IDOK, result);
  EXPECT_TRUE(dlg.m_bOkSeen);
  EXPECT_EQ(250u, dlg.m_value);
  EXPECT_EQ(nullptr, dlg.m_hWnd);

  // Invalid input keeps the dialog open; the driver's end cancels it.
  RateDlg bad;
  result = DriveDialog(bad, nullptr, [](HWND hDlg) {
    ::SetDlgItemTextW(hDlg, IDC_CREDITS, L"fast");
    ::SendMessageW(hDlg, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    EXPECT_TRUE(::IsWindow(hDlg));
  });
  EXPECT_EQ(IDCANCEL, result);
  EXPECT_EQ(1u, m_runner.boxes.size());
}

TEST(RecentFileListTest, MenuTextShortensFilesOfTheCurrentDirectory) {
  CRecentFileList list(ID_FILE_MRU_FILE1, L"Recent File List", L"File%d", 4);
  list.Add(L"C:\\data\\a.plv");
  list.Add(L"C:\\other\\b&c.plv");
  list.Add(L"c:\\DATA\\A.PLV");  // the same file in other letters moves up, no duplicate
  ASSERT_EQ(2, list.GetSize());
  EXPECT_EQ(L"&1 A.PLV", list.GetMenuText(0, L"C:\\data\\"));
  EXPECT_EQ(L"&2 C:\\other\\b&&c.plv", list.GetMenuText(1, L"C:\\data"));
}

}  // namespace
