// File output: WAV, AU and headerless raw files on a descriptor, through
// libsndfile.  See LICENSE.
#ifndef ORASAY_ENGINE_FILEOUT_H
#define ORASAY_ENGINE_FILEOUT_H

#include <cstddef>
#include <cstdint>
#include <exception>
#include <memory>
#include <vector>

struct sf_private_tag;

namespace orasay::engine {

enum class file_format { wav = 0, raw = 1, au = 2 };

// Why writing failed.
enum class write_error {
  none,
  io,       // the descriptor refused the bytes (disk full, closed pipe, ...)
  too_long  // more audio than the format's length fields can say
};

// The most audio bytes a WAV file can hold: its length fields are 32 bits,
// and the header is counted in them.
constexpr std::uint64_t wav_data_limit = 0xFFFFFFFFull - 128;

// Where libsndfile's bytes go.  libsndfile writes through virtual I/O and
// never sees the descriptor, so that it can neither close the caller's
// descriptor nor seek on one that cannot.
//
// A descriptor that writes in place (a file on a disk) gets the bytes where
// libsndfile puts them, from `base` on: the header is written again at the
// end with the true lengths.  Any other (a pipe, a terminal, a file opened
// for appending) gets a stream: the header goes out before the data with the
// lengths a stream cannot know set to the largest value, 0xFFFFFFFF, as
// command-line audio tools write them, and the data follows as it comes;
// what libsndfile would write again or add at the end (its pad byte after
// an odd number of data bytes, which a reader would take for a sample) is
// dropped.
struct file_sink {
  int fd = -1;
  bool in_place = false;
  long long base = 0;  // in place: where the file begins on the descriptor
  long long at = -1;   // in place: the descriptor's position; -1 unknown
  std::vector<unsigned char> header;  // stream: held until the data begins
  bool opened = false;                // libsndfile has written its header
  bool streaming = false;             // stream: the header has gone out
  bool closing = false;               // libsndfile is completing the file
  long long pos = 0;                  // libsndfile's idea of its position
  long long end = 0;                  // the length it has written
  bool failed = false;
  std::exception_ptr error;  // an exception that could not cross libsndfile
};

// Writes one audio file, mono, into a descriptor that it never closes, as
// the audio comes: memory stays flat however long the audio.
class file_writer {
 public:
  // Null when libsndfile cannot open the descriptor for writing.
  // data_limit: the most audio bytes a WAV file may get (for tests).
  static std::unique_ptr<file_writer> open(
      int fd, file_format format, int rate, bool alaw,
      std::uint64_t data_limit = wav_data_limit);
  ~file_writer();
  file_writer(const file_writer &) = delete;
  file_writer &operator=(const file_writer &) = delete;

  // False when a write failed.  Samples are gathered into blocks of
  // block_samples before they go to libsndfile, to save system calls.
  // Rethrows what the writing threw inside libsndfile (std::bad_alloc).
  bool write(const short *samples, std::size_t count);
  // Completes the file; false when a write failed now or before.
  bool close();
  write_error error() const { return error_; }

 private:
  static constexpr std::size_t block_samples = 32768;
  file_writer() = default;
  bool write_block();
  void rethrow();
  std::vector<short> block_;
  sf_private_tag *file_ = nullptr;
  std::uint64_t data_bytes_ = 0;
  std::uint64_t data_limit_ = 0;  // 0: no limit
  int bytes_per_sample_ = 2;
  write_error error_ = write_error::none;
  std::unique_ptr<file_sink> sink_;
};

}  // namespace orasay::engine

#endif  // ORASAY_ENGINE_FILEOUT_H
