// Runs a fuzz target's LLVMFuzzerTestOneInput once on every file named on the
// command line, or found in a directory named there, in name order; so a
// target's corpus and regression inputs run as an ordinary test with any
// compiler.  A failing input aborts, as it would under libFuzzer.
// See LICENSE.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);

namespace {

namespace fs = std::filesystem;

// Returns the files of path in name order: path itself, or the regular
// files of a directory but for hidden ones (not recursively); none when
// path is missing.
std::vector<fs::path> inputs_of(const fs::path &path) {
  std::vector<fs::path> files;
  std::error_code ec;
  if (fs::is_directory(path, ec)) {
    for (const fs::directory_entry &e : fs::directory_iterator(path))
      if (e.is_regular_file() && e.path().filename().string()[0] != '.')
        files.push_back(e.path());  // not .gitkeep and the like
  } else if (fs::exists(path, ec)) {
    files.push_back(path);
  }
  std::sort(files.begin(), files.end());
  return files;
}

}  // namespace

int main(int argc, char **argv) {
  // A target may point stderr elsewhere to silence the code under test;
  // the report keeps the stream that was standard error at start-up.
  std::FILE *const report = stderr;
  size_t runs = 0;
  for (int i = 1; i < argc; ++i) {
    for (const fs::path &file : inputs_of(argv[i])) {
      std::ifstream in(file, std::ios::binary);
      const std::vector<char> bytes{std::istreambuf_iterator<char>(in),
                                    std::istreambuf_iterator<char>()};
      if (!in.eof() && in.fail()) {
        std::fprintf(report, "cannot read %s\n", file.string().c_str());
        return 1;
      }
      std::fprintf(report, "%s\n", file.string().c_str());
      std::fflush(report);
      LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t *>(bytes.data()),
                             bytes.size());
      ++runs;
    }
  }
  std::fprintf(report, "%zu inputs replayed\n", runs);
  return runs > 0 ? 0 : 1;
}
