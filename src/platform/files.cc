// Case-insensitive path resolution and the engines' buffered file streams.
#include "platform/files.h"

#include <dirent.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <utility>
#include <vector>

#include "platform/faults.h"
#include "platform/testing.h"

struct platform::File {
  FILE* stream = nullptr;
  std::string path;
};

namespace {

std::mutex g_hook_mutex;
platform::ReadFaultHook g_hook;
std::string g_module_path;
// Short engine names and the host path each stands for, in registration order.
std::mutex g_alias_mutex;
std::vector<std::pair<std::string, std::string>> g_aliases;
constexpr char kAliasMark = '@';

// The host path for a name that starts with an alias (followed by its end,
// a dot or a separator); the name itself otherwise.
std::string SubstituteAlias(const std::string& name) {
  if (name.empty() || name[0] != kAliasMark) return name;
  std::lock_guard<std::mutex> lock(g_alias_mutex);
  for (const auto& [alias, host] : g_aliases) {
    if (name.compare(0, alias.size(), alias) != 0) continue;
    if (name.size() == alias.size() || std::strchr("./\\", name[alias.size()]) != nullptr)
      return host + name.substr(alias.size());
  }
  return name;
}

bool Exists(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0;
}

// Finds `name` in `dir` ignoring case; exact matches win.
std::string MatchComponent(const std::string& dir, const std::string& name) {
  std::string probe = dir.empty() ? name : (dir == "/" ? "/" + name : dir + "/" + name);
  if (Exists(probe)) return name;
  DIR* d = opendir(dir.empty() ? "." : dir.c_str());
  if (d == nullptr) return name;
  std::string found = name;
  while (dirent* entry = readdir(d)) {
    if (strcasecmp(entry->d_name, name.c_str()) == 0) {
      found = entry->d_name;
      break;
    }
  }
  closedir(d);
  return found;
}

}  // namespace

