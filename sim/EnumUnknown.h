// IEnumUnknown over a snapshot of group objects (it holds a reference to each).
#pragma once

#include "ComObject.h"

#include <vector>

namespace plover::sim {

class EnumUnknown final : public ComRoot, public IEnumUnknown {
 public:
  explicit EnumUnknown(std::vector<ComPtr<IUnknown>> items, size_t position = 0);

  PLOVER_COM_IUNKNOWN

  HRESULT STDMETHODCALLTYPE Next(ULONG celt, IUnknown** rgelt, ULONG* pceltFetched) override;
  HRESULT STDMETHODCALLTYPE Skip(ULONG celt) override;
  HRESULT STDMETHODCALLTYPE Reset() override;
  HRESULT STDMETHODCALLTYPE Clone(IEnumUnknown** ppenum) override;

 private:
  void* Query(REFIID riid) override;

  std::vector<ComPtr<IUnknown>> m_items;
  size_t m_pos;
};

}  // namespace plover::sim
