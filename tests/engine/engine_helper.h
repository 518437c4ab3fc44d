// Shared helpers of the engine tests: rendering through the entry points
// and simple measurements of speech.  See LICENSE.
#ifndef ORASAY_TESTS_ENGINE_HELPER_H
#define ORASAY_TESTS_ENGINE_HELPER_H

#include <cstdint>
#include <string>
#include <vector>

namespace engine_test {

constexpr char esc = 27;

// The program's eight-byte escape command: blank, ESC, '[', three digits,
// letter, blank.
std::string cmd(char letter, int value);

// A file that disappears when it goes out of scope.
struct temp_file {
  temp_file();
  ~temp_file();
  temp_file(const temp_file &) = delete;
  temp_file &operator=(const temp_file &) = delete;
  std::string path;
  int fd = -1;
};

std::vector<unsigned char> read_bytes(const std::string &path);

// Renders the text with a fresh handle of the format word as headerless
// 16-bit PCM (format_word must select PCM) and returns the samples; fails
// the current test when an entry point fails.
std::vector<short> render(const std::string &text, int32_t format_word = 0);

// The sample rate of a format word.
int rate_of(int32_t format_word);

// Measurements; `rate` in Hz.
double seconds(const std::vector<short> &s, int rate);
// From the first to the last sample louder than -40 dBFS, in seconds.
double speech_seconds(const std::vector<short> &s, int rate);
// RMS level over the whole signal in dBFS (-200 for silence).
double rms_db(const std::vector<short> &s);
int peak(const std::vector<short> &s);
// The longest run of samples quieter than -50 dBFS, in seconds.
double longest_silence(const std::vector<short> &s, int rate);

// Pitch by autocorrelation on 40 ms frames every 10 ms; frames quieter than
// -40 dBFS are skipped.
struct pitch_track {
  std::vector<double> f0;  // of the voiced frames, Hz
  std::vector<double>
      periodicity;  // peak of the normalised autocorrelation, all loud frames
};
pitch_track track_pitch(const std::vector<short> &s, int rate);
double percentile(std::vector<double> v,
                  double p);  // p in 0..100; NaN if empty
// Share of loud frames whose autocorrelation peak reaches 0.6.
double voiced_share(const pitch_track &t);

// Long-term spectrum: levels in dB of 16 log-spaced bands from 100 Hz to
// 0.45 times the rate, relative to their mean.
std::vector<double> band_levels(const std::vector<short> &s, int rate);
// RMS difference of two band_levels results, dB.
double spectrum_distance(const std::vector<double> &a,
                         const std::vector<double> &b);

// Whether a sound server answers (pactl info).
bool sound_server_reachable();

}  // namespace engine_test

#endif  // ORASAY_TESTS_ENGINE_HELPER_H
