// Ids of the property sheets and the browse options dialog.
#pragma once

#define IDD_TAG_PROPERTY 131     // item (tag) properties
#define IDD_SERVER_PROPERTY 134  // server status properties
#define IDD_BROWSE_OPTION 135    // browse filters
#define IDC_PROPERTY_LIST 1004   // the property list in every host dialog

#define IDS_SERVER_DA_VERSIONS 20350  // the server sheet's row of OPC DA versions
