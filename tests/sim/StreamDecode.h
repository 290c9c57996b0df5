// Independent reader of the OPC DA 1.0 stream layouts for the tests: every offset is
// checked against the block size, values come out as owned VARIANTs.
#pragma once

#include <windows.h>
#include <oleauto.h>

#include <cstdint>
#include <string>
#include <vector>

struct DecodedValue {
  DWORD hClient = 0;
  DWORD valueOffset = 0;
  WORD quality = 0;
  FILETIME timeStamp{};
  VARIANT value;
  DecodedValue() { VariantInit(&value); }
  DecodedValue(const DecodedValue& o)
      : hClient(o.hClient), valueOffset(o.valueOffset), quality(o.quality), timeStamp(o.timeStamp) {
    VariantInit(&value);
    VariantCopy(&value, const_cast<VARIANT*>(&o.value));
  }
  DecodedValue& operator=(const DecodedValue&) = delete;
  ~DecodedValue() { VariantClear(&value); }
};

struct DecodedData {
  DWORD size = 0, itemCount = 0, hClientGroup = 0, transactionId = 0;
  HRESULT status = S_OK;
  std::vector<DecodedValue> items;
};

struct DecodedWrite {
  DWORD itemCount = 0, hClientGroup = 0, transactionId = 0;
  HRESULT status = S_OK;
  std::vector<std::pair<DWORD, HRESULT>> results;
};

// False (with a reason) when the block is malformed. The layout is that of pointerBytes
// (4 or 8); the server writes its build's own unless told otherwise.
bool DecodeData(const std::vector<uint8_t>& block, bool withTime, DecodedData* out,
                std::string* why, size_t pointerBytes = sizeof(void*));
bool DecodeWriteComplete(const std::vector<uint8_t>& block, DecodedWrite* out, std::string* why);
