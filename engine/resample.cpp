// Resampling and encoding: time-stretching with libsonic, rate conversion
// with libsoxr and A-law encoding with libsndfile.  See LICENSE.
#include "resample.h"

#include <sndfile.h>
#include <sonic.h>
#include <soxr.h>

#include <cmath>
#include <utility>

#include "synth.h"

namespace orasay::engine {

namespace {
constexpr std::size_t out_chunk = 2048;  // samples per soxr_process output
}  // namespace

void resampler::soxr_deleter::operator()(soxr *p) const { soxr_delete(p); }
void resampler::sonic_deleter::operator()(sonicStreamStruct *p) const {
  sonicDestroyStream(p);
}

resampler::resampler(sample_sink sink)
    : sink_(std::move(sink)), out_(out_chunk) {}

resampler::~resampler() = default;

std::unique_ptr<resampler> resampler::create(int output_rate,
                                             sample_sink sink) {
  std::unique_ptr<resampler> r(new resampler(std::move(sink)));
  soxr_io_spec_t io = soxr_io_spec(SOXR_INT16_I, SOXR_INT16_I);
  io.flags |= SOXR_NO_DITHER;  // deterministic output
  const soxr_quality_spec_t q = soxr_quality_spec(SOXR_HQ, 0);
  soxr_error_t err = nullptr;
  r->soxr_.reset(
      soxr_create(synth_rate, output_rate, 1, &err, &io, &q, nullptr));
  if (err != nullptr || !r->soxr_) return nullptr;
  return r;
}

// Feeds input to soxr (null input: flush) and hands on all its output.
bool resampler::convert(const short *samples, std::size_t count) {
  if (!ok_) return false;
  if (samples == nullptr) {
    std::size_t done = 0;
    do {
      if (soxr_process(soxr_.get(), nullptr, 0, nullptr, out_.data(),
                       out_.size(), &done) != nullptr)
        return ok_ = false;
      if (done > 0 && !sink_(out_.data(), done)) return ok_ = false;
    } while (done > 0);
    return true;
  }
  while (count > 0) {
    std::size_t used = 0, done = 0;
    if (soxr_process(soxr_.get(), samples, count, &used, out_.data(),
                     out_.size(), &done) != nullptr)
      return ok_ = false;
    if (done > 0 && !sink_(out_.data(), done)) return ok_ = false;
    samples += used;
    count -= used;
  }
  return true;
}

// Flushes the time-stretcher and converts what it still holds.
bool resampler::drain_sonic() {
  if (!sonic_) return ok_;
  sonicFlushStream(sonic_.get());
  return convert_stretched();
}

// Converts what the time-stretcher has ready.
bool resampler::convert_stretched() {
  stretched_.resize(out_chunk);
  int n;
  while ((n = sonicReadShortFromStream(sonic_.get(), stretched_.data(),
                                       int(stretched_.size()))) > 0) {
    if (!convert(stretched_.data(), std::size_t(n))) return false;
  }
  return ok_;
}

bool resampler::push(const short *samples, std::size_t count) {
  if (!ok_) return false;
  if (!sonic_) return convert(samples, count);
  // sonic's API takes non-const buffers but does not write into the input.
  if (!sonicWriteShortToStream(sonic_.get(), const_cast<short *>(samples),
                               int(count)))
    return ok_ = false;
  return convert_stretched();
}

bool resampler::silence(int ms) {
  if (!drain_sonic()) return false;
  sonic_.reset();
  const double saved = speed_;
  speed_ = 1.0;
  std::vector<short> zeros(out_chunk, 0);
  auto left = static_cast<std::size_t>(std::lround(ms * (synth_rate / 1000.0)));
  while (left > 0) {
    const std::size_t n = std::min(left, zeros.size());
    if (!convert(zeros.data(), n)) return false;
    left -= n;
  }
  return set_speed(saved);
}

bool resampler::set_speed(double factor) {
  if (!ok_) return false;
  if (factor == speed_ && (factor == 1.0) == !sonic_) return true;
  if (!drain_sonic()) return false;
  sonic_.reset();
  speed_ = factor;
  if (factor != 1.0) {
    sonic_.reset(sonicCreateStream(synth_rate, 1));
    if (!sonic_) return ok_ = false;
    sonicSetSpeed(sonic_.get(), float(factor));
  }
  return true;
}

bool resampler::finish() {
  if (!drain_sonic()) return false;
  sonic_.reset();
  return convert(nullptr, 0);
}

// --- On a thread of its own ---------------------------------------------

std::unique_ptr<resampler_thread> resampler_thread::create(int output_rate,
                                                           sample_sink sink) {
  std::unique_ptr<resampler_thread> t(new resampler_thread());
  t->resampler_ = resampler::create(output_rate, std::move(sink));
  if (!t->resampler_) return nullptr;
  t->thread_ = std::thread(&resampler_thread::run, t.get());
  return t;
}

resampler_thread::~resampler_thread() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    failed_ = true;  // stops the thread without flushing
  }
  changed_.notify_all();
  if (thread_.joinable()) thread_.join();
}

