// Writes the manifest of a data directory at build time, so that the engine
// can tell whole data from damaged data.  See LICENSE.
//   orasay_data_manifest DATA_DIR
#include <cstdio>

#include "data.h"

int main(int argc, char **argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s DATA_DIR\n", argv[0]);
    return 2;
  }
  if (!orasay::engine::write_manifest(argv[1])) {
    std::fprintf(stderr, "%s: cannot write the manifest of %s\n", argv[0],
                 argv[1]);
    return 1;
  }
  return 0;
}
