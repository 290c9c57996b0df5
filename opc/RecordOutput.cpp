#include "RecordOutput.h"

#include "RecordText.h"

void CLineWriter::WriteUtf8(const std::string& text) {
  std::wstring wide;
  if (FromUtf8(text, wide)) Write(wide);
}

void CStringWriter::Write(const std::wstring& text) {
  m_text += ToUtf8(text);
}

CHandleWriter::CHandleWriter(HANDLE handle, bool ownsHandle)
    : m_handle(handle), m_bOwns(ownsHandle) {
  DWORD mode = 0;
  m_bConsole = handle && handle != INVALID_HANDLE_VALUE && ::GetConsoleMode(handle, &mode);
}

CHandleWriter::~CHandleWriter() {
  Flush();
  if (m_bOwns && m_handle && m_handle != INVALID_HANDLE_VALUE) ::CloseHandle(m_handle);
}

void CHandleWriter::Write(const std::wstring& text) {
  if (m_bConsole) {
    DWORD written = 0;
    if (!::WriteConsoleW(m_handle, text.data(), static_cast<DWORD>(text.size()), &written, nullptr))
      m_bFailed = true;
    return;
  }
  m_buffer += ToUtf8(text);
  if (m_buffer.size() >= 1 << 16) Flush();
}

void CHandleWriter::WriteUtf8(const std::string& text) {
  if (m_bConsole) {
    CLineWriter::WriteUtf8(text);
    return;
  }
  // A large block (a watch's) goes out as it is, without a copy into the buffer.
  if (m_buffer.empty() && text.size() >= 1 << 16) {
    WriteAll(text.data(), text.size());
    return;
  }
  m_buffer += text;
  if (m_buffer.size() >= 1 << 16) Flush();
}

void CHandleWriter::WriteAll(const char* data, size_t size) {
  size_t done = 0;
  while (done < size && !m_bFailed) {
    DWORD written = 0;
    if (!m_handle || m_handle == INVALID_HANDLE_VALUE ||
        !::WriteFile(m_handle, data + done, static_cast<DWORD>(size - done), &written, nullptr) ||
        written == 0) {
      m_bFailed = true;  // a closed pipe: the rest has nowhere to go
      m_dwError = ::GetLastError();
      if (!m_dwError) m_dwError = ERROR_WRITE_FAULT;
    }
    done += written;
  }
}

void CHandleWriter::Flush() {
  WriteAll(m_buffer.data(), m_buffer.size());
  m_buffer.clear();
}

CRecordWriter::CRecordWriter(CLineWriter& out, RecordFormat format,
                             std::vector<RecordColumn> columns)
    : m_out(out), m_format(format), m_columns(std::move(columns)) {}

std::vector<size_t> StreamWidths(const std::vector<RecordColumn>& columns,
                                 std::vector<size_t> widths) {
  widths.resize(columns.size(), 0);
  for (size_t i = 0; i < columns.size(); ++i)
    if (widths[i] < DisplayWidth(columns[i].header)) widths[i] = DisplayWidth(columns[i].header);
  return widths;
}

std::wstring ColumnsLine(const std::vector<RecordColumn>& columns,
                         const std::vector<std::wstring>& fields,
                         const std::vector<size_t>& widths) {
  size_t last = fields.size();
  while (last > 0 && last - 1 < columns.size() && columns[last - 1].machineOnly) --last;
  std::wstring line;
  bool first = true;
  for (size_t i = 0; i < last; ++i) {
    if (i < columns.size() && columns[i].machineOnly) continue;
    if (!first) line += L"  ";
    first = false;
    line += fields[i];
    // The last column is never padded: no trailing spaces.
    if (i + 1 < last && i < widths.size()) {
      const size_t w = DisplayWidth(fields[i]);
      if (w < widths[i]) line.append(widths[i] - w, L' ');
    }
  }
  return line + L"\n";
}

std::wstring CsvHeaderLine(const std::vector<RecordColumn>& columns) {
  std::wstring line;
  for (size_t i = 0; i < columns.size(); ++i) line += (i ? L"," : L"") + CsvField(columns[i].key);
  return line + L"\n";
}

void CRecordWriter::Stream(std::vector<size_t> widths) {
  m_bStreaming = true;
  m_widths = StreamWidths(m_columns, std::move(widths));
}

void CRecordWriter::WriteHeader() {
  if (m_bHeaderDone) return;
  m_bHeaderDone = true;
  if (m_format == RecordFormat::kCsv) {
    m_out.Write(CsvHeaderLine(m_columns));
  } else if (m_format == RecordFormat::kColumns) {
    std::vector<std::wstring> headers;
    for (const RecordColumn& c : m_columns) headers.emplace_back(c.header);
    WriteColumns(headers, m_widths);
  }
}

void CRecordWriter::WriteColumns(const std::vector<std::wstring>& fields,
                                 const std::vector<size_t>& widths) {
  m_out.Write(ColumnsLine(m_columns, fields, widths));
}

void CRecordWriter::Row(const std::vector<std::wstring>& fields) {
  switch (m_format) {
    case RecordFormat::kCsv: {
      WriteHeader();
      std::wstring line;
      for (size_t i = 0; i < fields.size(); ++i) line += (i ? L"," : L"") + CsvField(fields[i]);
      m_out.Write(line + L"\n");
      return;
    }
    case RecordFormat::kJson: {
      std::wstring line = L"{";
      for (size_t i = 0; i < fields.size() && i < m_columns.size(); ++i) {
        if (i) line += L",";
        line += JsonString(m_columns[i].key) + L":";
        const bool number = m_columns[i].number && !fields[i].empty();
        line += number ? fields[i] : JsonString(fields[i]);
      }
      m_out.Write(line + L"}\n");
      return;
    }
    case RecordFormat::kColumns:
      if (m_bStreaming) {
        WriteHeader();
        WriteColumns(fields, m_widths);
      } else {
        m_rows.push_back(fields);
      }
      return;
  }
}

void CRecordWriter::Finish() {
  if (m_format == RecordFormat::kColumns && !m_bStreaming) {
    m_widths.assign(m_columns.size(), 0);
    for (size_t i = 0; i < m_columns.size(); ++i) m_widths[i] = DisplayWidth(m_columns[i].header);
    for (const auto& row : m_rows)
      for (size_t i = 0; i < row.size() && i < m_widths.size(); ++i)
        if (DisplayWidth(row[i]) > m_widths[i]) m_widths[i] = DisplayWidth(row[i]);
    WriteHeader();
    for (const auto& row : m_rows) WriteColumns(row, m_widths);
    m_rows.clear();
  } else if (m_format == RecordFormat::kCsv) {
    WriteHeader();  // a header row even without data rows
  }
  m_out.Flush();
}
