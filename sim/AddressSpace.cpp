#include "AddressSpace.h"

#include <memory>

namespace plover::sim {

AddressSpace::AddressSpace() {
  m_branches.push_back(Branch{});
  m_branchIndex.emplace(L"", 0);
}

uint32_t AddressSpace::AddBranch(uint32_t parent, const std::wstring& name) {
  Branch b;
  b.name = name;
  b.parent = static_cast<int>(parent);
  b.id = parent == 0 ? name : m_branches[parent].id + L"." + name;
  uint32_t index = static_cast<uint32_t>(m_branches.size());
  m_branchIndex.emplace(b.id, index);
  m_branches.push_back(std::move(b));
  m_branches[parent].branches.push_back(index);
  return index;
}

uint32_t AddressSpace::AddItem(uint32_t parent, ItemDef def) {
  def.branch = parent;
  def.id = parent == 0 ? def.name : m_branches[parent].id + L"." + def.name;
  uint32_t index = static_cast<uint32_t>(m_items.size());
  m_itemIndex.emplace(def.id, index);
  m_items.push_back(std::move(def));
  m_branches[parent].leaves.push_back(index);
  return index;
}

int AddressSpace::FindItem(const std::wstring& id) const {
  auto it = m_itemIndex.find(id);
  return it == m_itemIndex.end() ? -1 : static_cast<int>(it->second);
}

int AddressSpace::FindChildBranch(uint32_t branch, const std::wstring& name) const {
  if (branch >= m_branches.size()) return -1;
  for (uint32_t child : m_branches[branch].branches)
    if (m_branches[child].name == name) return static_cast<int>(child);
  return -1;
}

int AddressSpace::FindBranch(const std::wstring& id) const {
  auto it = m_branchIndex.find(id);
  return it == m_branchIndex.end() ? -1 : static_cast<int>(it->second);
}

const AddressSpace& AddressSpaceFor(SimVariant variant) {
  // Built once and kept while the module is loaded: server objects come and go often.
  // Statics, so an unloaded and reloaded module leaves nothing behind.
  if (variant == SimVariant::Large) {
    static const std::unique_ptr<AddressSpace> large = [] {
      auto space = std::make_unique<AddressSpace>();
      BuildStandardContent(*space);
      BuildBulkContent(*space);
      return space;
    }();
    return *large;
  }
  static const std::unique_ptr<AddressSpace> standard = [] {
    auto space = std::make_unique<AddressSpace>();
    BuildStandardContent(*space);
    return space;
  }();
  return *standard;
}

namespace {

// Matches one "[...]" set at p against c; advances p past the set.
bool MatchSet(const wchar_t*& p, wchar_t c, bool* valid) {
  const wchar_t* q = p + 1;
  bool negate = false;
  if (*q == L'!') {
    negate = true;
    ++q;
  }
  bool hit = false;
  bool first = true;
  while (*q && (*q != L']' || first)) {
    wchar_t lo = *q;
    wchar_t hi = lo;
    if (q[1] == L'-' && q[2] && q[2] != L']') {
      hi = q[2];
      q += 2;
    }
    if (c >= lo && c <= hi) hit = true;
    ++q;
    first = false;
  }
  if (*q != L']') {
    *valid = false;  // unterminated: treat '[' as a literal
    return false;
  }
  *valid = true;
  p = q + 1;
  return hit != negate;
}

bool MatchFrom(const wchar_t* p, const wchar_t* s) {
  while (*p) {
    switch (*p) {
      case L'*':
        while (*p == L'*') ++p;
        if (!*p) return true;
        for (; *s; ++s)
          if (MatchFrom(p, s)) return true;
        return false;
      case L'?':
        if (!*s) return false;
        ++p;
        ++s;
        break;
      case L'#':
        if (*s < L'0' || *s > L'9') return false;
        ++p;
        ++s;
        break;
      case L'[': {
        if (!*s) return false;
        bool valid = false;
        const wchar_t* q = p;
        bool hit = MatchSet(q, *s, &valid);
        if (valid) {
          if (!hit) return false;
          p = q;
          ++s;
          break;
        }
        if (*s != L'[') return false;
        ++p;
        ++s;
        break;
      }
      default:
        if (*p != *s) return false;
        ++p;
        ++s;
        break;
    }
  }
  return *s == 0;
}

}  // namespace

bool MatchName(const wchar_t* pattern, const wchar_t* name) {
  if (!pattern || !*pattern) return true;
  return MatchFrom(pattern, name ? name : L"");
}

bool IsWellFormedItemId(const wchar_t* id) {
  if (!id || !*id) return false;
  wchar_t prev = L'.';
  for (const wchar_t* p = id; *p; ++p) {
    if (*p < 0x20) return false;
    if (*p == L'.' && prev == L'.') return false;
    prev = *p;
  }
  return prev != L'.';
}

bool MatchesItemFilters(const ItemDef& item, VARTYPE vtFilter, DWORD accessFilter) {
  if (vtFilter != VT_EMPTY && item.type != vtFilter) return false;
  // "Any of" rather than "all of": a client asking for readable-or-writeable items
  // (the common default of 3) must still see read-only and write-only ones.
  if (accessFilter != 0 && (item.access & accessFilter) == 0) return false;
  return true;
}

}  // namespace plover::sim
