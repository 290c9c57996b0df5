// Workspace files on disk: read whole and bounded, written through a temporary file and a
// rename, so a failed save never leaves half a file where a good one was.
#pragma once
#include <windows.h>

#include <string>

enum class WorkspaceFileResult { Ok, CannotOpen, TooLarge, ReadFailed };

// The whole file, refused before reading when it is larger than the reader accepts.
WorkspaceFileResult ReadWorkspaceFile(const std::wstring& path, std::string& bytes);
// Writes a temporary file beside path, flushes it and renames it over path. FALSE (and no
// temporary file left behind) on any failure; the file at path is then as it was.
BOOL WriteFileReplacing(const std::wstring& path, const std::string& bytes);
