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

// Sets the RIFF length and the data chunk's length of a WAV header to
// 0xFFFFFFFF: unknown.
void mark_lengths_unknown(std::vector<unsigned char> *header) {
  auto &h = *header;
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

// Virtual I/O for a WAV file into a pipe (wav_stream).  Nothing may be
// thrown back through libsndfile: a failure is a short write.
sf_count_t stream_length(void *user) {
  return static_cast<wav_stream *>(user)->end;
}
sf_count_t stream_seek(sf_count_t offset, int whence, void *user) {
  auto *w = static_cast<wav_stream *>(user);
  long long base = 0;
  if (whence == SEEK_CUR) base = w->pos;
  if (whence == SEEK_END) base = w->end;
  const long long to = base + offset;
  if (to < 0) return -1;
  w->pos = to;
  return to;
}
sf_count_t stream_read(void *, sf_count_t, void *) { return 0; }
sf_count_t stream_tell(void *user) {
  return static_cast<wav_stream *>(user)->pos;
}
sf_count_t stream_write(const void *data, sf_count_t count, void *user) {
  auto *w = static_cast<wav_stream *>(user);
  const auto *bytes = static_cast<const unsigned char *>(data);
  const auto n = std::size_t(count);
  try {
    if (!w->streaming && w->opened && w->pos >= w->end && w->end > 0) {
      // The first data: the header goes out before it.
      mark_lengths_unknown(&w->header);
      w->streaming = true;
      if (!write_all(w->fd, w->header.data(), w->header.size()))
        w->failed = true;
    }
    if (!w->streaming) {
      // The header, kept until the data begins.
      const auto at = std::size_t(w->pos);
      if (at + n > w->header.size()) w->header.resize(at + n);
      std::memcpy(w->header.data() + at, bytes, n);
    } else if (w->pos >= w->end) {
      if (w->failed || !write_all(w->fd, bytes, n)) {
        w->failed = true;
        return 0;
      }
    }
    // Else libsndfile rewrites what has gone out already: dropped.
  } catch (...) {
    w->error = std::current_exception();
    w->failed = true;
    return 0;
  }
  w->pos += count;
  w->end = std::max(w->end, w->pos);
  return count;
}

SF_VIRTUAL_IO stream_io = {stream_length, stream_seek, stream_read,
                           stream_write, stream_tell};

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
  const bool seekable = is_seekable(fd);
  if (format == file_format::wav && !seekable) {
    w->stream_ = std::make_unique<wav_stream>();
    w->stream_->fd = fd;
    w->file_ = sf_open_virtual(&stream_io, SFM_WRITE, &info, w->stream_.get());
    w->stream_->opened = true;
    w->rethrow();
  } else {
    w->file_ = sf_open_fd(fd, SFM_WRITE, &info, SF_FALSE);
    // A WAV file's lengths must fit its header; AU on a pipe says
    // "unknown", and raw files have none.
    if (format == file_format::wav) w->data_limit_ = data_limit;
  }
  if (w->file_ == nullptr) return nullptr;
  return w;
}

file_writer::~file_writer() {
  if (file_ != nullptr) sf_close(file_);
}

void file_writer::rethrow() {
  if (stream_ && stream_->error) {
    const std::exception_ptr e = stream_->error;
    stream_->error = nullptr;
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
  if (sf_close(file_) != 0 && error_ == write_error::none)
    error_ = write_error::io;
  file_ = nullptr;
  rethrow();
  if (stream_ && !stream_->streaming && error_ == write_error::none) {
    // No audio at all: the header, with its true lengths, is the file.
    if (!write_all(stream_->fd, stream_->header.data(), stream_->header.size()))
      error_ = write_error::io;
  }
  if (stream_ && stream_->failed && error_ == write_error::none)
    error_ = write_error::io;
  return error_ == write_error::none;
}

}  // namespace orasay::engine
