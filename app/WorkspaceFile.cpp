#include "WorkspaceFile.h"

#include "Workspace.h"

WorkspaceFileResult ReadWorkspaceFile(const std::wstring& path, std::string& bytes) {
  HANDLE h = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return WorkspaceFileResult::CannotOpen;
  LARGE_INTEGER size{};
  WorkspaceFileResult result = WorkspaceFileResult::Ok;
  if (!::GetFileSizeEx(h, &size)) {
    result = WorkspaceFileResult::ReadFailed;
  } else if (static_cast<ULONGLONG>(size.QuadPart) > workspace::kMaxFileBytes) {
    result = WorkspaceFileResult::TooLarge;
  } else {
    bytes.assign(static_cast<size_t>(size.QuadPart), '\0');
    DWORD got = 0;
    if (!bytes.empty() &&
        (!::ReadFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr) ||
         got != bytes.size()))
      result = WorkspaceFileResult::ReadFailed;
  }
  ::CloseHandle(h);
  if (result != WorkspaceFileResult::Ok) bytes.clear();
  return result;
}

BOOL WriteFileReplacing(const std::wstring& path, const std::string& bytes) {
  wchar_t full[MAX_PATH * 4];
  DWORD n = ::GetFullPathNameW(path.c_str(), MAX_PATH * 4, full, nullptr);
  if (n == 0 || n >= MAX_PATH * 4) return FALSE;
  std::wstring dir(full, n);
  size_t slash = dir.find_last_of(L"\\/");
  dir = slash == std::wstring::npos ? std::wstring(L".") : dir.substr(0, slash + 1);
  // Beside the target, so the rename stays on one volume and replaces it in one step.
  wchar_t temp[MAX_PATH * 4];
  if (dir.size() > MAX_PATH - 14 || !::GetTempFileNameW(dir.c_str(), L"plv", 0, temp)) return FALSE;

  HANDLE h =
      ::CreateFileW(temp, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    ::DeleteFileW(temp);
    return FALSE;
  }
  DWORD written = 0;
  BOOL ok = bytes.empty() ||
            (::WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
             written == bytes.size());
  ok = ok && ::FlushFileBuffers(h);
  ok = ::CloseHandle(h) && ok;
  ok = ok && ::MoveFileExW(temp, full, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
  if (!ok) ::DeleteFileW(temp);
  return ok;
}
