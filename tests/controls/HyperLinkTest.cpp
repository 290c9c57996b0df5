// The hyperlink on real statics: attaching (style, caption and address, underlined font, fit
// to text, tooltip, hand cursor), hover capture and colours, clicks through a replaceable
// opener, the web-page handler fallback read from a private HKEY_CLASSES_ROOT, every error text.
#include "AppFixture.h"
#include "ControlsTestSupport.h"
#include "HyperLink.h"

#include <commctrl.h>
#include <shellapi.h>

namespace {

class FakeOpener : public CLinkOpener {
 public:
  int shellResult = SE_ERR_NOASSOC;
  int runResult = 33;
  std::vector<std::wstring> opened, commands;
  int ShellOpen(const std::wstring& address, int) override {
    opened.push_back(address);
    return shellResult;
  }
  int RunCommand(const std::wstring& commandLine, int) override {
    commands.push_back(commandLine);
    return runResult;
  }
};

class HyperLinkTest : public AppFixture {
 protected:
  void SetUp() override {
    AppFixture::SetUp();
    // HKEY_CLASSES_ROOT of this process becomes an empty key of the test's own.
    ASSERT_EQ(ERROR_SUCCESS, ::RegCreateKeyExW(HKEY_CURRENT_USER, L"Classes", 0, nullptr, 0,
                                               KEY_ALL_ACCESS, nullptr, &m_hClasses, nullptr));
    ASSERT_EQ(ERROR_SUCCESS, ::RegOverridePredefKey(HKEY_CLASSES_ROOT, m_hClasses));
    SetLinkOpener(&m_opener);
  }
  void TearDown() override {
    SetLinkOpener(nullptr);
    ::RegOverridePredefKey(HKEY_CLASSES_ROOT, nullptr);
    if (m_hClasses) ::RegCloseKey(m_hClasses);
    AppFixture::TearDown();
  }
  void SetDefault(const std::wstring& key, const std::wstring& value) {
    ASSERT_EQ(ERROR_SUCCESS,
              ::RegSetKeyValueW(m_hClasses, key.c_str(), nullptr, REG_SZ, value.c_str(),
                                static_cast<DWORD>((value.size() + 1) * 2)));
  }
  // The colour and brush the link asks for when its parent is about to draw it.
  COLORREF AskColour(HWND hParent, HWND hLink) {
    HDC hdc = ::CreateCompatibleDC(nullptr);
    LRESULT brush = ::SendMessageW(hParent, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(hdc),
                                   reinterpret_cast<LPARAM>(hLink));
    EXPECT_EQ(reinterpret_cast<LRESULT>(::GetStockObject(HOLLOW_BRUSH)), brush);
    EXPECT_EQ(TRANSPARENT, ::GetBkMode(hdc));
    COLORREF cr = ::GetTextColor(hdc);
    ::DeleteDC(hdc);
    return cr;
  }
  HKEY m_hClasses = nullptr;
  FakeOpener m_opener;
};

TEST_F(HyperLinkTest, AttachFitsTheTextAndTheLinkFollowsThePointerAndClicks) {
  CTestHost host;
  ASSERT_TRUE(host.Create(400, 200));
  ::ShowWindow(host.m_hWnd, SW_SHOWNOACTIVATE);
  HFONT hFont = ::CreateFontW(-15, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, 0, 0,
                              0, 0, L"Arial");
  const struct {
    DWORD style;
    const wchar_t* caption;
    const wchar_t* preset;  // address set before attaching
  } statics[] = {{SS_LEFT, L"Left link", nullptr},
                 {SS_CENTER | SS_CENTERIMAGE, L"", L"http://centre.example/"},
                 {SS_RIGHT, L"Right", nullptr}};
  const RECT box{20, 30, 320, 70};
  CHyperLink links[3];
  for (int i = 0; i < 3; ++i) {
    const auto& s = statics[i];
    HWND h = ::CreateWindowExW(0, L"STATIC", s.caption, WS_CHILD | WS_VISIBLE | s.style, box.left,
                               box.top, box.right - box.left, box.bottom - box.top, host.m_hWnd,
                               reinterpret_cast<HMENU>(static_cast<UINT_PTR>(100 + i)), nullptr,
                               nullptr);
    ::SendMessageW(h, WM_SETFONT, reinterpret_cast<WPARAM>(hFont), FALSE);
    CHyperLink& link = links[i];
    if (s.preset) link.SetLinkAddress(s.preset);
    ASSERT_TRUE(link.SubclassWindow(h));

    const std::wstring address = s.preset ? s.preset : s.caption;
    EXPECT_EQ(address, link.GetLinkAddress());
    EXPECT_EQ(address, link.GetWindowText()) << "an empty caption shows the address";
    EXPECT_TRUE(link.GetStyle() & SS_NOTIFY);
    LOGFONTW lf{}, base{};
    ::GetObjectW(link.GetLinkFont(), sizeof(lf), &lf);
    ::GetObjectW(hFont, sizeof(base), &base);
    EXPECT_TRUE(lf.lfUnderline);
    EXPECT_EQ(base.lfHeight, lf.lfHeight);
    EXPECT_EQ(reinterpret_cast<LRESULT>(link.GetLinkFont()), link.SendMessage(WM_GETFONT));

    HDC hdc = ::GetDC(h);
    HGDIOBJ hOld = ::SelectObject(hdc, link.GetLinkFont());
    SIZE sz{};
    ::GetTextExtentPoint32W(hdc, address.c_str(), static_cast<int>(address.size()), &sz);
    ::SelectObject(hdc, hOld);
    ::ReleaseDC(h, hdc);
    RECT want = {box.left, box.top, box.left + sz.cx, box.top + sz.cy};
    if (i == 1) {
      int dx = (box.right - box.left - sz.cx) / 2, dy = (box.bottom - box.top - sz.cy) / 2;
      want = {box.left + dx, box.top + dy, box.right - dx, box.bottom - dy};
    } else if (i == 2) {
      want.left = box.right - sz.cx;
      want.right = box.right;
    }
    RECT got{};
    ::GetWindowRect(h, &got);
    ::MapWindowPoints(nullptr, host.m_hWnd, reinterpret_cast<POINT*>(&got), 2);
    EXPECT_TRUE(::EqualRect(&want, &got))
        << i << ": " << got.left << "," << got.top << "," << got.right << "," << got.bottom;

    ASSERT_NE(nullptr, link.GetToolTip());
    EXPECT_EQ(1, ::SendMessageW(link.GetToolTip(), TTM_GETTOOLCOUNT, 0, 0));
    wchar_t tip[128] = {};
    TTTOOLINFOW ti{};
    ti.cbSize = TTTOOLINFOW_V2_SIZE;
    ti.hwnd = h;
    ti.uId = CHyperLink::kToolId;
    ti.lpszText = tip;
    ::SendMessageW(link.GetToolTip(), TTM_GETTEXTW, 128, reinterpret_cast<LPARAM>(&ti));
    EXPECT_EQ(address, std::wstring(tip));
    ASSERT_NE(nullptr, link.GetHandCursor());
  }

  // The pointer: onto the text, around on it, off it.
  CHyperLink& link = links[0];
  EXPECT_TRUE(link.SendMessage(WM_SETCURSOR, reinterpret_cast<WPARAM>(link.m_hWnd), HTCLIENT));
  EXPECT_EQ(link.GetHandCursor(), ::GetCursor());
  EXPECT_EQ(CHyperLink::kUnvisitedColor, AskColour(host.m_hWnd, link.m_hWnd));
  link.SendMessage(WM_MOUSEMOVE, 0, MAKELPARAM(2, 2));
  EXPECT_TRUE(link.IsHovering());
  EXPECT_EQ(link.m_hWnd, ::GetCapture());
  EXPECT_EQ(::GetSysColor(COLOR_HIGHLIGHT), AskColour(host.m_hWnd, link.m_hWnd));
  link.SendMessage(WM_MOUSEMOVE, 0, MAKELPARAM(3, 4));
  EXPECT_TRUE(link.IsHovering());
  EXPECT_EQ(link.m_hWnd, ::GetCapture());
  link.SendMessage(WM_MOUSEMOVE, 0, MAKELPARAM(-5, 300));
  EXPECT_FALSE(link.IsHovering());
  EXPECT_EQ(nullptr, ::GetCapture());
  EXPECT_EQ(CHyperLink::kUnvisitedColor, AskColour(host.m_hWnd, link.m_hWnd));
  // A window that takes the pointer away ends the hover too.
  link.SendMessage(WM_MOUSEMOVE, 0, MAKELPARAM(2, 2));
  ::SetCapture(host.m_hWnd);
  EXPECT_FALSE(link.IsHovering());
  ::ReleaseCapture();

  // Clicks, as the static reports them to its parent.
  auto click = [&] {
    ::SendMessageW(host.m_hWnd, WM_COMMAND, MAKEWPARAM(100, STN_CLICKED),
                   reinterpret_cast<LPARAM>(link.m_hWnd));
  };
  m_opener.shellResult = 42;
  click();
  ASSERT_EQ(1u, m_opener.opened.size());
  EXPECT_EQ(L"Left link", m_opener.opened[0]) << "a static with a caption opens its caption";
  EXPECT_TRUE(link.IsVisited());
  EXPECT_EQ(CHyperLink::kVisitedColor, AskColour(host.m_hWnd, link.m_hWnd));
  EXPECT_TRUE(m_runner.boxes.empty());
  m_opener.shellResult = SE_ERR_NOASSOC;  // and no web-page handler registered
  click();
  EXPECT_FALSE(link.IsVisited()) << "a failed open clears the visited state";
  EXPECT_EQ(CHyperLink::kUnvisitedColor, AskColour(host.m_hWnd, link.m_hWnd));
  EXPECT_TRUE(m_opener.commands.empty());
  ASSERT_EQ(1u, m_runner.boxes.size());
  EXPECT_EQ(
      L"Unable to open hyperlink:\n\nThere is no application associated\nwith the given "
      L"filename extension.",
      m_runner.boxes[0].text);
  EXPECT_EQ(static_cast<UINT>(MB_OK | MB_ICONEXCLAMATION), m_runner.boxes[0].type);

  host.DestroyWindow();
  EXPECT_EQ(nullptr, links[0].GetLinkFont()) << "freed with the window";
  ::DeleteObject(hFont);
}

TEST_F(HyperLinkTest, FallbackRunsTheWebPageHandlerCutAtItsPlaceholder) {
  const std::wstring address = L"http://www.larkspur.example/";
  SetDefault(L".htm", L"PloverTestPage");
  const struct {
    const wchar_t* commandTemplate;
    std::wstring commandLine;
  } cases[] = {
      {L"\"C:\\Web\\browser.exe\" \"%1\"", L"\"C:\\Web\\browser.exe\"  " + address},
      {L"C:\\Web\\browser.exe %1 -new", L"C:\\Web\\browser.exe  " + address},
      {L"C:\\Web\\browser.exe -nohome", L"C:\\Web\\browser.exe -nohome " + address},
      {L"browser.exe %1 \"%1\"", L"browser.exe %1  " + address},
  };
  for (const auto& c : cases) {
    SetDefault(L"PloverTestPage\\shell\\open\\command", c.commandTemplate);
    EXPECT_EQ(33, CHyperLink::OpenLinkAddress(address, SW_SHOWNORMAL)) << c.commandTemplate;
    ASSERT_FALSE(m_opener.commands.empty());
    EXPECT_EQ(c.commandLine, m_opener.commands.back());
  }
  EXPECT_EQ(address, m_opener.opened.back()) << "the shell is asked first";
  m_opener.runResult = ERROR_FILE_NOT_FOUND;
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, CHyperLink::OpenLinkAddress(address, SW_SHOWNORMAL));

