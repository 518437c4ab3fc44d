// Resampling and encoding: time-stretching with libsonic, rate conversion
// with libsoxr and A-law encoding with libsndfile.  See LICENSE.
#ifndef ORASAY_ENGINE_RESAMPLE_H
#define ORASAY_ENGINE_RESAMPLE_H

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

struct soxr;
struct sonicStreamStruct;
struct sf_private_tag;

namespace orasay::engine {

// Receives converted samples; returns false to stop the pipeline.
using sample_sink =
    std::function<bool(const short *samples, std::size_t count)>;

// Takes the synthesiser's 22050 Hz samples, time-stretches them when a
// speed other than 1 is set, and hands them converted to the output rate
// to the sink, chunk by chunk.  Every function returns false once the sink
// has returned false (and then does nothing more).
class resampler {
 public:
  // Null when libsoxr refuses the rates.
  static std::unique_ptr<resampler> create(int output_rate, sample_sink sink);
  ~resampler();
  resampler(const resampler &) = delete;
  resampler &operator=(const resampler &) = delete;

  bool push(const short *samples, std::size_t count);
  // Inserts exactly `ms` milliseconds of silence after what was pushed.
  bool silence(int ms);
  // Time-stretch factor for what follows: >1 faster, pitch kept.
  bool set_speed(double factor);
  // Flushes everything still held back; call once at the end.
  bool finish();

 private:
  explicit resampler(sample_sink sink);
  bool convert(const short *samples, std::size_t count);
  bool drain_sonic();
  bool convert_stretched();

  struct soxr_deleter {
    void operator()(soxr *p) const;
  };
  struct sonic_deleter {
    void operator()(sonicStreamStruct *p) const;
  };

  sample_sink sink_;
  std::unique_ptr<soxr, soxr_deleter> soxr_;
  std::unique_ptr<sonicStreamStruct, sonic_deleter> sonic_;
  double speed_ = 1.0;
  bool ok_ = true;
  std::vector<short> out_;
  std::vector<short> stretched_;
};

// A resampler on a thread of its own, fed through a short queue, so that
// conversion and output overlap with synthesis.  The same calls as
// resampler; the sink runs on the thread.  Each call returns false once
// the sink has returned false, and throws again on the caller's thread
// what the sink or the conversion threw (std::bad_alloc).
class resampler_thread {
 public:
  // Null when libsoxr refuses the rates.
  static std::unique_ptr<resampler_thread> create(int output_rate,
                                                  sample_sink sink);
  ~resampler_thread();  // stops the thread and waits for it
  resampler_thread(const resampler_thread &) = delete;
  resampler_thread &operator=(const resampler_thread &) = delete;

  bool push(const short *samples, std::size_t count);
  bool silence(int ms);
  bool set_speed(double factor);
  // Flushes, waits until the thread has handed on everything.
  bool finish();

 private:
  struct item {
    enum kind_type { samples, silence, speed, finish } kind;
    std::vector<short> data;
    int ms = 0;
    double factor = 1.0;
  };
  static constexpr std::size_t max_queued = 8;
  static constexpr std::size_t batch_samples = 16384;

  resampler_thread() = default;
  bool enqueue(item it);
  bool send_batch();
  std::vector<short> batch_;  // samples gathered for the next item
  void run();

  std::unique_ptr<resampler> resampler_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<item> queue_;    // guarded by mutex_
  bool failed_ = false;       // guarded by mutex_
  bool finished_ = false;     // guarded by mutex_
  std::exception_ptr error_;  // what the thread threw; guarded by mutex_
  std::thread thread_;
};

// Bytes written into a virtual file, for libsndfile's virtual I/O.
struct byte_sink {
  std::vector<unsigned char> bytes;
  long long written = 0;
};

// Encodes 16-bit samples as A-law bytes (libsndfile, headerless).
class alaw_encoder {
 public:
  // Null when libsndfile fails.
  static std::unique_ptr<alaw_encoder> create(int rate);
  ~alaw_encoder();
  alaw_encoder(const alaw_encoder &) = delete;
  alaw_encoder &operator=(const alaw_encoder &) = delete;

  // The A-law bytes of the samples, one per sample; valid until the next
  // call.
  const std::vector<unsigned char> &encode(const short *samples,
                                           std::size_t count);

 private:
  alaw_encoder() = default;
  byte_sink sink_;
  sf_private_tag *file_ = nullptr;
};

}  // namespace orasay::engine

#endif  // ORASAY_ENGINE_RESAMPLE_H
