#include "EnumItemAttributes.h"
#include "EnumCursor.h"

#include "SimGroup.h"
#include "SimServer.h"

#include <new>

namespace plover::sim {

EnumItemAttributes::EnumItemAttributes(std::vector<ItemAttributes> items, size_t position)
    : ComRoot(LiveKind::Enumerator), m_items(std::move(items)), m_pos(position) {}

void* EnumItemAttributes::Query(REFIID riid) {
  if (riid == IID_IUnknown || riid == IID_IEnumOPCItemAttributes)
    return static_cast<IEnumOPCItemAttributes*>(this);
  return nullptr;
}

HRESULT STDMETHODCALLTYPE EnumItemAttributes::Next(ULONG celt, OPCITEMATTRIBUTES** ppItemArray,
                                                   ULONG* pceltFetched) {
  if (pceltFetched) *pceltFetched = 0;
  if (!ppItemArray) return E_INVALIDARG;
  *ppItemArray = nullptr;
  size_t left = m_items.size() - m_pos;
  ULONG n = static_cast<ULONG>(left < celt ? left : celt);
  if (n == 0) return celt == 0 ? S_OK : S_FALSE;
  auto* out = CoTaskArray<OPCITEMATTRIBUTES>(n);
  if (!out) return E_OUTOFMEMORY;
  for (ULONG i = 0; i < n; ++i) {
    const ItemAttributes& a = m_items[m_pos + i];
    OPCITEMATTRIBUTES& o = out[i];
    o.szAccessPath = CoTaskString(a.accessPath);
    o.szItemID = CoTaskString(a.itemId);
    o.bActive = a.active;
    o.hClient = a.hClient;
    o.hServer = a.hServer;
    o.dwAccessRights = a.accessRights;
    o.vtRequestedDataType = a.requested;
    o.vtCanonicalDataType = a.canonical;
    o.dwEUType = static_cast<OPCEUTYPE>(a.euType);
    VariantInit(&o.vEUInfo);
    CopyVariant(&o.vEUInfo, &a.euInfo.v);
  }
  m_pos += n;
  *ppItemArray = out;
  if (pceltFetched) *pceltFetched = n;
  return n == celt ? S_OK : S_FALSE;
}

HRESULT STDMETHODCALLTYPE EnumItemAttributes::Skip(ULONG celt) {
  return EnumSkip(m_pos, m_items.size(), celt);
}

HRESULT STDMETHODCALLTYPE EnumItemAttributes::Reset() {
  m_pos = 0;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE EnumItemAttributes::Clone(IEnumOPCItemAttributes** ppEnumItemAttributes) {
  return EnumClone<EnumItemAttributes>(ppEnumItemAttributes, m_items, m_pos);
}

}  // namespace plover::sim