  // Whatever would not fit is not run at all: the shell's result stands.
  const size_t runs = m_opener.commands.size();
  SetDefault(L"PloverTestPage\\shell\\open\\command", L"C:\\" + std::wstring(250, L'b') + L" %1");
  EXPECT_EQ(SE_ERR_NOASSOC,
            CHyperLink::OpenLinkAddress(address + std::wstring(300, L'x'), SW_SHOWNORMAL));
  SetDefault(L"PloverTestPage\\shell\\open\\command", std::wstring(260, L'c'));
  std::wstring value;
  EXPECT_EQ(ERROR_MORE_DATA,
            CHyperLink::ReadClassesRootDefault(HKEY_CLASSES_ROOT,
                                               L"PloverTestPage\\shell\\open\\command", value));
  EXPECT_EQ(SE_ERR_NOASSOC, CHyperLink::OpenLinkAddress(address, SW_SHOWNORMAL));
  EXPECT_EQ(runs, m_opener.commands.size());
  SetDefault(L"PloverTestPage\\shell\\open\\command", std::wstring(259, L'c'));
  EXPECT_EQ(0, CHyperLink::ReadClassesRootDefault(HKEY_CLASSES_ROOT,
                                                  L"PloverTestPage\\shell\\open\\command", value));
  EXPECT_EQ(std::wstring(259, L'c'), value);
  ASSERT_EQ(ERROR_SUCCESS, ::RegDeleteTreeW(m_hClasses, L".htm"));
  m_opener.shellResult = SE_ERR_FNF;
  EXPECT_EQ(SE_ERR_FNF, CHyperLink::OpenLinkAddress(address, SW_SHOWNORMAL)) << "no handler";
  EXPECT_EQ(runs, m_opener.commands.size());

