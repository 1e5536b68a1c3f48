// File access for the engines. Paths are the original's ("cv2vid\O_open_a.san"):
// backslashes become slashes and every path component is matched
// case-insensitively, so data copied from a CD opens whatever its case.
// Relative paths are taken from the current directory (SetCurrentDirectoryA).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/wintypes.h"

BOOL SetCurrentDirectoryA(const char* path);
DWORD GetCurrentDirectoryA(DWORD size, char* buffer);
// Full file name of the running executable, cut to `size` - 1 characters.
DWORD GetModuleFileNameA(HINSTANCE module, char* buffer, DWORD size);
BOOL DeleteFileA(const char* name);

namespace platform {

// Turns an engine path into a host path: separators and the case of every
// existing component resolved. Missing components are kept as written.
// A name that starts with a registered alias starts with its host path.
std::string ResolvePath(const char* name);

// Host paths of any length for the engines, whose own names are short: the
// host file's folder and name up to the first dot of its name are registered
// under a short alias, and the engine name is the alias followed by the rest
// ("/a/long/folder/demo.san" becomes "@1.san"). Names the engines derive from
// it by their usual rules (the ".CHK" beside it) lead to the same folder.
std::string ShortEngineName(const std::string& host_path);
// Writes every alias in a message back as its host path.
std::string ExpandAliases(const std::string& text);

// A buffered binary stream (the engines' "file").
struct File;

// mode is a standard open-mode string: "r", "w", "rb", "wb", "rb+".
File* OpenFile(const char* name, const char* mode);
void CloseFile(File* file);
// Reads up to count bytes; returns how many arrived.
size_t ReadFile(File* file, void* buffer, size_t count);
size_t WriteFile(File* file, const void* buffer, size_t count);
// origin 0 start, 1 current, anything else end. Returns 0 on success.
int SeekFile(File* file, long offset, int origin);
long TellFile(File* file);
void ClearFileError(File* file);

// Where the executable lives, as GetModuleFileNameA reports it (set at start).
void SetModulePath(const std::string& path);

}  // namespace platform
