// Every custom window message of Plover, in one place. WM_USER is 0x0400.
#pragma once

// Posted by the data sink to the browse view: wParam 0, lParam the group's client handle.
#define WM_OPC_DATACHANGE 0x192D  // 6445
// Posted by the data sink when an asynchronous write failed: wParam the HRESULT, lParam the
// item's client handle (0 when the whole transaction failed). The browse view tells the user.
#define WM_OPC_WRITEERROR 0x192F  // 6447
// Sent by the frame to the browse view: connect to the stored ProgID and node.
#define WM_OPC_CONNECT 0x403C  // WM_USER + 60
// Sent by the frame to the item list view first, then to the browse view.
#define WM_OPC_DISCONNECT 0x403D  // WM_USER + 61
// Sent through the frame to the item list view: wParam group client handle, lParam the item.
#define WM_OPC_ITEMADDED 0x403E  // WM_USER + 62
// Sent through the frame to the item list view: wParam as received, lParam group client handle.
#define WM_OPC_GROUPDATA 0x403F  // WM_USER + 63
// Sent by the group management dialog to the frame, which passes it to the item list view:
// wParam 0, lParam the group's client handle.
#define WM_OPC_GROUPCHANGED 0x4040  // WM_USER + 64
#define WM_OPC_GROUPDELETED 0x4041  // WM_USER + 65
// Posted by the client core to the browse view, once per connection, when the server asks
// its clients to go (IOPCShutdown) or a call finds its process gone: wParam 0, lParam 0.
// The reason is kept by COpcServer (GetShutdownReason, GetShutdownCode).
#define WM_OPC_SERVERSHUTDOWN 0x4042  // WM_USER + 66
