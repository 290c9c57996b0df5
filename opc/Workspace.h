// A workspace file: the connected server, the browse options, and every group with its
// settings and items, as UTF-8 text an engineer can read, edit and diff. Plain C++ (no
// windows.h), so the reader also builds natively for fuzzing: it reads untrusted input.
//
//   plover-workspace 1
//   server Plover.SimServer.1
//   group Fast
//     update-rate 500
//     item Signals.Ramp
//     item Access.ReadWrite
//       item-active 0
//
// One "keyword value" a line; the value is the rest of the line after one space.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace workspace {

constexpr const char* kFormatName = "plover-workspace";
constexpr int kFormatVersion = 1;

// Bounds of what the reader accepts; anything beyond is a damaged file, not a workspace.
// Items: ten times the largest simulated address space, which the item list (drawn on
// demand) and the client's handle table (4,194,304) hold; a save that would pass a bound
// is caught by Reopens before anything is written.
constexpr size_t kMaxFileBytes = 64u << 20;
constexpr size_t kMaxLineBytes = 4096;
constexpr size_t kMaxGroups = 1000;
constexpr size_t kMaxItems = 1000000;

// Type tags are the VARIANT type numbers; 0 (EMPTY) lets the server choose.
constexpr uint16_t kTypeEmpty = 0;
constexpr uint16_t kTypeArrayFlag = 0x2000;

constexpr uint8_t kAccessReadable = 1;
constexpr uint8_t kAccessWriteable = 2;

struct Item {
  std::wstring itemId;
  std::wstring accessPath;
  uint16_t requestedType = kTypeEmpty;
  bool active = true;
};

struct Group {
  std::wstring name;
  uint32_t id = 0;  // the group's client handle; 0 until the reader assigns a free one
  bool active = true;
  uint32_t updateRate = 1000;
  float deadband = 0.0f;
  std::vector<Item> items;
};

struct Workspace {
  std::wstring progId;  // empty: disconnected, no groups
  std::wstring node;    // empty: this computer
  std::wstring browseFilter = L"*";
  uint16_t browseType = kTypeEmpty;
  uint8_t browseAccess = kAccessReadable | kAccessWriteable;
  bool autoReconnect = true;  // connect again by itself after a lost server
  std::vector<Group> groups;
};

enum class Fault {
  None,
  NotWorkspace,    // the first line is not the format name and a version
  NewerVersion,    // written by a later program
  TooLarge,        // the file is larger than kMaxFileBytes
  LineTooLong,     // over kMaxLineBytes
  BadUtf8,         // invalid UTF-8 or a control character
  UnknownKeyword,  // a keyword this version does not know
  BadValue,        // a number, flag, type or access word that does not parse or is out of range
  Missing,         // a value that may not be empty is empty
  Repeated,        // a setting given twice for the same server, group or item
  Misplaced,  // a group or item setting with no group or item before it; groups without a server
  Duplicate,  // two groups with the same handle (low 16 bits), or an item twice in a group
  TooManyGroups,  // over kMaxGroups
  TooManyItems,   // over kMaxItems
  Unwritable,     // (writer) a text with a line break, control character or lone surrogate
};

struct Error {
  Fault fault = Fault::None;
  size_t line = 0;      // 1-based; 0 for the whole file
  std::string keyword;  // the line's keyword, when it has one
};

// Reads and checks a whole file before anything is used. False with err set on any fault;
// out is then unchanged. An empty file is not a workspace (the caller decides what empty
// means).
bool Read(const char* data, size_t size, Workspace& out, Error& err);
// The text of a workspace; false (err.fault Unwritable) for text no line can hold.
bool Write(const Workspace& ws, std::string& out, Error& err);
// Whether text from Write opens again: the reader's own checks, so saving and opening
// never disagree on a bound. err names the first line the reader would refuse.
bool Reopens(const std::string& text, Error& err);
// What went wrong, for the user: "line 12: bad value for update-rate".
std::wstring FaultText(const Error& err);

// Type names as the file spells them ("R4", "BSTR", "I2[]"); a number for a tag without one.
std::string TypeName(uint16_t vt);
bool ParseTypeName(const std::string& text, uint16_t& vt);

// Strict UTF-8 to and from wide text (UTF-16 where wchar_t has 16 bits).
bool Utf8ToWide(const char* p, size_t n, std::wstring& out);
bool WideToUtf8(const std::wstring& in, std::string& out);

}  // namespace workspace
