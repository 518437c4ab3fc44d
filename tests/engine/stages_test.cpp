// Tests of the resampling and encoding stage on its own: lengths after
// rate conversion, exact silences, time-stretching and A-law bytes.
// See LICENSE.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <new>
#include <random>
#include <vector>

#include "fileout.h"
#include "resample.h"
#include "synth.h"

// eSpeak NG's harmonic sum (our patch): variant 0 is the plain loop,
// variant 1 the fastest the CPU runs.
extern "C" int WavegenHarmonicSum(int variant, const int *amp, int n_added,
                                  int n, unsigned step);

namespace {

using orasay::engine::alaw_encoder;
using orasay::engine::file_format;
using orasay::engine::file_writer;
using orasay::engine::resampler;
using orasay::engine::resampler_thread;
using orasay::engine::synth_rate;
using orasay::engine::write_error;

// A 200 Hz tone at half scale, `seconds` long, at the synthesiser's rate.
std::vector<short> tone(double seconds) {
  std::vector<short> s(std::size_t(seconds * synth_rate));
  for (std::size_t i = 0; i < s.size(); ++i)
    s[i] = short(16384 * std::sin(2 * M_PI * 200 * double(i) / synth_rate));
  return s;
}

// Pushes the input in chunks of the synthesiser's size and counts the
// output samples.
struct counted {
  std::vector<short> out;
  std::unique_ptr<resampler> r;
  explicit counted(int rate)
      : r(resampler::create(rate, [this](const short *s, std::size_t n) {
          out.insert(out.end(), s, s + n);
          return true;
        })) {}
  void push(const std::vector<short> &in) {
    for (std::size_t i = 0; i < in.size(); i += 1081)
      ASSERT_TRUE(
          r->push(in.data() + i, std::min<std::size_t>(1081, in.size() - i)));
  }
};

TEST(engine_stages, converts_rates_to_the_exact_length) {
  for (int rate : {8000, 11025}) {
    SCOPED_TRACE(rate);
    counted c(rate);
    ASSERT_TRUE(c.r);
    c.push(tone(3.0));
    ASSERT_TRUE(c.r->finish());
    EXPECT_NEAR(double(c.out.size()), 3.0 * rate, 1.0);
  }
}

TEST(engine_stages, inserts_exact_silence) {
  struct row {
    int ms;
  };
  for (const row &r : {row{0}, row{10}, row{1000}, row{2500}}) {
    SCOPED_TRACE(r.ms);
    counted c(8000);
    c.push(tone(0.5));
    ASSERT_TRUE(c.r->silence(r.ms));
    c.push(tone(0.5));
    ASSERT_TRUE(c.r->finish());
    EXPECT_NEAR(double(c.out.size()), 8000 * (1.0 + r.ms / 1000.0), 1.0);
  }
}

TEST(engine_stages, stretches_time_and_keeps_it_after_silence) {
  struct row {
    double speed, ratio;
  };
  for (const row &r : {row{2.0, 0.5}, row{0.5, 2.0}, row{1.0, 1.0}}) {
    SCOPED_TRACE(r.speed);
    counted c(11025);
    ASSERT_TRUE(c.r->set_speed(r.speed));
    c.push(tone(1.0));
    ASSERT_TRUE(c.r->silence(100));  // the speed holds across a pause
    c.push(tone(1.0));
    ASSERT_TRUE(c.r->finish());
    EXPECT_NEAR(double(c.out.size()) / 11025, 2.0 * r.ratio + 0.1,
                0.02 * r.ratio);
  }
}

TEST(engine_stages, stops_when_the_sink_refuses) {
  int calls = 0;
  auto r = resampler::create(8000, [&](const short *, std::size_t) {
    ++calls;
    return false;
  });
  const auto in = tone(1.0);
  EXPECT_FALSE(r->push(in.data(), in.size()));
  EXPECT_FALSE(r->push(in.data(), in.size()));
  EXPECT_FALSE(r->finish());
  EXPECT_EQ(calls, 1);
}

TEST(engine_stages, converts_on_a_thread_like_on_the_callers) {
  std::vector<short> direct, threaded;
  auto into = [](std::vector<short> *v) {
    return [v](const short *s, std::size_t n) {
      v->insert(v->end(), s, s + n);
      return true;
    };
  };
  auto d = resampler::create(8000, into(&direct));
  auto t = resampler_thread::create(8000, into(&threaded));
  ASSERT_TRUE(d && t);
  const auto in = tone(1.3);
  for (auto *step : {&in, &in}) {
    for (std::size_t i = 0; i < step->size(); i += 1081) {
      const std::size_t n = std::min<std::size_t>(1081, step->size() - i);
      ASSERT_TRUE(d->push(step->data() + i, n));
      ASSERT_TRUE(t->push(step->data() + i, n));
    }
    ASSERT_TRUE(d->silence(250) && t->silence(250));
    ASSERT_TRUE(d->set_speed(1.5) && t->set_speed(1.5));
  }
  ASSERT_TRUE(d->finish());
  ASSERT_TRUE(t->finish());
  EXPECT_EQ(threaded, direct);  // the same samples, in the same order
}

TEST(engine_stages, a_refusing_sink_stops_the_thread) {
  auto t = resampler_thread::create(
      8000, [](const short *, std::size_t) { return false; });
  const auto in = tone(0.5);
  bool ok = true;
  for (int i = 0; i < 100 && ok; ++i) ok = t->push(in.data(), in.size());
  EXPECT_FALSE(ok);
  EXPECT_FALSE(t->finish());
}

// Running out of memory on the conversion thread ends it without ending the
// process: the caller gets the exception on its own thread.
TEST(engine_stages, a_throwing_sink_is_thrown_again_to_the_caller) {
  auto t = resampler_thread::create(
      8000, [](const short *, std::size_t) -> bool { throw std::bad_alloc(); });
  const auto in = tone(0.5);
  EXPECT_THROW(
      {
        for (int i = 0; i < 100; ++i) t->push(in.data(), in.size());
        t->finish();
      },
      std::bad_alloc);
}

// A WAV file's lengths must fit its 32-bit header fields: past the limit the
// writer stops with its own error instead of writing wrapped lengths.
TEST(engine_stages, a_wav_file_stops_at_its_length_limit) {
  struct row {
    file_format format;
    bool stops;
  };
  const row rows[] = {{file_format::wav, true},
                      {file_format::au, false},
                      {file_format::raw, false}};
  const auto in = tone(1.0);  // 22050 samples, 44100 bytes
  for (const row &r : rows) {
    SCOPED_TRACE(int(r.format));
    FILE *f = std::tmpfile();
    auto w = file_writer::open(fileno(f), r.format, 8000, false, 100000);
    ASSERT_TRUE(w);
    bool ok = true;
    for (int i = 0; i < 3 && ok; ++i) ok = w->write(in.data(), in.size());
    ok = w->close() && ok;
    EXPECT_EQ(ok, !r.stops);
    EXPECT_EQ(w->error(), r.stops ? write_error::too_long : write_error::none);
    std::fclose(f);
  }
}

TEST(engine_stages, encodes_a_law_one_byte_per_sample) {
  auto e = alaw_encoder::create(8000);
  ASSERT_TRUE(e);
  struct row {
    short sample;
    unsigned char byte;  // G.711 A-law, even bits inverted
  };
  const row rows[] = {{0, 0xD5}, {-1, 0x55}, {32767, 0xAA}, {-32768, 0x2A}};
  for (const row &r : rows) {
    SCOPED_TRACE(r.sample);
    const auto &bytes = e->encode(&r.sample, 1);
    ASSERT_EQ(bytes.size(), 1u);
    EXPECT_EQ(bytes[0], r.byte);
  }
  const auto in = tone(0.1);
  EXPECT_EQ(e->encode(in.data(), in.size()).size(), in.size());
}

// Harmonic h sits at phase h * waveph modulo 2^16 in a sine table of
// amplitude -8191, and the fast variant gives the plain loop's sum bit for
// bit: at every split between added and subtracted harmonics, at the ends of
// its eight-wide blocks, and when the products wrap.
TEST(engine_stages, harmonic_sums_wrap_the_phase_and_agree) {
  for (unsigned waveph : {1u, 0x0800u, 0x7fffu, 0xffffu, 12345u})
    for (int h : {1, 2, 9, 33, 399})
      for (int variant : {0, 1}) {
        SCOPED_TRACE(testing::Message()
                     << waveph << " " << h << " " << variant);
        std::vector<int> amp(399);
        amp[h - 1] = 1;
        const unsigned phase = (unsigned(h) * waveph) & 0xffff;
        const double entry = -8191 * std::sin(2 * M_PI * (phase >> 5) / 2048);
        const unsigned step = waveph << 16;
        EXPECT_NEAR(WavegenHarmonicSum(variant, amp.data(), h, 399, step),
                    entry, 1);
        EXPECT_NEAR(WavegenHarmonicSum(variant, amp.data(), h - 1, 399, step),
                    -entry, 1);
      }

  struct row {
    int n_added, n;
  };
  const row rows[] = {{0, 0},  {0, 1},  {1, 1},    {8, 8},
                      {3, 7},  {8, 9},  {9, 8},    {16, 17},
                      {0, 50}, {8, 50}, {12, 399}, {399, 399}};
  std::mt19937 rng(7);
  std::vector<int> amp(399);
  for (const row &r : rows)
    for (int trial = 0; trial < 20; ++trial) {
      SCOPED_TRACE(testing::Message()
                   << r.n_added << " " << r.n << " " << trial);
      for (int &a : amp) a = int(rng());
      const unsigned step = rng() << 16;
      EXPECT_EQ(WavegenHarmonicSum(1, amp.data(), r.n_added, r.n, step),
                WavegenHarmonicSum(0, amp.data(), r.n_added, r.n, step));
    }
}

}  // namespace
