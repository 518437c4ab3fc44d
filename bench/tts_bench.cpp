// A small driver of TV_ENG32.DLL for the benchmarks: renders a text file
// into an audio file, or speaks it and reports when the first audio reached
// the sound server.  See LICENSE.
//
//   tts_bench save TEXTFILE OUTFILE [FORMAT [FORMAT_WORD]]
//       prints peak_rss_kb, the process's peak resident memory
//   tts_bench speak TEXTFILE [FORMAT_WORD]
//       prints how long tts_Speak took to return, to hand the first sample
//       to the sound server and to call back, in ms
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "tv_eng32.h"

struct pa_stream;

namespace {

using clock_type = std::chrono::steady_clock;
std::atomic<bool> done{false};
std::atomic<long long> first_write_ns{0};

void on_done() { done = true; }

long long now_ns() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(
             clock_type::now().time_since_epoch())
      .count();
}

std::string read_file(const char *path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

}  // namespace

// Stands in for libpulse's pa_stream_write: notes the time of the first
// call, then passes it on.
extern "C" __attribute__((visibility("default"))) int pa_stream_write(
    pa_stream *s, const void *data, size_t bytes, void (*free_cb)(void *),
    int64_t offset, int seek) {
  long long expected = 0;
  first_write_ns.compare_exchange_strong(expected, now_ns());
  using write_fn = int (*)(pa_stream *, const void *, size_t, void (*)(void *),
                           int64_t, int);
  static const auto real =
      reinterpret_cast<write_fn>(dlsym(RTLD_NEXT, "pa_stream_write"));
  return real(s, data, bytes, free_cb, offset, seek);
}

int main(int argc, char **argv) {
  if (argc < 3) {
    std::fprintf(
        stderr,
        "usage: tts_bench save TEXT OUT [FORMAT [WORD]] | speak TEXT [WORD]\n");
    return 2;
  }
  const std::string mode = argv[1];
  const std::string text = read_file(argv[2]);
  int32_t h = 0;
  if (mode == "save") {
    if (argc < 4) return 2;
    const int format = argc > 4 ? std::atoi(argv[4]) : 0;
    const int word = argc > 5 ? int(std::strtol(argv[5], nullptr, 0)) : 0;
    if (int rc = tts_Open(-1, word, &h); rc != 0) {
      std::fprintf(stderr, "error: tts_Open: %s\n", tts_status_text(rc));
      return 1;
    }
    const int fd = open(argv[3], O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int rc = tts_SaveFile(h, fd, text.c_str(), format);
    close(fd);
    tts_Close(h);
    if (rc != 0) {
      std::fprintf(stderr, "error: tts_SaveFile: %s\n", tts_status_text(rc));
      return 1;
    }
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("peak_rss_kb %ld\n", usage.ru_maxrss);
    return 0;
  }
  if (mode == "speak") {
    const int word = argc > 3 ? int(std::strtol(argv[3], nullptr, 0)) : 0;
    if (int rc = tts_Open(-1, word, &h); rc != 0) return 1;
    tts_CallBack(h, 1000, on_done, 0);
    const long long start = now_ns();
    if (int rc = tts_Speak(h, text.c_str()); rc != 0) {
      std::fprintf(stderr, "error: tts_Speak: %s\n", tts_status_text(rc));
      return 1;
    }
    const long long returned = now_ns();
    while (!done) usleep(1000);
    const long long end = now_ns();
    tts_Close(h);
    std::printf("speak_returned_ms %.3f\n", (returned - start) / 1e6);
    if (first_write_ns != 0)
      std::printf("first_sample_ms %.3f\n", (first_write_ns - start) / 1e6);
    std::printf("callback_ms %.1f\n", (end - start) / 1e6);
    return 0;
  }
  return 2;
}
