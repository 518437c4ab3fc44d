// File output: WAV, AU and headerless raw files on a descriptor, through
// libsndfile.  See LICENSE.
#include "fileout.h"
#include "platform.h"

#include <errno.h>
#include <sndfile.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

namespace orasay::engine {

namespace {

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

// Sets the lengths of a WAV header (RIFF and data chunk) or an AU header
// to 0xFFFFFFFF: unknown.
void mark_lengths_unknown(std::vector<unsigned char> *header) {
  auto &h = *header;
  if (h.size() >= 12 && std::memcmp(h.data(), ".snd", 4) == 0) {
    std::memset(h.data() + 8, 0xFF, 4);
    return;
  }
  if (h.size() < 12 || std::memcmp(h.data(), "RIFF", 4) != 0) return;
  std::memset(h.data() + 4, 0xFF, 4);
  for (std::size_t at = 12; at + 8 <= h.size();) {
    if (std::memcmp(h.data() + at, "data", 4) == 0) {
      std::memset(h.data() + at + 4, 0xFF, 4);
      return;
    }
    const std::uint32_t size = h[at + 4] | (h[at + 5] << 8) |
                               (h[at + 6] << 16) |
                               (std::uint32_t(h[at + 7]) << 24);
    at += 8 + std::size_t(size) + (size & 1);
  }
}

// Writes bytes at libsndfile's position of a descriptor that writes in
// place; false when it fails.
bool write_in_place(file_sink *s, const unsigned char *bytes, std::size_t n) {
  if (s->at != s->pos) {
    if (seek(s->fd, s->base + s->pos, SEEK_SET) < 0) return false;
    s->at = s->pos;
  }
  if (!write_all(s->fd, bytes, n)) {
    s->at = -1;
    return false;
  }
  s->at += static_cast<long long>(n);
  return true;
}

// Writes bytes into a stream (file_sink); false when it fails.
bool write_stream(file_sink *s, const unsigned char *bytes, std::size_t n) {
  if (!s->streaming && s->opened && s->pos >= s->end) {
    // The first data: the header goes out before it.
    mark_lengths_unknown(&s->header);
    s->streaming = true;
    if (!write_all(s->fd, s->header.data(), s->header.size())) return false;
  }
  if (!s->streaming) {
    // The header, kept until the data begins.
    const auto at = std::size_t(s->pos);
    if (at + n > s->header.size()) s->header.resize(at + n);
    std::memcpy(s->header.data() + at, bytes, n);
    return true;
  }
  // What libsndfile writes again, or adds as it completes the file, is
  // dropped.
  if (s->pos < s->end || s->closing) return true;
  return write_all(s->fd, bytes, n);
}

// libsndfile's virtual I/O on a file_sink.  Nothing may be thrown back
// through libsndfile: a failure is a short write.
sf_count_t sink_length(void *user) {
  return static_cast<file_sink *>(user)->end;
}
sf_count_t sink_seek(sf_count_t offset, int whence, void *user) {
  auto *s = static_cast<file_sink *>(user);
  long long base = 0;
  if (whence == SEEK_CUR) base = s->pos;
  if (whence == SEEK_END) base = s->end;
  const long long to = base + offset;
  if (to < 0) return -1;
  s->pos = to;
  return to;
}
sf_count_t sink_read(void *, sf_count_t, void *) { return 0; }
sf_count_t sink_tell(void *user) { return static_cast<file_sink *>(user)->pos; }
sf_count_t sink_write(const void *data, sf_count_t count, void *user) {
  auto *s = static_cast<file_sink *>(user);
  const auto *bytes = static_cast<const unsigned char *>(data);
  const auto n = std::size_t(count);
  try {
    if (s->failed || !(s->in_place ? write_in_place(s, bytes, n)
                                   : write_stream(s, bytes, n))) {
      s->failed = true;
      return 0;
    }
  } catch (...) {
    s->error = std::current_exception();
    s->failed = true;
    return 0;
  }
  s->pos += count;
  s->end = std::max(s->end, s->pos);
  return count;
}

SF_VIRTUAL_IO sink_io = {sink_length, sink_seek, sink_read, sink_write,
                         sink_tell};

}  // namespace

std::unique_ptr<file_writer> file_writer::open(int fd, file_format format,
                                               int rate, bool alaw,
                                               std::uint64_t data_limit) {
  if (fd < 0) return nullptr;
  std::unique_ptr<file_writer> w(new file_writer());
  w->block_.reserve(block_samples + 4096);
  w->bytes_per_sample_ = alaw ? 1 : 2;
  SF_INFO info{};
  info.samplerate = rate;
  info.channels = 1;
  switch (format) {
    case file_format::wav: info.format = SF_FORMAT_WAV; break;
    case file_format::raw: info.format = SF_FORMAT_RAW; break;
    case file_format::au: info.format = SF_FORMAT_AU; break;
  }
  info.format |= alaw ? SF_FORMAT_ALAW : SF_FORMAT_PCM_16;
  if (format == file_format::raw) info.format |= SF_ENDIAN_LITTLE;
  w->sink_ = std::make_unique<file_sink>();
  file_sink &s = *w->sink_;
  s.fd = fd;
  s.in_place = writes_in_place(fd);
  if (s.in_place) {
    // Where libsndfile would put the file on the descriptor: at its
    // position, or at its end when that position is past the start.
    s.base = seek(fd, 0, SEEK_CUR);
    if (s.base > 0) s.base = seek(fd, 0, SEEK_END);
    if (s.base < 0) return nullptr;
    s.at = 0;
    // A WAV file's lengths must fit its header; AU says "unknown" when
    // they do not, and raw files have none.
    if (format == file_format::wav) w->data_limit_ = data_limit;
  }
  w->file_ = sf_open_virtual(&sink_io, SFM_WRITE, &info, &s);
  s.opened = true;
  w->rethrow();
  if (w->file_ == nullptr) return nullptr;
  return w;
}

file_writer::~file_writer() {
  if (file_ != nullptr) sf_close(file_);
}

void file_writer::rethrow() {
  if (sink_ && sink_->error) {
    const std::exception_ptr e = sink_->error;
    sink_->error = nullptr;
    std::rethrow_exception(e);
  }
}

bool file_writer::write_block() {
  const auto n = sf_count_t(block_.size());
  if (n > 0 && error_ == write_error::none) {
    const std::uint64_t bytes =
        std::uint64_t(n) * std::uint64_t(bytes_per_sample_);
    if (data_limit_ != 0 && data_bytes_ + bytes > data_limit_) {
      error_ = write_error::too_long;
    } else if (sf_write_short(file_, block_.data(), n) != n) {
      error_ = write_error::io;
    } else {
      data_bytes_ += bytes;
    }
  }
  block_.clear();
  rethrow();
  return error_ == write_error::none;
}

bool file_writer::write(const short *samples, std::size_t count) {
  if (error_ != write_error::none) return false;
  block_.insert(block_.end(), samples, samples + count);
  return block_.size() < block_samples || write_block();
}

bool file_writer::close() {
  if (file_ == nullptr) return error_ == write_error::none;
  if (error_ == write_error::none) write_block();
  sink_->closing = true;
  if (sf_close(file_) != 0 && error_ == write_error::none)
    error_ = write_error::io;
  file_ = nullptr;
  rethrow();
  file_sink &s = *sink_;
  // The descriptor is left after the file, as after writing it straight.
  if (s.in_place && s.at != s.end) seek(s.fd, s.base + s.end, SEEK_SET);
  if (!s.in_place && !s.streaming && !s.failed && error_ == write_error::none) {
    // No audio at all: the header, with its true lengths, is the file.
    if (!write_all(s.fd, s.header.data(), s.header.size())) s.failed = true;
  }
  if (s.failed && error_ == write_error::none) error_ = write_error::io;
  return error_ == write_error::none;
}

}  // namespace orasay::engine
