// Fuzz target of the engine's whole synthesis path: a text with escape
// commands, spoken by eSpeak NG into memory through the time-stretcher and
// the resampler, and its phoneme transcription.  See LICENSE.
//
// The first byte chooses the output rate (bit 0), whether the text is
// transcribed (bit 1) and whether it is not rendered (bit 2: the quick way
// through eSpeak NG's text handling, where its faults have been); the rest
// is the text, read as tts_Speak reads it, so the escape commands reach
// every voice and style, phoneme input, e-mail mode and word mode.
//
// Checked, beyond what ASan and UBSan see:
//   - rendering finishes and is not reported as failed;
//   - a sink that refuses more audio stops it: each input is cut after a
//     minute of audio, which keeps the executions quick;
//   - a transcription stops near its limit.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "resample.h"
#include "synth.h"

#ifndef ORASAY_FUZZ_DATA_DIR
#error "ORASAY_FUZZ_DATA_DIR names the engine's data directory"
#endif

namespace {

void check(bool ok) {
  if (!ok) std::abort();
}

// Renders the text at the rate into memory, cut after a minute of audio.
// The cut is made while rendering: the resampler's tail, flushed at the
// end, may take a text that was rendered whole past the minute.
void render_into_memory(std::string_view text, int rate) {
  using namespace orasay::engine;
  const std::size_t most = 60 * std::size_t(rate);
  std::size_t samples = 0;
  bool rendering = true;
  auto rs = resampler::create(rate, [&](const short *, std::size_t n) {
    samples += n;
    return !rendering || samples <= most;
  });
  check(rs != nullptr);
  const audio_target target{
      [&](const short *s, std::size_t n) { return rs->push(s, n); },
      [&](int ms) { return rs->silence(ms); },
      [&](double f) { return rs->set_speed(f); }};
  const render_result r = render(text, target);
  rendering = false;
  if (r == render_result::done) {
    check(rs->finish());
  } else {
    check(r == render_result::stopped && samples > most);
  }
}

bool ready() {
  static const bool ok = [] {
    orasay::engine::use_data_directory(ORASAY_FUZZ_DATA_DIR);
    return orasay::engine::initialise();
  }();
  return ok;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  using namespace orasay::engine;
  check(ready());
  if (size < 1) return 0;
  const int rate = (data[0] & 1) ? 8000 : 11025;
  const bool transcribed = (data[0] & 2) != 0;
  const bool rendered = (data[0] & 4) == 0;
  const std::string_view text(reinterpret_cast<const char *>(data + 1),
                              size - 1);

  if (rendered) render_into_memory(text, rate);
  if (transcribed) {
    std::string phonemes;
    const std::size_t limit = 8 * text.size() + 1;
    check(transcribe(text, limit, &phonemes));
    // It stops after the clause that passes the limit.
    check(phonemes.size() <= limit + 65536);
  }
  return 0;
}
