// The item list's rows, apart from the window that draws them: one record per item shown
// (found by the item's client handle, and by group for data messages, with its check box,
// which is the item's own active flag) and the list's rows top to bottom. The item list view
// answers its owner-data control from here and turns the user's commands into changes here; nothing
// here touches a window.
//
// A row refers to its item by the item's client handle, resolved through the client core's
// handle table each time, so a row never reaches a freed record. Each row shows a snapshot of
// value, quality and time stamp taken at its group's data message; the texts are made from it
// only when the row is drawn.
#pragma once
#include <windows.h>
#include <oleauto.h>

#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "opcda.h"

class COpcItem;

// What one item's rows show.
struct CItemRow {
  CItemRow() { ::VariantInit(&value); }
  ~CItemRow() { ::VariantClear(&value); }
  CItemRow(const CItemRow&) = delete;
  CItemRow& operator=(const CItemRow&) = delete;

  OPCHANDLE hItem = 0;   // the item's client handle
  int nGroup = 0;        // the group's client handle, as column 0 shows it ("%d")
  int nImage = 0;        // 0 green (active), 1 red
  int nRows = 0;         // list rows that show this record (normally one)
  bool bChecked = true;  // the check box: the item's active flag as the server last took it
  std::wstring strGroupName;
  std::wstring strItemId;
  VARIANT value;
  WORD wQuality = 0;
  FILETIME ftTime = {0, 0};  // 0: the time column stays empty
  FILETIME ftShown = {0, 0};
  std::wstring strTime;  // text of ftShown
  // Shown in the value column instead of the value: why a lost server's item did not come
  // back.
  std::wstring strError;

  // Takes value, quality and (when asked and it has a showable one) the time stamp from the
  // item.
  void TakeSnapshot(const COpcItem& item, bool withTime);
  // The time column's text, made again only when the time changed.
  const std::wstring& TimeText();
};

class CItemRows {
 public:
  size_t Count() const { return m_list.size(); }
  // The record shown by that list row, or none.
  CItemRow* At(int index) const;
  bool IsChecked(int index) const;
  // Every record, each once.
  std::vector<CItemRow*> Records() const;

  // Appends a row for the item of that group; an item shown already shares its record. A new
  // record starts from the item's value without a time, ticked when the item is active.
  CItemRow& Append(const COpcItem& item, int group, const std::wstring& groupName);
  // Takes one list row away; its record goes with its last row.
  void Erase(int index);
  // The list indexes of the group's rows, highest first: deleting them in this order from
  // the control never moves a row not yet deleted.
  std::vector<int> IndexesOfGroup(int group) const;
  // Takes every row and record of the group away.
  void EraseGroup(int group);
  void Clear();

  // The server is gone: every record keeps its rows but lets go of its item (client handle
  // 0), and shows that quality from that time on.
  void DetachAll(WORD quality, const FILETIME& when);
  // The first record of that group let go of with the item's ID takes the item back in its
  // old place; none when no such record waits.
  CItemRow* Rebind(const COpcItem& item, int group);
  // The records still without an item.
  std::vector<CItemRow*> Detached() const;

  // The group's records in order of addition; nullptr when it shows none.
  const std::vector<CItemRow*>* GroupRows(int group) const;
  // The record of that item, or none.
  CItemRow* Find(OPCHANDLE hItem) const;
  // The first list row that shows that item, or -1.
  int IndexOf(OPCHANDLE hItem) const;
  // Type-ahead on the first column (the group number): the next row from start whose text
  // equals, or with partial begins with, text, ignoring case; wrap goes on from the top.
  int FindGroupText(int start, const wchar_t* text, bool partial, bool wrap) const;

 private:
  std::unordered_map<OPCHANDLE, std::unique_ptr<CItemRow>> m_records;  // by item client handle
  std::unordered_map<int, std::vector<CItemRow*>> m_groupRows;         // in insertion order
  std::vector<CItemRow*> m_list;                                       // top to bottom
  std::unordered_map<const CItemRow*, std::unique_ptr<CItemRow>> m_detached;  // hItem 0
  // Takes a record out of whichever store holds it.
  void Forget(CItemRow* row);
};
