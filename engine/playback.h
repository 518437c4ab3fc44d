// Playback: one stream to the sound server (PulseAudio, or PipeWire's pulse
// server) through libpulse, loaded when first needed (playback.cpp), or on
// Windows to the wave mapper through winmm (playback_winmm.cpp), with every
// wait bounded.
// See LICENSE.
#ifndef ORASAY_ENGINE_PLAYBACK_H
#define ORASAY_ENGINE_PLAYBACK_H

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>

#if defined(_WIN32)
namespace orasay::engine {
struct wave_out;
}
#else
struct pa_mainloop;
struct pa_context;
struct pa_stream;
#endif

namespace orasay::engine {

struct pulse_library;  // libpulse's functions, loaded on first use

// A playback stream, mono, 16-bit in host order or A-law.  Made on one
// thread, it may be written, drained and freed on another, one thread at a
// time.  Every wait on the server ends in bounded time: a server that
// stops answering makes the call fail instead of hanging.
class player {
 public:
  // How long connecting may take, and how much longer than the audio still
  // queued a write or a drain may wait for the server.
  static constexpr int connect_timeout_ms = 5000;
  static constexpr int grace_ms = 3000;

  // Connects to the default sound server (on Windows: opens the default
  // wave output device); null when none answers in time.
  static std::unique_ptr<player> connect(int rate, bool alaw);
  ~player();
  player(const player &) = delete;
  player &operator=(const player &) = delete;

  // Queues bytes for playing; waits while the server's buffer is full.
  // False when the server failed or stopped taking audio.
  bool write(const void *bytes, std::size_t size);
  // Waits until everything queued has been played; false likewise.
  bool drain();
  // Drops what is queued and not yet played (on Windows when the player is
  // freed, which stops the device).
  void flush();
  // Makes write and drain give up, within stop_ms, once *stop is true (the
  // speech is being stopped); *stop must outlive the player.  flush waits
  // at most flush_ms.
  void stop_when(const std::atomic<bool> *stop) { stop_ = stop; }
  static constexpr int stop_ms = 20;
  static constexpr int flush_ms = 50;

 private:
  player() = default;
  bool stopped() const { return stop_ != nullptr && stop_->load(); }
  const std::atomic<bool> *stop_ = nullptr;
#if defined(_WIN32)
  wave_out *stream_ = nullptr;
#else
  // Runs the main loop until done() holds; false when the stream or its
  // connection failed, or timeout_ms passed first, or (when stoppable) the
  // speech is being stopped.
  template <typename Done>
  bool run_until(Done done, std::int64_t timeout_ms, bool stoppable = true);
  bool broken() const;
  // The audio written and not yet played, in milliseconds.
  std::int64_t queued_ms();

  const pulse_library *pa_ = nullptr;
  pa_mainloop *loop_ = nullptr;
  pa_context *context_ = nullptr;
  pa_stream *stream_ = nullptr;
  int drained_ = 0;  // drain result: 0 waiting, 1 done, -1 failed
#endif
};

}  // namespace orasay::engine

#endif  // ORASAY_ENGINE_PLAYBACK_H
