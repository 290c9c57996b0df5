#include "OpcBrowseLevel.h"

#include <oleauto.h>

namespace {

// Pages in a row that bring nothing but another continuation point.
constexpr int kMaxEmptyPages = 16;

LPWSTR TaskString(const wchar_t* s) {
  const size_t bytes = (wcslen(s) + 1) * sizeof(wchar_t);
  auto* p = static_cast<LPWSTR>(::CoTaskMemAlloc(bytes));
  if (p) memcpy(p, s, bytes);
  return p;
}

void FreeProperties(OPCITEMPROPERTIES& props) {
  for (DWORD i = 0; props.pItemProperties && i < props.dwNumProperties; ++i) {
    OPCITEMPROPERTY& p = props.pItemProperties[i];
    ::CoTaskMemFree(p.szItemID);
    ::CoTaskMemFree(p.szDescription);
    ::VariantClear(&p.vValue);
  }
  ::CoTaskMemFree(props.pItemProperties);
}

bool WholeNumber(const VARIANT& v, LONGLONG& out) {
  VARIANT n;
  ::VariantInit(&n);
  bool ok = !(v.vt & VT_ARRAY) && v.vt != VT_EMPTY &&
            SUCCEEDED(::VariantChangeType(&n, const_cast<VARIANT*>(&v), 0, VT_I8));
  if (ok) out = n.llVal;
  ::VariantClear(&n);
  return ok;
}

void TakeElement(const OPCBROWSEELEMENT& in, OpcBrowseElement& out) {
  out.name = in.szName ? in.szName : L"";
  out.itemId = in.szItemID ? in.szItemID : L"";
  out.isItem = (in.dwFlagValue & OPC_BROWSE_ISITEM) != 0;
  out.hasChildren = (in.dwFlagValue & OPC_BROWSE_HASCHILDREN) != 0;
  const OPCITEMPROPERTIES& props = in.ItemProperties;
  for (DWORD i = 0; props.pItemProperties && i < props.dwNumProperties; ++i) {
    const OPCITEMPROPERTY& p = props.pItemProperties[i];
    LONGLONG n = 0;
    if (FAILED(p.hrErrorID) || !WholeNumber(p.vValue, n)) continue;
    if (p.dwPropertyID == OPC_PROPERTY_DATATYPE) {
      out.vt = static_cast<VARTYPE>(n);
      out.knowsType = true;
    } else if (p.dwPropertyID == OPC_PROPERTY_ACCESS_RIGHTS) {
      out.rights = static_cast<DWORD>(n);
      out.knowsRights = true;
    }
  }
}

}  // namespace

HRESULT BrowseLevel(IOPCBrowse* browse, const OpcLevelRequest& request,
                    std::vector<OpcBrowseElement>& elements) {
  if (!browse) return E_POINTER;
  DWORD propertyIds[] = {OPC_PROPERTY_DATATYPE, OPC_PROPERTY_ACCESS_RIGHTS};
  const DWORD propertyCount = request.typeAndRights ? 2 : 0;
  // The [in, out] point must be the task allocator's: the server may free it.
  LPWSTR point = TaskString(L"");
  if (!point) return E_OUTOFMEMORY;
  const size_t start = elements.size();
  HRESULT result = S_OK;
  int emptyPages = 0;
  for (bool first = true;; first = false) {
    BOOL more = FALSE;
    DWORD count = 0;
    OPCBROWSEELEMENT* page = nullptr;
    HRESULT hr = browse->Browse(
        const_cast<LPWSTR>(request.itemId.c_str()), &point, request.maxElements, request.filter,
        const_cast<LPWSTR>(request.nameFilter.c_str()), const_cast<LPWSTR>(L""), FALSE,
        request.typeAndRights, propertyCount, propertyIds, &more, &count, &page);
    if (FAILED(hr)) {
      // A failed call hands back nothing of its own; the point is still ours.
      result = first ? hr : S_FALSE;
      break;
    }
    if (!page) count = 0;
    for (DWORD i = 0; i < count; ++i) {
      if (elements.size() - start < request.maxTotal) {
        elements.emplace_back();
        TakeElement(page[i], elements.back());
      }
      ::CoTaskMemFree(page[i].szName);
      ::CoTaskMemFree(page[i].szItemID);
      FreeProperties(page[i].ItemProperties);
    }
    ::CoTaskMemFree(page);
    const bool resume = point && *point;
    emptyPages = count ? 0 : emptyPages + 1;
    if (elements.size() - start >= request.maxTotal && (resume || more)) {
      result = S_FALSE;
      break;
    }
    if (resume) {
      if (emptyPages < kMaxEmptyPages) continue;
      result = S_FALSE;
      break;
    }
    if (more) {
      // More there, but no way to resume: once more from the start without a limit.
      if (request.maxElements == 0) {
        result = S_FALSE;
        break;
      }
      ::CoTaskMemFree(point);
      elements.resize(start);
      OpcLevelRequest whole = request;
      whole.maxElements = 0;
      return BrowseLevel(browse, whole, elements);
    }
    break;
  }
  ::CoTaskMemFree(point);
  return result;
}

bool PassesItemFilters(const OpcBrowseElement& e, VARTYPE vtFilter, DWORD accessFilter) {
  if (vtFilter != VT_EMPTY && e.knowsType && e.vt != vtFilter) return false;
  if (accessFilter != 0 && e.knowsRights && (e.rights & accessFilter) == 0) return false;
  return true;
}
