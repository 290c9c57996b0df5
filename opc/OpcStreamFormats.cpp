#include "OpcStreamFormats.h"

COpcStreamFormats::COpcStreamFormats()
    : m_cfData(::RegisterClipboardFormatW(kDataName)),
      m_cfDataTime(::RegisterClipboardFormatW(kDataTimeName)),
      m_cfWriteComplete(::RegisterClipboardFormatW(kWriteCompleteName)) {}
