// The maker's scrolling credits for the About box and the frame's banner, marked up for
// CCreditsCtrl with '|' between lines, and the maker's web address.
#pragma once
#include "CreditsCtrl.h"

extern const wchar_t kMakerWebAddress[];
extern const wchar_t kAboutCredits[];
extern const wchar_t kBannerCredits[];
const wchar_t kCreditsDelimiter = L'|';

// The settings both credit hosts share, then the start: title lines titleHeight pixels high.
void StartCredits(CCreditsCtrl& credits, const wchar_t* pszText, int titleHeight);
