// Ids of the server selection, add-tag and input dialogs.
#pragma once

#define IDD_SERVER_SELECT 130
#define IDD_INPUT 133
#define IDD_ADDTAG 159

#define IDC_SERVER_PROGID 1000    // current server (ProgID)
#define IDC_SERVER_NODES 1001     // node list
#define IDC_SERVER_LIST 1002      // available servers
#define IDC_INPUT_VALUE 1005      // value to write, any text
#define IDC_INPUT_ITEM 1006       // item ID the value goes to
#define IDC_ADDTAG_GROUP 1007     // group IDs
#define IDC_ADDTAG_NAME 1009      // item ID to add
#define IDC_SERVER_VERSIONS 2250  // OPC DA versions of the selected server

#define IDS_SERVER_SELECT_VERSIONS 20351  // "...: %ls", the selected server's versions
