// Playback on Windows: one stream to the default wave output device through
// winmm's waveOut functions.  See LICENSE.
// windows.h first: the multimedia headers build on it.
#include <windows.h>

#include <mmreg.h>
#include <mmsystem.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "playback.h"

namespace orasay::engine {

// The device, its blocks and what has been queued.  The queue holds at most
// `blocks` blocks of 50 ms, so that a cancelled speech stops soon.
struct wave_out {
  static constexpr std::size_t blocks = 4;
  HWAVEOUT device = nullptr;
  HANDLE done = nullptr;     // set by winmm whenever a block has been played
  bool decode_alaw = false;  // A-law bytes in, 16-bit samples to the device
  std::size_t block_bytes = 0;
  std::size_t bytes_per_second = 0;
  WAVEHDR headers[blocks] = {};
  std::vector<char> data[blocks];
  std::size_t next = 0;           // the block being filled
  std::size_t filled = 0;         // bytes in it
  unsigned long long queued = 0;  // bytes handed to the device in all

  // Stops the device and closes it.  A device that has stalled can take
  // long to stop, or never come back from it: see player::~player.
  ~wave_out() {
    if (device != nullptr) {
      waveOutReset(device);
      for (WAVEHDR &h : headers)
        if (h.dwFlags & WHDR_PREPARED)
          waveOutUnprepareHeader(device, &h, sizeof h);
      waveOutClose(device);
    }
    if (done != nullptr) CloseHandle(done);
  }

  bool busy(const WAVEHDR &h) const {
    return (h.dwFlags & WHDR_PREPARED) && !(h.dwFlags & WHDR_DONE);
  }

  // Waits until the device has played the block; false when that takes
  // longer than the audio queued and a grace period (a device that stopped
  // taking audio), or once *stop is true.
  bool wait_until_played(const WAVEHDR &h, const std::atomic<bool> *stop) {
    const ULONGLONG limit = GetTickCount64() + blocks * 50 + player::grace_ms;
    while (busy(h)) {
      if (GetTickCount64() > limit || (stop != nullptr && stop->load()))
        return false;
      WaitForSingleObject(done, player::stop_ms);
    }
    return true;
  }

  // Waits until the block to be filled next is free again.
  bool wait_for_block(const std::atomic<bool> *stop) {
    WAVEHDR &h = headers[next];
    if (!wait_until_played(h, stop)) return false;
    if (h.dwFlags & WHDR_PREPARED &&
        waveOutUnprepareHeader(device, &h, sizeof h) != MMSYSERR_NOERROR)
      return false;
    return true;
  }

  // Hands the block being filled to the device.
  bool submit() {
    if (filled == 0) return true;
    WAVEHDR &h = headers[next];
    h = WAVEHDR{};
    h.lpData = data[next].data();
    h.dwBufferLength = DWORD(filled);
    if (waveOutPrepareHeader(device, &h, sizeof h) != MMSYSERR_NOERROR ||
        waveOutWrite(device, &h, sizeof h) != MMSYSERR_NOERROR)
      return false;
    queued += filled;
    filled = 0;
    next = (next + 1) % blocks;
    return true;
  }

