// The few Windows services the driver uses, under their Windows names: the
// real ones on Windows, small POSIX equivalents elsewhere.  See LICENSE.
#ifndef ORASAY_PLATFORM_H
#define ORASAY_PLATFORM_H

#include <cstdint>
#include <cstring>
#include <string>

#if defined(_WIN32)

#include <io.h>
#include <windows.h>

// Turns a looked-up export into the entry point's own pointer type.
template <typename Fn>
Fn lookup_entry(HMODULE lib, const char *name) {
  return reinterpret_cast<Fn>(
      reinterpret_cast<void (*)()>(GetProcAddress(lib, name)));
}

inline HANDLE handle_of(HFILE file) {
  return reinterpret_cast<HANDLE>(static_cast<intptr_t>(file));
}

// The system's reason why OpenFile failed to create `name`.  OpenFile makes
// the name a full path, which must fit into OFS_MAXPATHNAME - 1 characters,
// and says so only vaguely: a short name in a deep folder fails as well.
inline std::string open_error_text(const char *name, const OFSTRUCT &of) {
  // The size needed for the full path, its terminator included; 0 when the
  // name cannot be made one.
  const DWORD full = GetFullPathNameA(name, 0, nullptr, nullptr);
  if (std::strlen(name) >= OFS_MAXPATHNAME || full > OFS_MAXPATHNAME)
    return "full path longer than " + std::to_string(OFS_MAXPATHNAME - 1) +
           " characters";
  char text[256] = "";
  DWORD n =
      FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                     nullptr, of.nErrCode, 0, text, sizeof text, nullptr);
  while (n > 0 &&
         (text[n - 1] == '\r' || text[n - 1] == '\n' || text[n - 1] == '.'))
    text[--n] = '\0';
  return n ? std::string(text) : "error " + std::to_string(of.nErrCode);
}

// Takes the current folder out of the order in which LoadLibraryA searches
// for a bare name; the program's folder, the system folders and PATH stay.
// Naming any folder for SetDllDirectory does that, and the system folder,
// searched in any case, adds nothing.  (An empty name does it on Windows,
// but wine keeps the current folder then.)
inline void leave_current_folder_out_of_library_search() {
  wchar_t system[MAX_PATH];
  const UINT n = GetSystemDirectoryW(system, MAX_PATH);
  if (n == 0 || n >= MAX_PATH || !SetDllDirectoryW(system))
    SetDllDirectoryA("");
}

inline bool stdout_is_terminal() { return _isatty(_fileno(stdout)) != 0; }

// Whether the console reads UTF-8; else its code page gives the bytes
// above 0x7F characters of their own.
inline bool terminal_reads_utf8() { return GetConsoleOutputCP() == CP_UTF8; }

// Closes an output file that was not written completely and, when it is a
// file on disk, empties and deletes it: emptied first, so that no other
// name of the file (a hard link) keeps what was written.  Pipes and devices
// are only closed.
inline void discard_output(const char *name, HFILE file) {
  const HANDLE h = handle_of(file);
  const bool on_disk = GetFileType(h) == FILE_TYPE_DISK;
  if (on_disk && SetFilePointer(h, 0, nullptr, FILE_BEGIN) == 0)
    SetEndOfFile(h);
  CloseHandle(h);
  if (on_disk) DeleteFileA(name);
}

#else

#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

using HMODULE = void *;
using HANDLE = void *;
using HFILE = int;

// What OpenFile reports back; nErrCode holds errno after a failure.
struct OFSTRUCT {
  unsigned char cBytes;
  unsigned char fFixedDisk;
  unsigned short nErrCode;
  unsigned short Reserved1;
  unsigned short Reserved2;
  char szPathName[128];
};

constexpr unsigned OF_CREATE = 0x1000;
constexpr HFILE HFILE_ERROR = -1;

// The dynamic loader searches the current directory for a bare name only
// where LD_LIBRARY_PATH asks for it: there is nothing to take out.
inline void leave_current_folder_out_of_library_search() {}

// Loads a shared library by its bare file name through the dynamic loader's
// search order; null when it cannot be loaded.
inline HMODULE LoadLibraryA(const char *name) {
  return dlopen(name, RTLD_NOW | RTLD_LOCAL);
}

inline void *GetProcAddress(HMODULE lib, const char *name) {
  return dlsym(lib, name);
}

template <typename Fn>
Fn lookup_entry(HMODULE lib, const char *name) {
  return reinterpret_cast<Fn>(GetProcAddress(lib, name));
}

// OF_CREATE: creates the file, or truncates it when it exists.
inline HFILE OpenFile(const char *name, OFSTRUCT *of, unsigned style) {
  (void)style;
  const int fd = open(name, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  of->nErrCode = fd < 0 ? static_cast<unsigned short>(errno) : 0;
  return fd < 0 ? HFILE_ERROR : fd;
}

inline HANDLE handle_of(HFILE file) {
  return reinterpret_cast<HANDLE>(static_cast<intptr_t>(file));
}

inline int CloseHandle(HANDLE handle) {
  return close(static_cast<int>(reinterpret_cast<intptr_t>(handle))) == 0;
}

inline std::string open_error_text(const char *name, const OFSTRUCT &of) {
  (void)name;
  return std::strerror(of.nErrCode);
}

inline bool stdout_is_terminal() { return isatty(STDOUT_FILENO) != 0; }

// Whether the terminal reads UTF-8, as terminals here do.
inline bool terminal_reads_utf8() { return true; }

// Closes an output file that was not written completely.  A regular file
// is emptied, so that no other name of it (a hard link, or the file that a
// symbolic link leads to) keeps what was written, and removed when the name
// still leads to it.  Pipes, FIFOs and devices are only closed.
inline void discard_output(const char *name, HFILE file) {
  struct stat opened = {};
  struct stat named = {};
  if (fstat(file, &opened) == 0 && S_ISREG(opened.st_mode)) {
    (void)!ftruncate(file, 0);
    if (lstat(name, &named) == 0 && named.st_dev == opened.st_dev &&
        named.st_ino == opened.st_ino)
      unlink(name);
  }
  close(file);
}

#endif

#endif  // ORASAY_PLATFORM_H
