// eSpeak NG's text handling as the engine drives it (segments, settings,
// inline commands, phoneme input), translated into phonemes and never
// synthesised: 20 to 100 times the synthesis target's executions.  ASan
// and UBSan halt on the first finding.  See LICENSE.
#include <cstdint>
#include <string_view>

#include "engine_ready.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  check(engine_ready());
  const std::string_view text(reinterpret_cast<const char *>(data), size);
  check(orasay::engine::translate_only(text));
  return 0;
}