bool resampler_thread::enqueue(item it) {
  std::unique_lock<std::mutex> lock(mutex_);
  changed_.wait(lock, [this] { return failed_ || queue_.size() < max_queued; });
  if (error_) std::rethrow_exception(std::exchange(error_, nullptr));
  if (failed_) return false;
  queue_.push_back(std::move(it));
  lock.unlock();
  changed_.notify_all();
  return true;
}

void resampler_thread::run() {
  for (;;) {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [this] { return failed_ || !queue_.empty(); });
    if (failed_) return;
    item it = std::move(queue_.front());
    queue_.pop_front();
    lock.unlock();
    changed_.notify_all();
    bool ok = true;
    std::exception_ptr error;
    try {
      switch (it.kind) {
        case item::samples:
          ok = resampler_->push(it.data.data(), it.data.size());
          break;
        case item::silence: ok = resampler_->silence(it.ms); break;
        case item::speed: ok = resampler_->set_speed(it.factor); break;
        case item::finish: ok = resampler_->finish(); break;
      }
    } catch (...) {  // nothing leaves the thread
      error = std::current_exception();
      ok = false;
    }
    lock.lock();
    if (error) error_ = error;
    if (!ok) failed_ = true;
    if (it.kind == item::finish) finished_ = true;
    lock.unlock();
    changed_.notify_all();
    if (!ok || it.kind == item::finish) return;
  }
}

// Samples travel in batches, to keep the hand-overs few.
bool resampler_thread::send_batch() {
  if (batch_.empty()) return true;
  item it{item::samples, std::move(batch_)};
  batch_ = std::vector<short>();
  batch_.reserve(batch_samples + 4096);
  return enqueue(std::move(it));
}

bool resampler_thread::push(const short *samples, std::size_t count) {
  batch_.insert(batch_.end(), samples, samples + count);
  return batch_.size() < batch_samples || send_batch();
}

bool resampler_thread::silence(int ms) {
  if (!send_batch()) return false;
  item it{item::silence, {}};
  it.ms = ms;
  return enqueue(std::move(it));
}

bool resampler_thread::set_speed(double factor) {
  if (!send_batch()) return false;
  item it{item::speed, {}};
  it.factor = factor;
  return enqueue(std::move(it));
}

bool resampler_thread::finish() {
  if (!send_batch() || !enqueue(item{item::finish, {}})) return false;
  std::unique_lock<std::mutex> lock(mutex_);
  changed_.wait(lock, [this] { return failed_ || finished_; });
  if (error_) std::rethrow_exception(std::exchange(error_, nullptr));
  return !failed_;
}

// --- A-law ---------------------------------------------------------------

namespace {

// A write-only virtual file that appends to a byte vector.
sf_count_t sink_length(void *user) {
  return static_cast<byte_sink *>(user)->written;
}
sf_count_t sink_seek(sf_count_t offset, int, void *) { return offset; }
sf_count_t sink_read(void *, sf_count_t, void *) { return 0; }
sf_count_t sink_write(const void *data, sf_count_t count, void *user) {
  auto *s = static_cast<byte_sink *>(user);
  const auto *p = static_cast<const unsigned char *>(data);
  s->bytes.insert(s->bytes.end(), p, p + count);
  s->written += count;
  return count;
}
sf_count_t sink_tell(void *user) {
  return static_cast<byte_sink *>(user)->written;
}

SF_VIRTUAL_IO sink_io = {sink_length, sink_seek, sink_read, sink_write,
                         sink_tell};

}  // namespace

std::unique_ptr<alaw_encoder> alaw_encoder::create(int rate) {
  std::unique_ptr<alaw_encoder> e(new alaw_encoder());
  SF_INFO info{};
  info.samplerate = rate;
  info.channels = 1;
  info.format = SF_FORMAT_RAW | SF_FORMAT_ALAW;
  e->file_ = sf_open_virtual(&sink_io, SFM_WRITE, &info, &e->sink_);
  if (e->file_ == nullptr) return nullptr;
  return e;
}

alaw_encoder::~alaw_encoder() {
  if (file_ != nullptr) sf_close(file_);
}

const std::vector<unsigned char> &alaw_encoder::encode(const short *samples,
                                                       std::size_t count) {
  sink_.bytes.clear();
  sf_write_short(file_, samples, sf_count_t(count));
  return sink_.bytes;
}

}  // namespace orasay::engine
