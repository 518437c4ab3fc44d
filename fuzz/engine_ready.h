// What the engine's fuzz targets share: a check that aborts, which
// libFuzzer reports as a finding, and the engine started once on the
// build's data.  See LICENSE.
#pragma once

#include <cstdlib>

#include "synth.h"

#ifndef ORASAY_FUZZ_DATA_DIR
#error "ORASAY_FUZZ_DATA_DIR names the engine's data directory"
#endif

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
