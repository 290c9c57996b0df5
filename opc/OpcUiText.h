// The client core's own texts for the user, by key (no windows.h: the workspace reader uses
// them and builds natively for fuzzing too).
#pragma once
#include <initializer_list>
#include <string>

// The core's own texts for the user. The window program answers them from its string
// resources in the user's language (string id = its first id + the key); without a source,
// and for a text the source lacks, the core's built-in Chinese text. %1..%9 are arguments.
enum class OpcUiText : unsigned {
  NoDataObject,
  ProxyNotRegistered,
  ConnectFailed,    // %1 ProgID
  ConnectFailedEx,  // %1 ProgID
  BrowseIncomplete,
  WsNotWorkspace,
  WsNewerVersion,  // %1 format version
  WsTooLarge,      // %1 MB
  WsLineTooLong,   // %1 bytes
  WsBadUtf8,
  WsUnknownKeyword,  // %1 keyword
  WsBadValue,        // %1 keyword
  WsMissing,         // %1 keyword
  WsRepeated,        // %1 keyword
  WsMisplaced,       // %1 keyword
  WsDuplicate,       // %1 keyword
  WsTooManyGroups,   // %1 count
  WsTooManyItems,    // %1 count
  WsUnwritable,      // %1 keyword
  WsAtLine,          // %1 line, %2 fault
  Count
};
using OpcTextSourceFn = std::wstring (*)(OpcUiText key);
// Installs a source (nullptr: the built-in texts); returns the previous one.
OpcTextSourceFn SetOpcTextSource(OpcTextSourceFn fn);
const wchar_t* OpcBuiltInText(OpcUiText key);
std::wstring OpcUiString(OpcUiText key, std::initializer_list<std::wstring> args = {});
