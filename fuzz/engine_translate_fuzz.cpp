// Fuzz target of eSpeak NG's text handling as the engine drives it: a text
// with escape commands goes through the same segments, settings, inline
// commands and phoneme input as for speech, but is translated into
// phonemes only, never synthesised, so that texts reach the translator
// hundreds of times faster: numbers, abbreviations, scripts, phoneme input
// and clauses of every length.  See LICENSE.
//
// Checked, beyond what ASan and UBSan see (both halt on the first
// finding): eSpeak NG starts and translates every text.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "synth.h"

#ifndef ORASAY_FUZZ_DATA_DIR
#error "ORASAY_FUZZ_DATA_DIR names the engine's data directory"
#endif

namespace {

void check(bool ok) {
  if (!ok) std::abort();
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
  check(ready());
  const std::string_view text(reinterpret_cast<const char *>(data), size);
  check(orasay::engine::translate_only(text));
  return 0;
}
