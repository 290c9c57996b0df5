#include "EnumUnknown.h"
#include "EnumCursor.h"

#include <new>

namespace plover::sim {

EnumUnknown::EnumUnknown(std::vector<ComPtr<IUnknown>> items, size_t position)
    : ComRoot(LiveKind::Enumerator), m_items(std::move(items)), m_pos(position) {}

void* EnumUnknown::Query(REFIID riid) {
  if (riid == IID_IUnknown || riid == IID_IEnumUnknown) return static_cast<IEnumUnknown*>(this);
  return nullptr;
}

HRESULT STDMETHODCALLTYPE EnumUnknown::Next(ULONG celt, IUnknown** rgelt, ULONG* pceltFetched) {
  if (pceltFetched) *pceltFetched = 0;
  if (!rgelt || (celt > 1 && !pceltFetched)) return E_INVALIDARG;
  ULONG fetched = 0;
  while (fetched < celt && m_pos < m_items.size()) {
    IUnknown* p = m_items[m_pos++].Get();
    p->AddRef();
    rgelt[fetched++] = p;
  }
  if (pceltFetched) *pceltFetched = fetched;
  return fetched == celt ? S_OK : S_FALSE;
}

HRESULT STDMETHODCALLTYPE EnumUnknown::Skip(ULONG celt) {
  return EnumSkip(m_pos, m_items.size(), celt);
}

HRESULT STDMETHODCALLTYPE EnumUnknown::Reset() {
  m_pos = 0;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE EnumUnknown::Clone(IEnumUnknown** ppenum) {
  return EnumClone<EnumUnknown>(ppenum, m_items, m_pos);
}

}  // namespace plover::sim
