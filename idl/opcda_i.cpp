// Definitions of the OPC DA interface identifiers and component categories.
#include "opcda.h"

#define PLOVER_OPC_IID(name, first) \
  extern "C" const IID name = {     \
      first, 0x011e, 0x11d0, {0x96, 0x75, 0x00, 0x20, 0xaf, 0xd8, 0xad, 0xb3}}

PLOVER_OPC_IID(IID_IOPCServer, 0x39c13a4d);
PLOVER_OPC_IID(IID_IOPCServerPublicGroups, 0x39c13a4e);
PLOVER_OPC_IID(IID_IOPCBrowseServerAddressSpace, 0x39c13a4f);
PLOVER_OPC_IID(IID_IOPCGroupStateMgt, 0x39c13a50);
PLOVER_OPC_IID(IID_IOPCPublicGroupStateMgt, 0x39c13a51);
PLOVER_OPC_IID(IID_IOPCSyncIO, 0x39c13a52);
PLOVER_OPC_IID(IID_IOPCAsyncIO, 0x39c13a53);
PLOVER_OPC_IID(IID_IOPCItemMgt, 0x39c13a54);
PLOVER_OPC_IID(IID_IEnumOPCItemAttributes, 0x39c13a55);
PLOVER_OPC_IID(IID_IOPCDataCallback, 0x39c13a70);
PLOVER_OPC_IID(IID_IOPCAsyncIO2, 0x39c13a71);
PLOVER_OPC_IID(IID_IOPCItemProperties, 0x39c13a72);

extern "C" const IID IID_IOPCCommon = {
    0xF31DFDE2, 0x07B6, 0x11D2, {0xB2, 0xD8, 0x00, 0x60, 0x08, 0x3B, 0xA1, 0xFB}};
extern "C" const IID IID_IOPCShutdown = {
    0xF31DFDE1, 0x07B6, 0x11D2, {0xB2, 0xD8, 0x00, 0x60, 0x08, 0x3B, 0xA1, 0xFB}};

extern "C" const GUID CATID_OPCDAServer10 = {
    0x63D5F430, 0xCFE4, 0x11d1, {0xB2, 0xC8, 0x00, 0x60, 0x08, 0x3B, 0xA1, 0xFB}};
extern "C" const GUID CATID_OPCDAServer20 = {
    0x63D5F432, 0xCFE4, 0x11d1, {0xB2, 0xC8, 0x00, 0x60, 0x08, 0x3B, 0xA1, 0xFB}};
