// IEnumUnknown over a snapshot of group objects, and IEnumConnectionPoints over a container's
// points: the same enumerator of interface pointers (it holds a reference to each).
#pragma once

#include "ComObject.h"

#include <ocidl.h>

#include <vector>

namespace plover::sim {

template <class Enum, class Item>
class EnumInterfaces final : public ComRoot, public Enum {
 public:
  EnumInterfaces(const IID& iid, std::vector<ComPtr<Item>> items, size_t position = 0);

  PLOVER_COM_IUNKNOWN

  HRESULT STDMETHODCALLTYPE Next(ULONG celt, Item** rgelt, ULONG* pceltFetched) override;
  HRESULT STDMETHODCALLTYPE Skip(ULONG celt) override;
  HRESULT STDMETHODCALLTYPE Reset() override;
  HRESULT STDMETHODCALLTYPE Clone(Enum** ppenum) override;

 private:
  void* Query(REFIID riid) override;

  IID m_iid;
  std::vector<ComPtr<Item>> m_items;
  size_t m_pos;
};

using EnumUnknown = EnumInterfaces<IEnumUnknown, IUnknown>;
using EnumConnectionPoints = EnumInterfaces<IEnumConnectionPoints, IConnectionPoint>;

}  // namespace plover::sim
