#include "EnumUnknown.h"
#include "EnumCursor.h"

#include <new>

namespace plover::sim {

template <class Enum, class Item>
EnumInterfaces<Enum, Item>::EnumInterfaces(const IID& iid, std::vector<ComPtr<Item>> items,
                                           size_t position)
    : ComRoot(LiveKind::Enumerator), m_iid(iid), m_items(std::move(items)), m_pos(position) {}

template <class Enum, class Item>
void* EnumInterfaces<Enum, Item>::Query(REFIID riid) {
  if (riid == IID_IUnknown || riid == m_iid) return static_cast<Enum*>(this);
  return nullptr;
}

template <class Enum, class Item>
HRESULT STDMETHODCALLTYPE EnumInterfaces<Enum, Item>::Next(ULONG celt, Item** rgelt,
                                                           ULONG* pceltFetched) {
  if (pceltFetched) *pceltFetched = 0;
  if (!rgelt || (celt > 1 && !pceltFetched)) return E_INVALIDARG;
  ULONG fetched = 0;
  while (fetched < celt && m_pos < m_items.size()) {
    Item* p = m_items[m_pos++].Get();
    p->AddRef();
    rgelt[fetched++] = p;
  }
  if (pceltFetched) *pceltFetched = fetched;
  return fetched == celt ? S_OK : S_FALSE;
}

template <class Enum, class Item>
HRESULT STDMETHODCALLTYPE EnumInterfaces<Enum, Item>::Skip(ULONG celt) {
  return EnumSkip(m_pos, m_items.size(), celt);
}

template <class Enum, class Item>
HRESULT STDMETHODCALLTYPE EnumInterfaces<Enum, Item>::Reset() {
  m_pos = 0;
  return S_OK;
}

template <class Enum, class Item>
HRESULT STDMETHODCALLTYPE EnumInterfaces<Enum, Item>::Clone(Enum** ppenum) {
  return EnumClone<EnumInterfaces>(ppenum, m_iid, m_items, m_pos);
}

template class EnumInterfaces<IEnumUnknown, IUnknown>;
template class EnumInterfaces<IEnumConnectionPoints, IConnectionPoint>;

}  // namespace plover::sim
