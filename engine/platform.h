// The engine's platform services: where its own files lie, the output file
// the program passes, and a closed pipe that must not end the process.
// POSIX: platform_posix.cpp; Windows: platform_win32.cpp.  See LICENSE.
#ifndef ORASAY_ENGINE_PLATFORM_H
#define ORASAY_ENGINE_PLATFORM_H

#include <cstdint>
#include <string>

#if !defined(_WIN32)
#include <signal.h>
#endif

namespace orasay::engine {

// The directory of the file that holds this code (the engine library, or a
// program that links the engine's stages), as a path that the C library's
// fopen takes; empty when unknown.  On Windows that is a path in the ANSI
// code page of at most max_ansi_directory bytes: a folder whose name the
// code page cannot spell, or a longer one, is given by its short (8.3)
// name; when it has none (short names switched off), the result is empty
// and *problem says why.
std::string own_directory(std::string *problem = nullptr);

// Windows' ANSI file functions take paths of at most 259 characters; this
// leaves room for the names of the data's files below the directory.
constexpr std::size_t max_ansi_directory = 200;

// The output file that the program passed (a descriptor on POSIX, an HFILE
// on Windows) as a C library descriptor, for as long as this lives; the
// program's file stays open.  descriptor() is -1 when `file` is not an open
// file.
class output_file {
 public:
  explicit output_file(int32_t file);
  ~output_file();
  output_file(const output_file &) = delete;
  output_file &operator=(const output_file &) = delete;
  int descriptor() const { return fd_; }

 private:
  int fd_ = -1;
  [[maybe_unused]] bool owned_ = false;  // whether fd_ is ours to close
};

// Whether bytes written to the descriptor land where it is positioned, so
// that a file's header can be written again at its start: a file on a disk
// (or a device that seeks), but neither a pipe nor a file opened for
// appending only (O_APPEND; on Windows a handle that may append and not
// write), which put every byte at their end.
bool writes_in_place(int fd);

// lseek with 64-bit offsets on every platform; -1 on failure.
std::int64_t seek(int fd, std::int64_t offset, int whence);

// Keeps a closed pipe from ending the process while it lives: a write into
// it then fails instead.  On POSIX it blocks SIGPIPE and consumes a SIGPIPE
// raised meanwhile on this thread; Windows raises no such signal.
class sigpipe_guard {
 public:
  sigpipe_guard();
  ~sigpipe_guard();
  sigpipe_guard(const sigpipe_guard &) = delete;
  sigpipe_guard &operator=(const sigpipe_guard &) = delete;

#if !defined(_WIN32)
 private:
  sigset_t old_mask_;
  bool was_pending_ = false;
#endif
};

}  // namespace orasay::engine

#endif  // ORASAY_ENGINE_PLATFORM_H
