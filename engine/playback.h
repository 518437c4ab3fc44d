// Playback: one stream to the sound server through libpulse-simple
// (playback.cpp), or to the wave mapper through winmm on Windows
// (playback_winmm.cpp).  See LICENSE.
#ifndef ORASAY_ENGINE_PLAYBACK_H
#define ORASAY_ENGINE_PLAYBACK_H

#include <cstddef>
#include <memory>

#if defined(_WIN32)
namespace orasay::engine {
struct wave_out;
}
#else
struct pa_simple;
#endif

namespace orasay::engine {

// A playback stream, mono, 16-bit in host order or A-law.  Connected on
// one thread, it may be written, drained and freed on another.
class player {
 public:
  // Connects to the default sound server (on Windows: opens the default
  // wave output device); null when none is reachable.
  static std::unique_ptr<player> connect(int rate, bool alaw);
  ~player();
  player(const player &) = delete;
  player &operator=(const player &) = delete;

  // Queues bytes for playing; blocks while the server's buffer is full.
  bool write(const void *bytes, std::size_t size);
  // Waits until everything queued has been played.
  bool drain();
  // Drops what is queued and not yet played.
  void flush();

 private:
  player() = default;
#if defined(_WIN32)
  wave_out *stream_ = nullptr;
#else
  pa_simple *stream_ = nullptr;
#endif
};

}  // namespace orasay::engine

#endif  // ORASAY_ENGINE_PLAYBACK_H
