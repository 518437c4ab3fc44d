// File output: WAV, AU and headerless raw files on a descriptor, through
// libsndfile.  See LICENSE.
#include "fileout.h"

#include <errno.h>
#include <sndfile.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

namespace orasay::engine {

namespace {

// Virtual I/O on a growing byte vector, with seeking, for WAV into pipes.
sf_count_t mem_length(void *user) {
  return sf_count_t(static_cast<memory_buffer *>(user)->bytes.size());
}
sf_count_t mem_seek(sf_count_t offset, int whence, void *user) {
  auto *m = static_cast<memory_buffer *>(user);
  long long base = 0;
  if (whence == SEEK_CUR) base = m->pos;
  if (whence == SEEK_END) base = static_cast<long long>(m->bytes.size());
  const long long to = base + offset;
  if (to < 0) return -1;
  m->pos = to;
  return to;
}
sf_count_t mem_read(void *data, sf_count_t count, void *user) {
  auto *m = static_cast<memory_buffer *>(user);
  const long long size = static_cast<long long>(m->bytes.size());
  const long long n = std::max(0LL, std::min<long long>(count, size - m->pos));
  if (n > 0) std::memcpy(data, m->bytes.data() + m->pos, std::size_t(n));
  m->pos += n;
  return n;
}
sf_count_t mem_write(const void *data, sf_count_t count, void *user) {
  auto *m = static_cast<memory_buffer *>(user);
  const auto end = std::size_t(m->pos + count);
  if (end > m->bytes.size()) m->bytes.resize(end);
  std::memcpy(m->bytes.data() + m->pos, data, std::size_t(count));
  m->pos += count;
  return count;
}
sf_count_t mem_tell(void *user) {
  return static_cast<memory_buffer *>(user)->pos;
}

SF_VIRTUAL_IO memory_io = {mem_length, mem_seek, mem_read, mem_write, mem_tell};

// Writes all bytes, retrying after interruptions and short writes.
bool write_all(int fd, const unsigned char *p, std::size_t n) {
  while (n > 0) {
    const ssize_t w = ::write(fd, p, n);
    if (w < 0 && errno == EINTR) continue;
    if (w <= 0) return false;
    p += w;
    n -= std::size_t(w);
  }
  return true;
}

}  // namespace

std::unique_ptr<file_writer> file_writer::open(int fd, file_format format,
                                               int rate, bool alaw) {
  std::unique_ptr<file_writer> w(new file_writer());
  w->fd_ = fd;
  w->block_.reserve(block_samples + 4096);
  SF_INFO info{};
  info.samplerate = rate;
  info.channels = 1;
  switch (format) {
    case file_format::wav:
      info.format = SF_FORMAT_WAV;
      break;
    case file_format::raw:
      info.format = SF_FORMAT_RAW;
      break;
    case file_format::au:
      info.format = SF_FORMAT_AU;
      break;
  }
  info.format |= alaw ? SF_FORMAT_ALAW : SF_FORMAT_PCM_16;
  if (format == file_format::raw) info.format |= SF_ENDIAN_LITTLE;
  if (fd < 0) return nullptr;
  const bool seekable = ::lseek(fd, 0, SEEK_CUR) >= 0;
  if (format == file_format::wav && !seekable) {
    w->in_memory_ = true;
    w->file_ = sf_open_virtual(&memory_io, SFM_WRITE, &info, &w->memory_);
  } else {
    w->file_ = sf_open_fd(fd, SFM_WRITE, &info, SF_FALSE);
  }
  if (w->file_ == nullptr) return nullptr;
  return w;
}

file_writer::~file_writer() {
  if (file_ != nullptr) sf_close(file_);
}

bool file_writer::write_block() {
  const auto n = sf_count_t(block_.size());
  if (n > 0 && sf_write_short(file_, block_.data(), n) != n) ok_ = false;
  block_.clear();
  return ok_;
}

bool file_writer::write(const short *samples, std::size_t count) {
  if (!ok_) return false;
  block_.insert(block_.end(), samples, samples + count);
  return block_.size() < block_samples || write_block();
}

bool file_writer::close() {
  if (file_ == nullptr) return ok_;
  if (ok_) write_block();
  if (sf_close(file_) != 0) ok_ = false;
  file_ = nullptr;
  if (ok_ && in_memory_)
    ok_ = write_all(fd_, memory_.bytes.data(), memory_.bytes.size());
  return ok_;
}

}  // namespace orasay::engine
