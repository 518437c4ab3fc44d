// Shared helpers of the engine tests: rendering through the entry points
// and simple measurements of speech.  See LICENSE.
#include "engine_helper.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <numeric>

#include "tv_eng32.h"

namespace engine_test {

std::string cmd(char letter, int value) {
  char buf[16];
  std::snprintf(buf, sizeof buf, " %c[%03d%c ", esc, value, letter);
  return buf;
}

temp_file::temp_file() {
  char name[] = "/tmp/engine_test_XXXXXX";
  fd = mkstemp(name);
  path = name;
}

temp_file::~temp_file() {
  if (fd >= 0) close(fd);
  unlink(path.c_str());
}

std::vector<unsigned char> read_bytes(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

int rate_of(int32_t format_word) {
  return (format_word & 0xFFFF) == 1 ? 8000 : 11025;
}

std::vector<short> render(const std::string &text, int32_t format_word) {
  int32_t h = 0;
  EXPECT_EQ(tts_Open(-1, format_word, &h), TTS_OK);
  temp_file f;
  EXPECT_EQ(tts_SaveFile(h, f.fd, text.c_str(), 1), TTS_OK);
  EXPECT_EQ(tts_Close(h), TTS_OK);
  const auto bytes = read_bytes(f.path);
  std::vector<short> s(bytes.size() / 2);
  for (std::size_t i = 0; i < s.size(); ++i)
    s[i] = static_cast<short>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
  return s;
}

double seconds(const std::vector<short> &s, int rate) {
  return double(s.size()) / rate;
}

double speech_seconds(const std::vector<short> &s, int rate) {
  const int threshold = 328;  // -40 dBFS
  auto loud = [&](short x) { return std::abs(int(x)) > threshold; };
  const auto first = std::find_if(s.begin(), s.end(), loud);
  if (first == s.end()) return 0;
  const auto last = std::find_if(s.rbegin(), s.rend(), loud);
  return double(std::distance(first, last.base())) / rate;
}

double rms_db(const std::vector<short> &s) {
  if (s.empty()) return -200;
  double sum = 0;
  for (short x : s) sum += double(x) * x;
  const double rms = std::sqrt(sum / s.size()) / 32768.0;
  return rms > 0 ? 20 * std::log10(rms) : -200;
}

int peak(const std::vector<short> &s) {
  int m = 0;
  for (short x : s) m = std::max(m, std::abs(int(x)));
  return m;
}

double longest_silence(const std::vector<short> &s, int rate) {
  std::size_t best = 0, run = 0;
  for (short x : s) {
    run = std::abs(int(x)) <= 104 ? run + 1 : 0;
    best = std::max(best, run);
  }
  return double(best) / rate;
}

pitch_track track_pitch(const std::vector<short> &s, int rate) {
  pitch_track t;
  const std::size_t frame = std::size_t(rate * 0.04);
  const std::size_t hop = std::size_t(rate * 0.01);
  const int min_lag = rate / 450, max_lag = rate / 45;
  std::vector<double> x(frame);
  for (std::size_t start = 0; start + frame <= s.size(); start += hop) {
    double energy = 0;
    for (std::size_t i = 0; i < frame; ++i) {
      x[i] = s[start + i] / 32768.0;
      energy += x[i] * x[i];
    }
    if (std::sqrt(energy / frame) < 0.01) continue;  // -40 dBFS
    auto corr = [&](int lag) {
      double xy = 0, xx = 0, yy = 0;
      for (std::size_t i = 0; i + lag < frame; ++i) {
        xy += x[i] * x[i + lag];
        xx += x[i] * x[i];
        yy += x[i + lag] * x[i + lag];
      }
      return xx > 0 && yy > 0 ? xy / std::sqrt(xx * yy) : 0.0;
    };
    std::vector<double> r(max_lag + 2, 0.0);
    int best = min_lag;
    for (int lag = min_lag; lag <= max_lag + 1; ++lag) {
      r[lag] = corr(lag);
      if (lag <= max_lag && r[lag] > r[best]) best = lag;
    }
    // Prefer the shortest period whose peak is nearly as high (octave
    // errors at multiples of the period).
    for (int k = 4; k >= 2; --k) {
      const int lag = int(std::lround(double(best) / k));
      for (int l = std::max(min_lag, lag - 1); l <= lag + 1; ++l) {
        if (l > min_lag && l < max_lag && r[l] >= 0.85 * r[best] &&
            r[l] >= r[l - 1] && r[l] >= r[l + 1]) {
          best = l;
          k = 1;
          break;
        }
      }
    }
    t.periodicity.push_back(r[best]);
    if (r[best] < 0.6 || best <= min_lag || best >= max_lag) continue;
    // Parabolic interpolation of the peak for sub-sample periods.
    const double a = r[best - 1], b = r[best], c = r[best + 1];
    const double denom = a - 2 * b + c;
    const double shift = denom != 0 ? 0.5 * (a - c) / denom : 0;
    t.f0.push_back(rate / (best + shift));
  }
  return t;
}

double percentile(std::vector<double> v, double p) {
  if (v.empty()) return std::nan("");
  std::sort(v.begin(), v.end());
  const double pos = p / 100 * (v.size() - 1);
  const auto i = std::size_t(pos);
  const double frac = pos - i;
  return i + 1 < v.size() ? v[i] * (1 - frac) + v[i + 1] * frac : v[i];
}

double voiced_share(const pitch_track &t) {
  if (t.periodicity.empty()) return 0;
  const auto n = std::count_if(t.periodicity.begin(), t.periodicity.end(),
                               [](double p) { return p >= 0.6; });
  return double(n) / t.periodicity.size();
}

std::vector<double> band_levels(const std::vector<short> &s, int rate) {
  constexpr int n = 512, bands = 16;
  std::vector<double> power(n / 2, 0.0);
  const double pi = std::acos(-1.0);
  std::vector<std::complex<double>> twiddle(n);
  std::vector<double> window(n), x(n);
  for (int k = 0; k < n; ++k) {
    twiddle[k] = std::polar(1.0, -2 * pi * k / n);
    window[k] = 0.5 - 0.5 * std::cos(2 * pi * k / n);
  }
  for (std::size_t start = 0; start + n <= s.size(); start += n) {
    for (int i = 0; i < n; ++i) x[i] = window[i] * s[start + i];
    for (int bin = 1; bin < n / 2; ++bin) {
      std::complex<double> acc = 0;
      for (int i = 0; i < n; ++i) acc += x[i] * twiddle[(bin * i) % n];
      power[bin] += std::norm(acc);
    }
  }
  std::vector<double> level(bands, 0.0);
  const double lo = 100, hi = 0.45 * rate;
  for (int b = 0; b < bands; ++b) {
    const double f1 = lo * std::pow(hi / lo, double(b) / bands);
    const double f2 = lo * std::pow(hi / lo, double(b + 1) / bands);
    double sum = 1e-9;
    for (int bin = 1; bin < n / 2; ++bin) {
      const double f = double(bin) * rate / n;
      if (f >= f1 && f < f2) sum += power[bin];
    }
    level[b] = 10 * std::log10(sum / (f2 - f1));
  }
  const double mean = std::accumulate(level.begin(), level.end(), 0.0) / bands;
  for (double &l : level) l -= mean;
  return level;
}

double spectrum_distance(const std::vector<double> &a,
                         const std::vector<double> &b) {
  double sum = 0;
  for (std::size_t i = 0; i < a.size() && i < b.size(); ++i)
    sum += (a[i] - b[i]) * (a[i] - b[i]);
  return std::sqrt(sum / std::max<std::size_t>(1, a.size()));
}

bool sound_server_reachable() {
  return std::system("pactl info >/dev/null 2>&1") == 0;
}

}  // namespace engine_test
