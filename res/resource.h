// Resource and command ids of Plover. The standard ids come from the framework.
#pragma once
#include "FrameworkRes.h"

// Menu, accelerators, icon, toolbar, document string and the rebar's dialog bar template
#define IDR_MAINFRAME 128

// Pictures
#define IDI_LIGHT_RED 147    // item list: inactive item (red lamp lit)
#define IDI_LIGHT_GREEN 157  // item list: active item (green lamp lit)
#define IDB_ABOUT 167        // About box credits picture, 107 x 71
#define IDB_BANNER_END 169   // banner credits picture, 799 x 54
#define IDB_BANNER 170       // banner credits picture, 799 x 54
#define IDB_SPLASH 173       // start-up splash, 8 bits per pixel, 425 x 283

// Dialog templates
#define IDD_ABOUTBOX 100
#define IDD_PLDIALOGBAR 102  // the second dialog bar (command id 103), hosts the banner

// Controls
#define IDC_CREDITS 1011    // credits area (About box and banner bar)
#define IDC_HYPERLINK 1012  // maker's web address in the About box

// Commands
#define ID_VIEW_PLDIALOGBAR 103  // show or hide the second dialog bar; nothing issues it
#define ID_OPC_CONNECT 32771
#define ID_OPC_DISCONNECT 32772
#define ID_OPC_SERVER_PROPERTIES 32784
#define ID_OPC_GROUP_MANAGEMENT 32786
#define ID_OPC_BROWSE_OPTIONS 32787
#define ID_VIEW_AUTO_RECONNECT 32788  // connect again by itself after a lost server
#include "BrowseRes.h"
#include "PropertySheetsRes.h"
#include "CreditsRes.h"
#include "ItemMenuRes.h"
#include "GroupManageRes.h"
#include "RecordRes.h"
#include "TextRes.h"
#include "TrendRes.h"
