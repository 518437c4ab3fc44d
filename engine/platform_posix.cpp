// The engine's platform services on POSIX systems.  See LICENSE.
#include <dlfcn.h>
#include <fcntl.h>
#include <time.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "platform.h"

namespace orasay::engine {

std::string own_directory(std::string *) {
  Dl_info info{};
  if (::dladdr(reinterpret_cast<void *>(&own_directory), &info) == 0 ||
      info.dli_fname == nullptr)
    return {};
  // The loader's name for it can hold "..": the real path is shorter.
  char *real = ::realpath(info.dli_fname, nullptr);
  const std::filesystem::path file = real != nullptr ? real : info.dli_fname;
  std::free(real);
  return file.has_parent_path() ? file.parent_path().string() : ".";
}

output_file::output_file(int32_t file) : fd_(file) {}

output_file::~output_file() = default;

bool writes_in_place(int fd) {
  const int flags = ::fcntl(fd, F_GETFL);
  return flags != -1 && (flags & O_APPEND) == 0 &&
         ::lseek(fd, 0, SEEK_CUR) >= 0;
}

std::int64_t seek(int fd, std::int64_t offset, int whence) {
  return ::lseek(fd, off_t(offset), whence);
}

sigpipe_guard::sigpipe_guard() {
  sigset_t pipe_only;
  sigemptyset(&pipe_only);
  sigaddset(&pipe_only, SIGPIPE);
  sigset_t pending;
  sigpending(&pending);
  was_pending_ = sigismember(&pending, SIGPIPE) == 1;
  pthread_sigmask(SIG_BLOCK, &pipe_only, &old_mask_);
}

sigpipe_guard::~sigpipe_guard() {
  if (!was_pending_) {
    sigset_t pending;
    sigpending(&pending);
    if (sigismember(&pending, SIGPIPE) == 1) {
      sigset_t pipe_only;
      sigemptyset(&pipe_only);
      sigaddset(&pipe_only, SIGPIPE);
      const timespec zero{0, 0};
      sigtimedwait(&pipe_only, nullptr, &zero);
    }
  }
  pthread_sigmask(SIG_SETMASK, &old_mask_, nullptr);
}

}  // namespace orasay::engine
