// File output: WAV, AU and headerless raw files on a descriptor, through
// libsndfile.  See LICENSE.
#ifndef ORASAY_ENGINE_FILEOUT_H
#define ORASAY_ENGINE_FILEOUT_H

#include <cstddef>
#include <memory>
#include <vector>

struct sf_private_tag;

namespace orasay::engine {

enum class file_format { wav = 0, raw = 1, au = 2 };

// A file in memory, for libsndfile's virtual I/O.
struct memory_buffer {
  std::vector<unsigned char> bytes;
  long long pos = 0;
};

// Writes one audio file, mono, into a descriptor that it never closes.
// Seekable descriptors are written as the audio comes; a WAV file for a
// pipe is assembled in memory and written when complete, since its header
// needs the length.
class file_writer {
 public:
  // Null when libsndfile cannot open the descriptor for writing.
  static std::unique_ptr<file_writer> open(int fd, file_format format, int rate,
                                           bool alaw);
  ~file_writer();
  file_writer(const file_writer &) = delete;
  file_writer &operator=(const file_writer &) = delete;

  // False when a write failed.  Samples are gathered into blocks of
  // block_samples before they go to libsndfile, to save system calls.
  bool write(const short *samples, std::size_t count);
  // Completes the file; false when a write failed now or before.
  bool close();

 private:
  static constexpr std::size_t block_samples = 32768;
  file_writer() = default;
  bool write_block();
  std::vector<short> block_;
  int fd_ = -1;
  sf_private_tag *file_ = nullptr;
  bool in_memory_ = false;
  bool ok_ = true;
  memory_buffer memory_;
};

}  // namespace orasay::engine

#endif  // ORASAY_ENGINE_FILEOUT_H
