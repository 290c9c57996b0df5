// Ids of the program's texts that code asks for by id (both languages have each), and of
// the language menu. %1..%9 in a text are its arguments.
#pragma once

// Language menu (View)
#define ID_VIEW_LANGUAGE_ZH 32860
#define ID_VIEW_LANGUAGE_EN 32861

// Start-up and language
#define IDS_OLE_INIT_FAILED 21010
#define IDS_BAD_LANGUAGE 21011         // %1 what followed /lang
#define IDS_LANGUAGE_NEXT_START 21012  // said in the language chosen

// Workspaces
#define IDS_WS_CANNOT_OPEN 21020      // %1 path, %2 fault
#define IDS_WS_SAVE_UNREADABLE 21021  // %1 path, %2 fault
#define IDS_WS_NOT_RESTORED 21022     // %1 file, %2 groups, %3 items
#define IDS_WS_REFUSED_ITEM 21023     // %1 item ID, %2 reason
#define IDS_WS_REFUSED_GROUP 21024    // %1 group name, %2 reason
#define IDS_WS_GROUP_ITEMS 21025      // %1 items of the refused group

// Reconnecting after a lost server (status bar and rows)
#define IDS_RECONNECTING 21030       // %1 ProgID, %2 attempt, %3 why
#define IDS_NOT_RESTORED 21031       // a row the server no longer has
#define IDS_RECONNECTED 21032        // %1 ProgID, %2 items restored
#define IDS_RECONNECT_MISSING 21033  // %1 items not restored

// Browse tree and item list
#define IDS_ASYNC_WRITE_ERROR 21040
#define IDS_SYNC_WRITE_ERROR 21041
#define IDS_CONFIRM_ADD_ITEMS 21042  // %1 items
#define IDS_READING_ITEM_IDS 21043   // %1 done, %2 total
#define IDS_ADDING_ITEMS 21044       // %1 done, %2 total
#define IDS_ADD_ITEMS_FAILED 21045   // %1 items
#define IDS_BROWSE_ADD_LEAVES 21046
#define IDS_BROWSE_ADD_SUBTREE 21047
#define IDS_BROWSE_ADD_LEAF 21048
#define IDS_BROWSE_NOT_CONNECTED 21049

// Texts the program always wrote in English (the Chinese table keeps them so)
#define IDS_CONNECT_FAILED 21070  // %1 ProgID
#define IDS_NO_BROWSE 21071
#define IDS_ADD_GROUP_FAILED 21072    // %1 group name
#define IDS_SERVER_SHUT_DOWN 21073    // %1 ProgID
#define IDS_SERVER_SILENT 21074       // %1 ProgID
#define IDS_SERVER_UNREACHABLE 21075  // %1 ProgID
#define IDS_ADD_ITEM_FAILED 21076     // %1 item ID
#define IDS_DOES_NOT_CONVERT 21077

// Group management
#define IDS_GROUP_EXISTS 21050
#define IDS_GROUP_NAME_EMPTY 21051
#define IDS_GROUP_NAME_EXISTS 21052

// Property list's file row
#define IDS_FILE_FILTER 21060  // "name|pattern|...||"
#define IDS_CHOOSE_FILE 21061

// The client core's texts: this id plus the OpcUiText key (opc/OpcUiText.h), in its order.
#define IDS_CORE_FIRST 21800
