// For the engine's fuzz targets: check() aborts, a finding for libFuzzer;
// engine_ready() starts the engine once on the build's data.  See LICENSE.
#pragma once

#include <cstdlib>

#include "synth.h"

inline void check(bool ok) {
  if (!ok) std::abort();
}

inline bool engine_ready() {
  static const bool ok = [] {
    orasay::engine::use_data_directory(ORASAY_FUZZ_DATA_DIR);
    return orasay::engine::initialise();
  }();
  return ok;
}
