// Test helper: reads an audio file with libsndfile, its container, encoding
// and rate, and all its samples.  Raw files need their layout given.
#ifndef ORASAY_TESTS_AUDIO_FILE_H
#define ORASAY_TESTS_AUDIO_FILE_H

#include <sndfile.h>

#include <cstdint>
#include <string>
#include <vector>

struct audio_file {
  bool opened = false;  // whether libsndfile could read it
  SF_INFO info{};
  std::vector<int16_t> samples;
};

// format: 0 WAV, 1 raw, 2 AU.  Samples are read to the end, so files whose
// header gives no length (streamed WAV or AU) are read whole too.
inline audio_file read_audio(const std::string &path, int format, int rate,
                             bool alaw) {
  audio_file a;
  if (format == 1) {
    a.info.samplerate = rate;
    a.info.channels = 1;
    a.info.format = SF_FORMAT_RAW | SF_ENDIAN_LITTLE |
                    (alaw ? SF_FORMAT_ALAW : SF_FORMAT_PCM_16);
  }
  SNDFILE *f = sf_open(path.c_str(), SFM_READ, &a.info);
  if (f == nullptr) return a;
  a.opened = true;
  int16_t chunk[4096];
  for (sf_count_t n; (n = sf_read_short(f, chunk, 4096)) > 0;)
    a.samples.insert(a.samples.end(), chunk, chunk + n);
  sf_close(f);
  return a;
}

#endif  // ORASAY_TESTS_AUDIO_FILE_H