namespace platform {

std::string ResolvePath(const char* name) {
  if (name == nullptr) return std::string();
  std::string path = SubstituteAlias(name);
  for (char& c : path) {
    if (c == '\\') c = '/';
  }
  std::string result;
  size_t pos = 0;
  if (!path.empty() && path[0] == '/') {
    result = "/";
    pos = 1;
  }
  while (pos <= path.size()) {
    size_t slash = path.find('/', pos);
    if (slash == std::string::npos) slash = path.size();
    std::string component = path.substr(pos, slash - pos);
    pos = slash + 1;
    if (component.empty()) continue;
    if (component != "." && component != "..") component = MatchComponent(result, component);
    if (!result.empty() && result != "/") result += '/';
    result += component;
  }
  return result;
}

File* OpenFile(const char* name, const char* mode) {
  if (name == nullptr || mode == nullptr) return nullptr;
  std::string path = ResolvePath(name);
  if (path.empty()) return nullptr;
  struct stat st;
  // Directories open as streams on some systems; they are never files here.
  // Nor, to read, is anything but a regular file: a pipe would hold the open
  // until a writer came, and a device has no length to seek to.
  if (stat(path.c_str(), &st) == 0 &&
      (S_ISDIR(st.st_mode) || (mode[0] == 'r' && !S_ISREG(st.st_mode)))) {
    errno = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
    return nullptr;
  }
  if (AllocationRefused()) {
    errno = EMFILE;  // as when the process has no descriptor left
    return nullptr;
  }
  FILE* stream = fopen(path.c_str(), mode);
  if (stream == nullptr) return nullptr;
  return new File{stream, path};
}

void CloseFile(File* file) {
  if (file == nullptr) return;
  fclose(file->stream);
  delete file;
}

size_t ReadFile(File* file, void* buffer, size_t count) {
  if (file == nullptr || count == 0) return 0;
  long offset = ftell(file->stream);
  size_t got = fread(buffer, 1, count, file->stream);
  ReadFaultHook hook;
  {
    std::lock_guard<std::mutex> lock(g_hook_mutex);
    hook = g_hook;
  }
  if (hook) {
    size_t reported = hook(file->path, offset, static_cast<uint8_t*>(buffer), got);
    if (reported < got) {
      got = reported;
      fseek(file->stream, offset + static_cast<long>(got), SEEK_SET);
    }
  }
  return got;
}

size_t WriteFile(File* file, const void* buffer, size_t count) {
  if (file == nullptr || count == 0) return 0;
  return fwrite(buffer, 1, count, file->stream);
}

int SeekFile(File* file, long offset, int origin) {
  if (file == nullptr) return -1;
  int whence = origin == 0 ? SEEK_SET : origin == 1 ? SEEK_CUR : SEEK_END;
  return fseek(file->stream, offset, whence);
}

long TellFile(File* file) { return file == nullptr ? -1 : ftell(file->stream); }

void ClearFileError(File* file) {
  if (file != nullptr) clearerr(file->stream);
}

void SetReadFaultHook(ReadFaultHook hook) {
  std::lock_guard<std::mutex> lock(g_hook_mutex);
  g_hook = std::move(hook);
}

void SetModulePath(const std::string& path) { g_module_path = path; }

std::string ShortEngineName(const std::string& host_path) {
  size_t component = host_path.find_last_of("/\\");
  component = component == std::string::npos ? 0 : component + 1;
  size_t dot = host_path.find('.', component);
  if (dot == std::string::npos) dot = host_path.size();
  std::string stem = host_path.substr(0, dot);
  std::lock_guard<std::mutex> lock(g_alias_mutex);
  std::string alias;
  for (const auto& [a, host] : g_aliases) {
    if (host == stem) alias = a;
  }
  if (alias.empty()) {
    alias = kAliasMark + std::to_string(g_aliases.size() + 1);
    g_aliases.emplace_back(alias, stem);
  }
  return alias + host_path.substr(dot);
}

std::string ExpandAliases(const std::string& text) {
  std::string out;
  std::lock_guard<std::mutex> lock(g_alias_mutex);
  for (size_t i = 0; i < text.size();) {
    // The longest alias that starts here and is not followed by a digit.
    const std::pair<std::string, std::string>* best = nullptr;
    if (text[i] == kAliasMark) {
      for (const auto& entry : g_aliases) {
        const std::string& a = entry.first;
        if (text.compare(i, a.size(), a) == 0 &&
            (i + a.size() == text.size() ||
             !std::isdigit(static_cast<unsigned char>(text[i + a.size()]))) &&
            (best == nullptr || a.size() > best->first.size()))
          best = &entry;
      }
    }
    if (best != nullptr) {
      out += best->second;
      i += best->first.size();
    } else {
      out += text[i++];
    }
  }
  return out;
}

}  // namespace platform

BOOL SetCurrentDirectoryA(const char* path) {
  if (path == nullptr) return 0;
  return chdir(platform::ResolvePath(path).c_str()) == 0 ? 1 : 0;
}

DWORD GetCurrentDirectoryA(DWORD size, char* buffer) {
  std::vector<char> cwd(4096);
  if (getcwd(cwd.data(), cwd.size()) == nullptr) return 0;
  DWORD length = static_cast<DWORD>(strlen(cwd.data()));
  if (buffer == nullptr || size <= length) return length + 1;
  memcpy(buffer, cwd.data(), length + 1);
  return length;
}

DWORD GetModuleFileNameA(HINSTANCE /*module*/, char* buffer, DWORD size) {
  if (buffer == nullptr || size == 0) return 0;
  std::string path = g_module_path;
  if (path.empty()) {
    std::vector<char> link(4096);
    ssize_t n = readlink("/proc/self/exe", link.data(), link.size() - 1);
    if (n > 0) path.assign(link.data(), static_cast<size_t>(n));
  }
  size_t n = std::min<size_t>(path.size(), size - 1);
  memcpy(buffer, path.data(), n);
  buffer[n] = 0;
  return static_cast<DWORD>(n);
}

BOOL DeleteFileA(const char* name) {
  if (name == nullptr) return 0;
  return unlink(platform::ResolvePath(name).c_str()) == 0 ? 1 : 0;
}