  // The real shell and process start, on things that do not exist: both fail, nothing runs.
  SetLinkOpener(nullptr);
  SetDefault(L".htm", L"PloverTestPage");
  SetDefault(L"PloverTestPage\\shell\\open\\command", L"C:\\plover_missing\\nobrowser.exe %1");
  int result = CHyperLink::OpenLinkAddress(L"C:\\plover_missing\\page.plovertest", SW_HIDE);
  EXPECT_TRUE(result == ERROR_FILE_NOT_FOUND || result == ERROR_PATH_NOT_FOUND) << result;
}

TEST_F(HyperLinkTest, EveryFailureCodeHasItsText) {
  const std::pair<int, const wchar_t*> texts[] = {
      {0, L"The operating system is out\nof memory or resources."},
      {2, L"The specified file was not found."},
      {3, L"The specified path was not found."},
      {5, L"The operating system denied\naccess to the specified file."},
      {8, L"There was not enough memory to complete the operation."},
      {11, L"The .EXE file is invalid\n(non-Win32 .EXE or error in .EXE image)."},
      {26, L"A sharing violation occurred. "},
      {27, L"The filename association is\nincomplete or invalid."},
      {28, L"The DDE transaction could not\nbe completed because the request timed out."},
      {29, L"The DDE transaction failed."},
      {30,
       L"The DDE transaction could not\nbe completed because other DDE transactions\nwere being "
       L"processed."},
      {31, L"There is no application associated\nwith the given filename extension."},
      {32, L"The specified dynamic-link library was not found."},
      {7, L"Unknown Error (7) occurred."},
      {-40, L"Unknown Error (-40) occurred."},
  };
  for (const auto& [code, text] : texts) CHyperLink::ShowLinkError(code);
  ASSERT_EQ(std::size(texts), m_runner.boxes.size());
  for (size_t i = 0; i < std::size(texts); ++i) {
    EXPECT_EQ(std::wstring(L"Unable to open hyperlink:\n\n") + texts[i].second,
              m_runner.boxes[i].text);
    EXPECT_EQ(static_cast<UINT>(MB_OK | MB_ICONEXCLAMATION), m_runner.boxes[i].type);
    EXPECT_EQ(L"Plover", m_runner.boxes[i].caption);
  }
}

}  // namespace
