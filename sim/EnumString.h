// IEnumString over a snapshot of names (browse results, group names).
#pragma once

#include "ComObject.h"

#include <string>
#include <vector>

namespace plover::sim {

class EnumString final : public ComRoot, public IEnumString {
 public:
  explicit EnumString(std::vector<std::wstring> names, size_t position = 0);

  PLOVER_COM_IUNKNOWN

  HRESULT STDMETHODCALLTYPE Next(ULONG celt, LPOLESTR* rgelt, ULONG* pceltFetched) override;
  HRESULT STDMETHODCALLTYPE Skip(ULONG celt) override;
  HRESULT STDMETHODCALLTYPE Reset() override;
  HRESULT STDMETHODCALLTYPE Clone(IEnumString** ppenum) override;

 private:
  void* Query(REFIID riid) override;

  std::vector<std::wstring> m_names;
  size_t m_pos;
};

}  // namespace plover::sim
