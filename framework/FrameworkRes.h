// Standard command, string and window ids shared by the framework and the program's resources.
// The values are the classic ones, so menus and string tables read the same as in any
// single-document Windows program.
#pragma once

// Strings
#define AFX_IDS_APP_TITLE 0xE000    // 57344
#define AFX_IDS_IDLEMESSAGE 0xE001  // 57345
#define AFX_IDS_UNTITLED 0xE002
#define AFX_IDS_ALLFILTER 0xE003
#define AFX_IDS_OPENFILE 0xE004
#define AFX_IDS_SAVEFILE 0xE005
#define AFX_IDS_PREVIEW_CLOSE 0xE006
#define AFX_IDS_PREVIEW_PRINT 0xE007
#define AFX_IDS_PREVIEW_CAPTION 0xE008
#define AFX_IDP_FAILED_TO_OPEN_DOC 0xF101
#define AFX_IDP_FAILED_TO_SAVE_DOC 0xF102
#define AFX_IDP_ASK_TO_SAVE 0xF103
#define AFX_IDP_FAILED_TO_START_PRINT 0xF104

// File menu
#define ID_FILE_NEW 0xE100   // 57600
#define ID_FILE_OPEN 0xE101  // 57601
#define ID_FILE_CLOSE 0xE102
#define ID_FILE_SAVE 0xE103         // 57603
#define ID_FILE_SAVE_AS 0xE104      // 57604
#define ID_FILE_PRINT_SETUP 0xE106  // 57606
#define ID_FILE_PRINT 0xE107        // 57607
#define ID_FILE_PRINT_DIRECT 0xE108
#define ID_FILE_PRINT_PREVIEW 0xE109  // 57609
#define ID_FILE_MRU_FILE1 0xE110      // 57616
#define ID_FILE_MRU_FILE2 0xE111
#define ID_FILE_MRU_FILE3 0xE112
#define ID_FILE_MRU_FILE4 0xE113

// Edit menu (bound to keys only; nothing handles them)
#define ID_EDIT_COPY 0xE122
#define ID_EDIT_CUT 0xE123
#define ID_EDIT_PASTE 0xE125
#define ID_EDIT_UNDO 0xE12B

// Application
#define ID_APP_ABOUT 0xE140  // 57664
#define ID_APP_EXIT 0xE141   // 57665
#define ID_NEXT_PANE 0xE150  // 57680
#define ID_PREV_PANE 0xE151  // 57681

// Status bar indicators
#define ID_SEPARATOR 0
#define ID_INDICATOR_CAPS 0xE701
#define ID_INDICATOR_NUM 0xE702
#define ID_INDICATOR_SCRL 0xE703

// View menu toggles and the window ids of the standard bars
#define ID_VIEW_TOOLBAR 0xE800     // 59392
#define ID_VIEW_STATUS_BAR 0xE801  // 59393
#define AFX_IDW_TOOLBAR 0xE800
#define AFX_IDW_STATUS_BAR 0xE801
#define AFX_IDW_REBAR 0xE804
#define AFX_IDW_DIALOGBAR 0xE805
#define AFX_IDW_PANE_FIRST 0xE900  // splitter panes: first + row * 16 + column
#define AFX_IDW_PANE_LAST 0xE9FF
#define AFX_IDW_PREVIEW 0xEA00

// Resource type of a toolbar layout (version, width, height, count, ids; 0 is a gap)
#define RT_TOOLBAR_LAYOUT 241

// The framework's own texts (the program's moved texts follow from 21000 on, res/TextRes.h)
#define IDS_FW_ENTER_INTEGER 21000
#define IDS_FW_ENTER_UNSIGNED 21001
#define IDS_FW_ENTER_NUMBER 21002
