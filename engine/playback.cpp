// Playback: one stream to the sound server through libpulse-simple.
// See LICENSE.
#include "playback.h"

#include <pulse/simple.h>

namespace orasay::engine {

std::unique_ptr<player> player::connect(int rate, bool alaw) {
  pa_sample_spec sample_format{};
  sample_format.format = alaw ? PA_SAMPLE_ALAW : PA_SAMPLE_S16NE;
  sample_format.rate = static_cast<uint32_t>(rate);
  sample_format.channels = 1;
  // A short target buffer keeps a write's wait short, so that a cancelled
  // speech stops soon.
  pa_buffer_attr attr{};
  attr.maxlength = static_cast<uint32_t>(-1);
  attr.tlength =
      static_cast<uint32_t>(pa_usec_to_bytes(200000, &sample_format));
  attr.prebuf = static_cast<uint32_t>(-1);
  attr.minreq = static_cast<uint32_t>(-1);
  attr.fragsize = static_cast<uint32_t>(-1);
  int error = 0;
  std::unique_ptr<player> p(new player());
  p->stream_ = pa_simple_new(nullptr, "orasay", PA_STREAM_PLAYBACK, nullptr,
                             "speech", &sample_format, nullptr, &attr, &error);
  if (p->stream_ == nullptr) return nullptr;
  return p;
}

player::~player() {
  if (stream_ != nullptr) pa_simple_free(stream_);
}

bool player::write(const void *bytes, std::size_t size) {
  int error = 0;
  return pa_simple_write(stream_, bytes, size, &error) == 0;
}

bool player::drain() {
  int error = 0;
  return pa_simple_drain(stream_, &error) == 0;
}

void player::flush() {
  int error = 0;
  pa_simple_flush(stream_, &error);
}

}  // namespace orasay::engine
