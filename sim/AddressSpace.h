// The simulated item address space: a tree of branches with item leaves. Built once
// per server variant and shared read-only by all server objects of that variant.
#pragma once

#include <windows.h>
#include <oleauto.h>

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

namespace plover::sim {

// Da3Only: the hierarchical content browsed through OPC DA 3.0 alone.
enum class SimVariant { Hierarchical, Flat, NoBrowse, Large, Da3Only };

enum class SignalKind { Static, Random, Ramp, Sine, Square, Triangle };

// Values of the access-rights and EU-type words, as the OPC DA standard numbers them.
constexpr DWORD kReadable = 1;
constexpr DWORD kWriteable = 2;
constexpr DWORD kEuNone = 0;
constexpr DWORD kEuAnalog = 1;
constexpr DWORD kEuEnumerated = 2;

struct ItemDef {
  std::wstring id;    // fully qualified, "." between levels
  std::wstring name;  // leaf name
  uint32_t branch = 0;
  VARTYPE type = VT_R8;  // canonical; VT_ARRAY | element for arrays
  DWORD access = kReadable;
  DWORD euType = kEuNone;
  double euLow = 0, euHigh = 0;
  std::vector<std::wstring> euStrings;  // enumerated EU texts
  SignalKind signal = SignalKind::Static;
  double low = 0, high = 100;  // signal range; a static item starts at low
  uint32_t periodMs = 10000;
  uint32_t arrayLength = 0;
  std::wstring text;  // start value of static text items
  WORD quality = 0xC0;
  bool cycleQuality = false;  // walk through good, uncertain and bad sub-statuses
};

struct Branch {
  std::wstring name;
  std::wstring id;  // fully qualified; empty for the root
  int parent = -1;
  std::vector<uint32_t> branches;
  std::vector<uint32_t> leaves;
};

class AddressSpace {
 public:
  AddressSpace();

  uint32_t AddBranch(uint32_t parent, const std::wstring& name);
  uint32_t AddItem(uint32_t parent, ItemDef def);

  const std::vector<ItemDef>& Items() const { return m_items; }
  const std::vector<Branch>& Branches() const { return m_branches; }
  const ItemDef& Item(uint32_t index) const { return m_items[index]; }
  const Branch& BranchAt(uint32_t index) const { return m_branches[index]; }

  // Index of the item, or -1.
  int FindItem(const std::wstring& id) const;
  // Index of a child branch by its short name, or -1.
  int FindChildBranch(uint32_t branch, const std::wstring& name) const;
  // Index of a branch by its fully qualified ID ("" is the root), or -1.
  int FindBranch(const std::wstring& id) const;

 private:
  std::vector<Branch> m_branches;
  std::vector<ItemDef> m_items;
  std::unordered_map<std::wstring, uint32_t> m_itemIndex;
  std::unordered_map<std::wstring, uint32_t> m_branchIndex;
};

// Shared, lazily built address space of a variant.
const AddressSpace& AddressSpaceFor(SimVariant variant);
// Fills the content every variant has; Large adds a bulk area.
void BuildStandardContent(AddressSpace& space);
void BuildBulkContent(AddressSpace& space);

// Browse name filter: '*' any run, '?' one character, '#' one digit, "[abc]", "[a-z]",
// "[!abc]" one character of (or not of) a set; everything else literal, case-sensitive.
// An empty or null pattern matches everything.
bool MatchName(const wchar_t* pattern, const wchar_t* name);
// Shape check of an item ID before look-up: non-empty, no empty level, no control
// characters.
bool IsWellFormedItemId(const wchar_t* id);
// Browse filters for leaves: data type (VT_EMPTY = any) and access rights (0 = any;
// otherwise an item qualifies when it has any of the requested rights).
bool MatchesItemFilters(const ItemDef& item, VARTYPE vtFilter, DWORD accessFilter);

}  // namespace plover::sim
