// Ids of the group management dialog.
#pragma once

#define IDD_GROUP_MANAGE 136
#define IDC_GROUP_PROPLIST 1004  // the group's parameters
#define IDC_GROUP_ID 1007        // group ID box (editable, sorted)
#define IDC_GROUP_CREATE 1008
#define IDC_GROUP_DELETE 1010
