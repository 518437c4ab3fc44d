// Playback: one stream to the sound server (PulseAudio, or PipeWire's pulse
// server) through libpulse, with every wait on the server bounded.
// See LICENSE.
#include "playback.h"

#include <dlfcn.h>
#include <pulse/pulseaudio.h>

#include <algorithm>
#include <chrono>
#include <mutex>

namespace orasay::engine {

namespace {

using clock_type = std::chrono::steady_clock;

// libpulse, loaded when the first speech begins: rendering files never
// loads the sound server's client library, nor the score of libraries it
// needs (a third of the time a short file takes).  ORDER PULSE
// clang-format off
#define ORASAY_PULSE_FUNCTIONS(X)                                         \
  X(pa_mainloop_new) X(pa_mainloop_get_api) X(pa_mainloop_prepare)       \
  X(pa_mainloop_poll) X(pa_mainloop_dispatch) X(pa_mainloop_free)         \
  X(pa_context_new) X(pa_context_connect) X(pa_context_get_state)         \
  X(pa_context_disconnect) X(pa_context_unref) X(pa_stream_new)           \
  X(pa_stream_connect_playback) X(pa_stream_get_state)                    \
  X(pa_stream_writable_size) X(pa_stream_write) X(pa_stream_drain)        \
  X(pa_stream_flush) X(pa_stream_disconnect) X(pa_stream_unref)           \
  X(pa_stream_get_latency) X(pa_operation_cancel) X(pa_operation_unref)   \
  X(pa_operation_get_state) X(pa_usec_to_bytes)
// clang-format on

}  // namespace

struct pulse_library {
#define ORASAY_PULSE_POINTER(name) decltype(&::name) name = nullptr;
  ORASAY_PULSE_FUNCTIONS(ORASAY_PULSE_POINTER)
#undef ORASAY_PULSE_POINTER
};

namespace {

// The library's functions, or null when it cannot be loaded.  They are
// looked up in the global scope, as the loader would have bound them, so
// that a program may stand in for one of them (the benchmarks do).
const pulse_library *pulse() {
  static pulse_library lib;
  static bool loaded = false;
  static std::once_flag once;
  std::call_once(once, [] {
    if (::dlopen("libpulse.so.0", RTLD_NOW | RTLD_GLOBAL) == nullptr) return;
    bool all = true;
#define ORASAY_PULSE_LOOKUP(name)                                         \
  lib.name =                                                              \
      reinterpret_cast<decltype(lib.name)>(::dlsym(RTLD_DEFAULT, #name)); \
  all = all && lib.name != nullptr;
    ORASAY_PULSE_FUNCTIONS(ORASAY_PULSE_LOOKUP)
#undef ORASAY_PULSE_LOOKUP
    loaded = all;
  });
  return loaded ? &lib : nullptr;
}

// A short target buffer keeps a write's wait short, so that a cancelled
// speech stops soon.
constexpr pa_usec_t target_buffer_usec = 200000;

}  // namespace

template <typename Done>
bool player::run_until(Done done, std::int64_t timeout_ms, bool stoppable) {
  const auto deadline =
      clock_type::now() + std::chrono::milliseconds(timeout_ms);
  // Polls short enough that the deadline, and a speech being stopped, are
  // seen in time.
  const std::int64_t poll_usec = stoppable && stop_ != nullptr
                                     ? std::int64_t(stop_ms) * 1000
                                     : std::int64_t(100000);
  while (!done()) {
    if (broken() || (stoppable && stopped())) return false;
    const auto left = std::chrono::duration_cast<std::chrono::microseconds>(
                          deadline - clock_type::now())
                          .count();
    if (left <= 0) return false;
    if (pa_->pa_mainloop_prepare(
            loop_, int(std::min<std::int64_t>(left, poll_usec))) < 0 ||
        pa_->pa_mainloop_poll(loop_) < 0 ||
        pa_->pa_mainloop_dispatch(loop_) < 0)
      return false;
  }
  return true;
}

bool player::broken() const {
  const pa_context_state_t c = pa_->pa_context_get_state(context_);
  if (!PA_CONTEXT_IS_GOOD(c)) return true;
  return stream_ != nullptr &&
         !PA_STREAM_IS_GOOD(pa_->pa_stream_get_state(stream_));
}

std::int64_t player::queued_ms() {
  pa_usec_t latency = 0;
  int negative = 0;
  if (pa_->pa_stream_get_latency(stream_, &latency, &negative) != 0 || negative)
    return std::int64_t(target_buffer_usec / 1000);
  return std::int64_t(latency / 1000);
}

std::unique_ptr<player> player::connect(int rate, bool alaw) {
  const pulse_library *pa_ = pulse();
  if (pa_ == nullptr) return nullptr;  // no libpulse: no sound output
  std::unique_ptr<player> p(new player());
  p->pa_ = pa_;
  p->loop_ = pa_->pa_mainloop_new();
  if (p->loop_ == nullptr) return nullptr;
  p->context_ =
      pa_->pa_context_new(pa_->pa_mainloop_get_api(p->loop_), "orasay");
  if (p->context_ == nullptr ||
      pa_->pa_context_connect(p->context_, nullptr, PA_CONTEXT_NOFLAGS,
                              nullptr) < 0)
    return nullptr;
  if (!p->run_until(
          [&] {
            return pa_->pa_context_get_state(p->context_) == PA_CONTEXT_READY;
          },
          connect_timeout_ms))
    return nullptr;

  pa_sample_spec format{};
  format.format = alaw ? PA_SAMPLE_ALAW : PA_SAMPLE_S16NE;
  format.rate = static_cast<uint32_t>(rate);
  format.channels = 1;
  pa_buffer_attr attr{};
  attr.maxlength = static_cast<uint32_t>(-1);
  attr.tlength =
      static_cast<uint32_t>(pa_->pa_usec_to_bytes(target_buffer_usec, &format));
  attr.prebuf = static_cast<uint32_t>(-1);
  attr.minreq = static_cast<uint32_t>(-1);
  attr.fragsize = static_cast<uint32_t>(-1);
  p->stream_ = pa_->pa_stream_new(p->context_, "speech", &format, nullptr);
  if (p->stream_ == nullptr ||
      pa_->pa_stream_connect_playback(
          p->stream_, nullptr, &attr,
          static_cast<pa_stream_flags_t>(PA_STREAM_INTERPOLATE_TIMING |
                                         PA_STREAM_ADJUST_LATENCY |
                                         PA_STREAM_AUTO_TIMING_UPDATE),
          nullptr, nullptr) < 0)
    return nullptr;
  if (!p->run_until(
          [&] {
            return pa_->pa_stream_get_state(p->stream_) == PA_STREAM_READY;
          },
          connect_timeout_ms))
    return nullptr;
  return p;
}

player::~player() {
  if (stream_ != nullptr) {
    pa_->pa_stream_disconnect(stream_);
    pa_->pa_stream_unref(stream_);
  }
  if (context_ != nullptr) {
    pa_->pa_context_disconnect(context_);
    pa_->pa_context_unref(context_);
  }
  if (loop_ != nullptr) pa_->pa_mainloop_free(loop_);
}

bool player::write(const void *bytes, std::size_t size) {
  const auto *p = static_cast<const unsigned char *>(bytes);
  while (size > 0) {
    std::size_t room = 0;
    // The server takes more once it has played some of what it holds.
    if (!run_until(
            [&] {
              const std::size_t n = pa_->pa_stream_writable_size(stream_);
              room = n == std::size_t(-1) ? 0 : n;
              return room > 0;
            },
            queued_ms() + grace_ms))
      return false;
    const std::size_t n = std::min(room, size);
    if (pa_->pa_stream_write(stream_, p, n, nullptr, 0, PA_SEEK_RELATIVE) < 0)
      return false;
    p += n;
    size -= n;
  }
  return !broken();
}

bool player::drain() {
  drained_ = 0;
  pa_operation *op = pa_->pa_stream_drain(
      stream_,
      [](pa_stream *, int success, void *self) {
        static_cast<player *>(self)->drained_ = success ? 1 : -1;
      },
      this);
  if (op == nullptr) return false;
  const bool ok =
      run_until([&] { return drained_ != 0; }, queued_ms() + grace_ms);
  if (!ok) pa_->pa_operation_cancel(op);
  pa_->pa_operation_unref(op);
  return ok && drained_ == 1;
}

void player::flush() {
  if (broken()) return;
  pa_operation *op = pa_->pa_stream_flush(stream_, nullptr, nullptr);
  if (op == nullptr) return;
  // Briefly: a stopped speech must end soon, and disconnecting the stream
  // drops its audio as well.
  run_until(
      [&] { return pa_->pa_operation_get_state(op) != PA_OPERATION_RUNNING; },
      flush_ms, false);
  pa_->pa_operation_unref(op);
}

}  // namespace orasay::engine
