// IEnumOPCItemAttributes over a snapshot of a group's items, taken when created.
#pragma once

#include "ComObject.h"
#include "VariantUtil.h"
#include "opcda.h"

#include <string>
#include <vector>

namespace plover::sim {

struct ItemAttributes {
  std::wstring accessPath;
  std::wstring itemId;
  BOOL active = TRUE;
  OPCHANDLE hClient = 0;
  OPCHANDLE hServer = 0;
  DWORD accessRights = 0;
  VARTYPE requested = VT_EMPTY;
  VARTYPE canonical = VT_EMPTY;
  DWORD euType = 0;
  Variant euInfo;
};

class EnumItemAttributes final : public ComRoot, public IEnumOPCItemAttributes {
 public:
  explicit EnumItemAttributes(std::vector<ItemAttributes> items, size_t position = 0);

  PLOVER_COM_IUNKNOWN

  HRESULT STDMETHODCALLTYPE Next(ULONG celt, OPCITEMATTRIBUTES** ppItemArray,
                                 ULONG* pceltFetched) override;
  HRESULT STDMETHODCALLTYPE Skip(ULONG celt) override;
  HRESULT STDMETHODCALLTYPE Reset() override;
  HRESULT STDMETHODCALLTYPE Clone(IEnumOPCItemAttributes** ppEnumItemAttributes) override;

 private:
  void* Query(REFIID riid) override;

  std::vector<ItemAttributes> m_items;
  size_t m_pos;
};

}  // namespace plover::sim
