// Throughput of parse over 1 MiB texts, beside a memchr pass over the same
// bytes: the floor for any scan that reads every byte once.
#include "parse.h"

#include <benchmark/benchmark.h>

#include <cstring>
#include <string>

namespace {

constexpr size_t kSize = 1 << 20;

std::string make_text(const char *markup, size_t every) {
  const std::string filler = "The quick brown fox jumps over the lazy dog. ";
  std::string text;
  text.reserve(kSize + 64);
  while (text.size() < kSize) {
    if (markup && (every == 0 || text.size() % every < filler.size() + 1 ||
                   text.empty())) {
      text += markup;
      if (every == 0) continue;
    }
    text += filler;
  }
  text.resize(kSize);
  return text;
}

// Texts: no markup, one markup per KiB, markup back to back.
std::string text_of(int kind) {
  switch (kind) {
    case 0: return make_text(nullptr, 0);
    case 1: return make_text("{{rate 180}}", 1024);
    default: return make_text("{{voice wanda}}", 0);
  }
}

const char *name_of(int kind) {
  return kind == 0 ? "none" : kind == 1 ? "sparse" : "dense";
}

void BM_parse(benchmark::State &state) {
  const std::string text = text_of(static_cast<int>(state.range(0)));
  std::string work = text;
  for (auto _ : state) {
    state.PauseTiming();
    std::memcpy(work.data(), text.data(), text.size());
    state.ResumeTiming();
    parse(work.data());
    benchmark::DoNotOptimize(work.data());
  }
  state.SetBytesProcessed(
      static_cast<int64_t>(state.iterations() * text.size()));
  state.SetLabel(name_of(static_cast<int>(state.range(0))));
}

void BM_memchr(benchmark::State &state) {
  const std::string text = text_of(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    benchmark::DoNotOptimize(std::memchr(text.data(), '\x01', text.size()));
  }
  state.SetBytesProcessed(
      static_cast<int64_t>(state.iterations() * text.size()));
  state.SetLabel(name_of(static_cast<int>(state.range(0))));
}

}  // namespace

BENCHMARK(BM_parse)->DenseRange(0, 2);
BENCHMARK(BM_memchr)->DenseRange(0, 2);
BENCHMARK_MAIN();
