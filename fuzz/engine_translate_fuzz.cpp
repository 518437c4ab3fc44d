// Fuzz target of eSpeak NG's text handling as the engine drives it: a text
// with escape commands goes through the same segments, settings, inline
// commands and phoneme input as for speech, but is translated into
// phonemes only, never synthesised, so that texts reach the translator
// 20 to 100 times more often: numbers, abbreviations, scripts, phoneme input
// and clauses of every length.  See LICENSE.
//
// Checked, beyond what ASan and UBSan see (both halt on the first
// finding): eSpeak NG starts and translates every text.
#include <cstdint>
#include <string_view>

#include "engine_ready.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  check(engine_ready());
  const std::string_view text(reinterpret_cast<const char *>(data), size);
  check(orasay::engine::translate_only(text));
  return 0;
}
