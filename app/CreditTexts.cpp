#include "CreditTexts.h"

// Line codes: TAB ends a title, CR a subheading, '^' names a bitmap; "||" leaves a gap.
// The addresses are placeholders under a reserved example domain.
#define PLOVER_WEB L"http://www.larkspur.example/"
#define PLOVER_MAIL L"plover@larkspur.example"

const wchar_t kMakerWebAddress[] = PLOVER_WEB;

const wchar_t kAboutCredits[] =
    L"Larkspur\t||"
    L"167^|"
    L"Plover, an OPC Data Access client\r||"
    L"Browse a server's address space\r||"
    L"Watch, read and write live items\r||"
    L"Made for commissioning and testing\r||"
    L"Larkspur builds small, honest tools\r||" PLOVER_WEB L"||" PLOVER_MAIL L"||";

const wchar_t kBannerCredits[] =
    L"Larkspur\t||"
    L"Plover CLIENT 2.0\r||"
    L"Connect to any OPC Data Access server\r||"
    L"Groups, items, qualities and time stamps at a glance\r||"
    L"Synchronous and asynchronous reads and writes\r||"
    L"170^|"
    L"Larkspur: tools for the people who start up plants\r||"
    L"169^|" PLOVER_WEB L"||" PLOVER_MAIL L"||";

void StartCredits(CCreditsCtrl& credits, const wchar_t* pszText, int titleHeight) {
  credits.SetCreditText(pszText, kCreditsDelimiter);
  credits.SetTickPeriod(2, 2);
  credits.SetStyleColor(CCreditsCtrl::kColorBackground, RGB(82, 107, 132));
  credits.SetStyleColor(CCreditsCtrl::kColorSubheading, RGB(255, 255, 255));
  credits.SetStyleColor(CCreditsCtrl::kColorTitle, RGB(192, 192, 255));
  credits.SetStyleColor(CCreditsCtrl::kColorBody, RGB(192, 192, 255));
  credits.SetStyleHeight(0, titleHeight);
  credits.SetShading(1);
  credits.SetBitmapKeying(50);
  credits.SetRunOnce(FALSE);  // endless
  credits.StartScroll();
}
