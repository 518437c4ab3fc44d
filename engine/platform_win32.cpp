// The engine's platform services on Windows.  See LICENSE.
#include <fcntl.h>
#include <io.h>
#include <windows.h>
// winternl.h after windows.h, which it builds on.
#include <winternl.h>

#include <cstdio>

#include "platform.h"

namespace orasay::engine {

namespace {

// The path in the ANSI code page, which the C library's file functions and
// so eSpeak NG use; empty when the code page cannot spell it.
std::string to_ansi(const std::wstring &path) {
  if (path.empty()) return {};
  // A UTF-8 code page spells everything and takes neither flag nor check.
  const bool utf8 = GetACP() == CP_UTF8;
  const DWORD flags = utf8 ? 0 : WC_NO_BEST_FIT_CHARS;
  BOOL lossy = FALSE;
  BOOL *check = utf8 ? nullptr : &lossy;
  const int n = WideCharToMultiByte(
      CP_ACP, flags, path.data(), int(path.size()), nullptr, 0, nullptr, check);
  if (n <= 0 || lossy) return {};
  std::string out(std::size_t(n), '\0');
  WideCharToMultiByte(CP_ACP, flags, path.data(), int(path.size()), out.data(),
                      n, nullptr, check);
  return lossy ? std::string() : out;
}

// The path as well as the ANSI code page can show it, for messages.
std::string shown(const std::wstring &path) {
  const int n = WideCharToMultiByte(CP_ACP, 0, path.data(), int(path.size()),
                                    nullptr, 0, nullptr, nullptr);
  std::string out(std::size_t(std::max(n, 0)), '\0');
  WideCharToMultiByte(CP_ACP, 0, path.data(), int(path.size()), out.data(), n,
                      nullptr, nullptr);
  return out;
}

std::wstring short_name(const std::wstring &path) {
  const DWORD size = GetShortPathNameW(path.c_str(), nullptr, 0);
  if (size == 0) return {};
  std::wstring out(size, L'\0');
  const DWORD n = GetShortPathNameW(path.c_str(), out.data(), size);
  if (n == 0 || n >= size) return {};
  out.resize(n);
  return out;
}

// The folder as a path for the C library: its own name when the code page
// spells it within the length, else its short name; empty when neither.
std::string ansi_folder(const std::wstring &folder) {
  std::string path = to_ansi(folder);
  if (!path.empty() && path.size() <= max_ansi_directory) return path;
  path = to_ansi(short_name(folder));
  if (!path.empty() && path.size() <= max_ansi_directory) return path;
  return {};
}

}  // namespace

std::string own_directory(std::string *problem) {
  HMODULE self = nullptr;
  if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                              GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                          reinterpret_cast<LPCWSTR>(&to_ansi), &self))
    return {};
  std::wstring file(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = GetModuleFileNameW(self, file.data(), DWORD(file.size()));
    if (n == 0) return {};
    if (n < file.size()) {
      file.resize(n);
      break;
    }
    if (file.size() >= 32768) return {};
    file.resize(file.size() * 2);
  }
  const std::size_t slash = file.find_last_of(L"\\/");
  if (slash == std::wstring::npos) return {};
  const std::wstring folder = file.substr(0, slash);
  const std::string path = ansi_folder(folder);
  if (path.empty() && problem != nullptr)
    *problem = "cannot open its data in " + shown(folder) +
               ": this folder's name is not in the system's code page or is "
               "too long, and it has no short (8.3) name; put orasay into a "
               "folder with a shorter, plain name";
  return path;
}

output_file::output_file(int32_t file) {
  // A descriptor of the C library on a copy of the program's handle, so
  // that closing it leaves the program's own handle open.
  const HANDLE handle = reinterpret_cast<HANDLE>(static_cast<intptr_t>(file));
  HANDLE copy = nullptr;
  const HANDLE process = GetCurrentProcess();
  if (!DuplicateHandle(process, handle, process, &copy, 0, FALSE,
                       DUPLICATE_SAME_ACCESS))
    return;
  fd_ = _open_osfhandle(reinterpret_cast<intptr_t>(copy), _O_BINARY);
  if (fd_ < 0) {
    CloseHandle(copy);
    return;
  }
  owned_ = true;
}

output_file::~output_file() {
  if (owned_) _close(fd_);
}

namespace {

// Whether the handle may append to its file and not write into it: Windows
// then puts every write at the end of the file, wherever the file pointer
// stands.  Only ntdll tells a handle's access rights; it is looked up, not
// imported.
bool appends_only(HANDLE handle) {
  using query_fn = decltype(&NtQueryObject);
  const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  if (ntdll == nullptr) return false;
  const auto query = reinterpret_cast<query_fn>(
      reinterpret_cast<void (*)()>(GetProcAddress(ntdll, "NtQueryObject")));
  PUBLIC_OBJECT_BASIC_INFORMATION info{};
  if (query == nullptr || !NT_SUCCESS(query(handle, ObjectBasicInformation,
                                            &info, sizeof info, nullptr)))
    return false;
  return (info.GrantedAccess & FILE_APPEND_DATA) != 0 &&
         (info.GrantedAccess & FILE_WRITE_DATA) == 0;
}

}  // namespace

// Windows leaves SetFilePointer on a pipe undefined, so the C library's
// lseek cannot tell a pipe from a file: ask Windows what the handle is.
bool writes_in_place(int fd) {
  const auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(fd));
  return handle != INVALID_HANDLE_VALUE &&
         GetFileType(handle) == FILE_TYPE_DISK && !appends_only(handle);
}

std::int64_t seek(int fd, std::int64_t offset, int whence) {
  return _lseeki64(fd, offset, whence);
}

sigpipe_guard::sigpipe_guard() = default;
sigpipe_guard::~sigpipe_guard() = default;

}  // namespace orasay::engine
