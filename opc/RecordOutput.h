// Where records are written (the console client's output, a recording's file), and the
// three forms they take: readable columns, CSV (RFC 4180, a header row) and JSON (one
// object a line).
#pragma once
#include <windows.h>

#include <string>
#include <vector>

class CLineWriter {
 public:
  virtual ~CLineWriter() = default;
  virtual void Write(const std::wstring& text) = 0;
  // Text already in UTF-8 (a fast path for large outputs).
  virtual void WriteUtf8(const std::string& text);
  virtual void Flush() {}
  // Nothing more can be written (a closed pipe, a full disk).
  virtual bool Failed() const { return false; }
};

// Appends UTF-8 to a string; what tests read.
class CStringWriter : public CLineWriter {
 public:
  void Write(const std::wstring& text) override;
  void WriteUtf8(const std::string& text) override { m_text += text; }
  std::string m_text;
};

// A console gets wide text (any code page shows Chinese); a file or a pipe gets UTF-8,
// buffered.
class CHandleWriter : public CLineWriter {
 public:
  explicit CHandleWriter(HANDLE handle, bool ownsHandle = false);
  ~CHandleWriter() override;
  CHandleWriter(const CHandleWriter&) = delete;
  CHandleWriter& operator=(const CHandleWriter&) = delete;
  void Write(const std::wstring& text) override;
  void WriteUtf8(const std::string& text) override;
  void Flush() override;
  bool Failed() const override { return m_bFailed; }
  // The system's error code of the write that failed (0 while none has).
  DWORD Error() const { return m_dwError; }

 private:
  void WriteAll(const char* data, size_t size);

  HANDLE m_handle;
  bool m_bOwns;
  bool m_bConsole = false;
  bool m_bFailed = false;
  DWORD m_dwError = 0;
  std::string m_buffer;
};

enum class RecordFormat { kColumns, kCsv, kJson };

struct RecordColumn {
  const wchar_t* header;     // columns and CSV
  const wchar_t* key;        // JSON
  bool number = false;       // JSON without quotes
  bool machineOnly = false;  // CSV and JSON only (a code beside its text)
};

// Widths a streaming columns form uses: the ones given, at least each header's.
std::vector<size_t> StreamWidths(const std::vector<RecordColumn>& columns,
                                 std::vector<size_t> widths);
// One line of the columns form: machine-only columns left out, every shown field but the
// last padded to its width, then "\n".
std::wstring ColumnsLine(const std::vector<RecordColumn>& columns,
                         const std::vector<std::wstring>& fields,
                         const std::vector<size_t>& widths);
// The CSV form's header: every column's key, then "\n" (every line of every form ends so).
std::wstring CsvHeaderLine(const std::vector<RecordColumn>& columns);

class CRecordWriter {
 public:
  CRecordWriter(CLineWriter& out, RecordFormat format, std::vector<RecordColumn> columns);
  // Columns are laid out at Finish, once every row is known; streaming writes each row at
  // once with the widths given here (a wider value simply pushes the rest right).
  void Stream(std::vector<size_t> widths);
  void Row(const std::vector<std::wstring>& fields);
  void Finish();

 private:
  void WriteHeader();
  void WriteColumns(const std::vector<std::wstring>& fields, const std::vector<size_t>& widths);

  CLineWriter& m_out;
  RecordFormat m_format;
  std::vector<RecordColumn> m_columns;
  std::vector<std::vector<std::wstring>> m_rows;
  std::vector<size_t> m_widths;
  bool m_bStreaming = false;
  bool m_bHeaderDone = false;
};