  // The device's position in bytes of what it was given; false when it
  // cannot tell.
  bool position(unsigned long long *played) {
    MMTIME t{};
    t.wType = TIME_BYTES;
    if (waveOutGetPosition(device, &t, sizeof t) != MMSYSERR_NOERROR ||
        t.wType != TIME_BYTES)
      return false;
    *played = t.u.cb;
    return true;
  }
};

namespace {

// G.711 A-law to 16-bit linear, for devices that take no A-law.
short alaw_to_linear(unsigned char a) {
  a ^= 0x55;
  const int exponent = (a >> 4) & 7;
  int magnitude = (a & 0x0F) << 4;
  magnitude += exponent == 0 ? 8 : 0x108;
  if (exponent > 1) magnitude <<= exponent - 1;
  return static_cast<short>((a & 0x80) ? magnitude : -magnitude);
}

WAVEFORMATEX format_of(int rate, bool alaw) {
  WAVEFORMATEX f{};
  f.wFormatTag = alaw ? WAVE_FORMAT_ALAW : WAVE_FORMAT_PCM;
  f.nChannels = 1;
  f.nSamplesPerSec = DWORD(rate);
  f.wBitsPerSample = alaw ? 8 : 16;
  f.nBlockAlign = f.wBitsPerSample / 8;
  f.nAvgBytesPerSec = f.nSamplesPerSec * f.nBlockAlign;
  return f;
}

}  // namespace

std::unique_ptr<player> player::connect(int rate, bool alaw) {
  if (waveOutGetNumDevs() == 0) return nullptr;
  auto out = std::make_unique<wave_out>();
  out->done = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  if (out->done == nullptr) return nullptr;
  WAVEFORMATEX f = format_of(rate, alaw);
  const auto open = [&](const WAVEFORMATEX &format) {
    return waveOutOpen(&out->device, WAVE_MAPPER, &format,
                       reinterpret_cast<DWORD_PTR>(out->done), 0,
                       CALLBACK_EVENT);
  };
  MMRESULT r = open(f);
  if (r == WAVERR_BADFORMAT && alaw) {
    // No A-law codec: the same sound as 16-bit samples.
    f = format_of(rate, false);
    out->decode_alaw = true;
    r = open(f);
  }
  if (r != MMSYSERR_NOERROR) {
    out->device = nullptr;
    return nullptr;
  }
  out->bytes_per_second = f.nAvgBytesPerSec;
  out->block_bytes = std::max<std::size_t>(f.nAvgBytesPerSec / 20, 64);
  for (auto &d : out->data) d.resize(out->block_bytes);
  std::unique_ptr<player> p(new player());
  p->stream_ = out.release();
  return p;
}

namespace {

// How long freeing a player waits for its device to close: a healthy one
// takes about 15 ms, and tts_Close stops within 200 ms.
constexpr DWORD close_wait_ms = 150;

// Closes the device, frees the player's blocks, then lets the engine's
// library go, which the thread holds loaded until then.
DWORD WINAPI close_device(void *stream) {
  delete static_cast<wave_out *>(stream);
  HMODULE self = nullptr;
  GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                         GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                     reinterpret_cast<LPCWSTR>(&close_device), &self);
  FreeLibraryAndExitThread(self, 0);
}

}  // namespace

// The device is closed on a thread of its own: a winmm call that takes
// long or never returns (a stalled device under wine took 30 s to reset,
// then never came back from closing) holds up neither the speaking thread's
// report nor tts_Close beyond close_wait_ms.  The thread keeps the engine's
// library loaded while it runs, so that unloading the engine cannot pull its
// code away under it; a device that never closes is left to the process's
// end.
player::~player() {
  HMODULE self = nullptr;
  if (GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                         reinterpret_cast<LPCWSTR>(&close_device), &self)) {
    const HANDLE closer =
        CreateThread(nullptr, 0, close_device, stream_, 0, nullptr);
    if (closer != nullptr) {
      WaitForSingleObject(closer, close_wait_ms);
      CloseHandle(closer);
      return;
    }
    FreeLibrary(self);
  }
  delete stream_;  // no thread to spare: closed here
}

bool player::write(const void *bytes, std::size_t size) {
  wave_out &w = *stream_;
  const auto *in = static_cast<const unsigned char *>(bytes);
  // Decoded A-law takes two bytes a sample.
  const std::size_t scale = w.decode_alaw ? 2 : 1;
  while (size > 0) {
    if (w.filled == 0 && !w.wait_for_block(stop_)) return false;
    char *block = w.data[w.next].data();
    const std::size_t n = std::min(size, (w.block_bytes - w.filled) / scale);
    if (w.decode_alaw) {
      for (std::size_t i = 0; i < n; ++i) {
        const short s = alaw_to_linear(in[i]);
        std::memcpy(block + w.filled + 2 * i, &s, 2);
      }
    } else {
      std::memcpy(block + w.filled, in, n);
    }
    w.filled += n * scale;
    in += n;
    size -= n;
    if (w.block_bytes - w.filled < scale && !w.submit()) return false;
  }
  return true;
}

bool player::drain() {
  wave_out &w = *stream_;
  if (!w.submit()) return false;
  for (const WAVEHDR &h : w.headers)
    if (!w.wait_until_played(h, stop_)) return false;
  // A block counts as done once the device has taken it; the position says
  // when it has been played.  A position that stops short of the end (a
  // device that counts differently) ends the wait after a second.
  unsigned long long played = 0, last = 0;
  DWORD still_since = GetTickCount();
  while (w.position(&played) && played < w.queued) {
    if (stopped()) return false;
    if (played != last) {
      last = played;
      still_since = GetTickCount();
    } else if (GetTickCount() - still_since > 1000) {
      break;
    }
    Sleep(10);
  }
  return true;
}

// Stopping the device is left to closing it, off the speaking thread.
void player::flush() { stream_->filled = 0; }

}  // namespace orasay::engine
