#include "EnumString.h"
#include "EnumCursor.h"

#include <cstring>
#include <new>

namespace plover::sim {

EnumString::EnumString(std::vector<std::wstring> names, size_t position)
    : ComRoot(LiveKind::Enumerator), m_names(std::move(names)), m_pos(position) {}

void* EnumString::Query(REFIID riid) {
  if (riid == IID_IUnknown || riid == IID_IEnumString) return static_cast<IEnumString*>(this);
  return nullptr;
}

HRESULT STDMETHODCALLTYPE EnumString::Next(ULONG celt, LPOLESTR* rgelt, ULONG* pceltFetched) {
  if (pceltFetched) *pceltFetched = 0;
  if (!rgelt || (celt > 1 && !pceltFetched)) return E_INVALIDARG;
  ULONG fetched = 0;
  while (fetched < celt && m_pos < m_names.size()) {
    const std::wstring& s = m_names[m_pos];
    size_t bytes = (s.size() + 1) * sizeof(wchar_t);
    auto* p = static_cast<LPOLESTR>(CoTaskMemAlloc(bytes));
    if (!p) {
      for (ULONG i = 0; i < fetched; ++i) {
        CoTaskMemFree(rgelt[i]);
        rgelt[i] = nullptr;
      }
      m_pos -= fetched;
      return E_OUTOFMEMORY;
    }
    std::memcpy(p, s.c_str(), bytes);
    rgelt[fetched++] = p;
    ++m_pos;
  }
  if (pceltFetched) *pceltFetched = fetched;
  return fetched == celt ? S_OK : S_FALSE;
}

HRESULT STDMETHODCALLTYPE EnumString::Skip(ULONG celt) {
  return EnumSkip(m_pos, m_names.size(), celt);
}

HRESULT STDMETHODCALLTYPE EnumString::Reset() {
  m_pos = 0;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE EnumString::Clone(IEnumString** ppenum) {
  return EnumClone<EnumString>(ppenum, m_names, m_pos);
}

}  // namespace plover::sim
