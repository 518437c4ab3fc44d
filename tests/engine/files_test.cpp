// Tests of tts_Open, tts_SaveFile and tts_Close: every file format, codec
// and rate read back with libsndfile, pipes, the error codes and bad input.
// See LICENSE.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sndfile.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "audio_file.h"
#include "engine_helper.h"
#include "tv_eng32.h"

namespace {

using namespace engine_test;

const std::string sentence = "The quick brown fox jumps over the lazy dog.";

TEST(engine_files, writes_every_format_codec_and_rate) {
  struct row {
    int format;    // 0 WAV, 1 raw, 2 AU
    int32_t word;  // rate code and codec bits
    int major;     // expected container
  };
  const row rows[] = {
      {0, 0x00000, SF_FORMAT_WAV}, {0, 0x00001, SF_FORMAT_WAV},
      {0, 0x30000, SF_FORMAT_WAV}, {0, 0x30001, SF_FORMAT_WAV},
      {1, 0x00000, SF_FORMAT_RAW}, {1, 0x00001, SF_FORMAT_RAW},
      {1, 0x30000, SF_FORMAT_RAW}, {1, 0x30001, SF_FORMAT_RAW},
      {2, 0x00000, SF_FORMAT_AU},  {2, 0x00001, SF_FORMAT_AU},
      {2, 0x30000, SF_FORMAT_AU},  {2, 0x30001, SF_FORMAT_AU},
  };
  // The reference length at each rate, from 16-bit raw output.
  const double length_11k = seconds(render(sentence, 0), 11025);
  const double length_8k = seconds(render(sentence, 1), 8000);
  ASSERT_GT(length_11k, 1.5);
  EXPECT_NEAR(length_8k, length_11k, 0.01);
  for (const row &r : rows) {
    SCOPED_TRACE("format " + std::to_string(r.format) + " word " +
                 std::to_string(r.word));
    const bool alaw = (r.word & 0x30000) != 0;
    const int rate = rate_of(r.word);
    int32_t h = 0;
    ASSERT_EQ(tts_Open(-1, r.word, &h), TTS_OK);
    temp_file f;
    ASSERT_EQ(tts_SaveFile(h, f.fd, sentence.c_str(), r.format), TTS_OK);
    EXPECT_EQ(tts_Close(h), TTS_OK);
    // The descriptor is still open and usable.
    EXPECT_NE(fcntl(f.fd, F_GETFD), -1);
    const audio_file o = read_audio(f.path, r.format, rate, alaw);
    ASSERT_TRUE(o.opened) << sf_strerror(nullptr);
    EXPECT_EQ(o.info.format & SF_FORMAT_TYPEMASK, r.major);
    EXPECT_EQ(o.info.format & SF_FORMAT_SUBMASK,
              alaw ? SF_FORMAT_ALAW : SF_FORMAT_PCM_16);
    EXPECT_EQ(o.info.samplerate, rate);
    EXPECT_EQ(o.info.channels, 1);
    EXPECT_NEAR(double(o.info.frames) / rate, length_11k, 0.01);
    // The audio is speech, not silence.
    EXPECT_GT(rms_db(o.samples), -35);
  }
}

TEST(engine_files, raw_pcm_is_little_endian_without_header) {
  const auto s = render(sentence, 0);
  ASSERT_FALSE(s.empty());
  // Headerless: the first samples are the synthesiser's leading silence.
  EXPECT_LT(std::abs(int(s[0])), 64);
  EXPECT_LT(std::abs(int(s[1])), 64);
}

// Reads everything from a pipe's read end on a thread.
struct pipe_reader {
  pipe_reader() {
    EXPECT_EQ(pipe(fds), 0);
    reader = std::thread([this] {
      unsigned char buf[4096];
      ssize_t n;
      while ((n = read(fds[0], buf, sizeof buf)) > 0)
        data.insert(data.end(), buf, buf + n);
    });
  }
  // Closes the write end and waits for the reader.
  std::vector<unsigned char> finish() {
    close(fds[1]);
    reader.join();
    close(fds[0]);
    return data;
  }
  int fds[2] = {-1, -1};
  std::thread reader;
  std::vector<unsigned char> data;
};

// Into a pipe, or a file opened for appending, where a header cannot be
// written again: the file's audio, to the sample, with WAV's and AU's
// lengths unknown (all ones).
TEST(engine_files, writes_valid_files_into_pipes) {
  struct row {
    int format;
    int32_t word;
    int major;
    bool append;  // into a file opened with O_APPEND instead
  };
  const row rows[] = {
      {0, 0x00000, SF_FORMAT_WAV, false}, {0, 0x30001, SF_FORMAT_WAV, false},
      {0, 0x30000, SF_FORMAT_WAV, false}, {1, 0x00001, SF_FORMAT_RAW, false},
      {2, 0x00000, SF_FORMAT_AU, false},  {2, 0x30001, SF_FORMAT_AU, false},
      {0, 0x30000, SF_FORMAT_WAV, true},  {2, 0x00000, SF_FORMAT_AU, true},
  };
  for (const row &r : rows) {
    SCOPED_TRACE("format " + std::to_string(r.format) + " word " +
                 std::to_string(r.word) + (r.append ? " append" : ""));
    int32_t h = 0;
    ASSERT_EQ(tts_Open(-1, r.word, &h), TTS_OK);
    temp_file whole, f;
    ASSERT_EQ(tts_SaveFile(h, whole.fd, sentence.c_str(), r.format), TTS_OK);
    std::vector<unsigned char> bytes;
    if (r.append) {
      const int fd = open(f.path.c_str(), O_WRONLY | O_APPEND);
      EXPECT_EQ(tts_SaveFile(h, fd, sentence.c_str(), r.format), TTS_OK);
      close(fd);
      bytes = read_bytes(f.path);
    } else {
      pipe_reader p;
      EXPECT_EQ(tts_SaveFile(h, p.fds[1], sentence.c_str(), r.format), TTS_OK);
      bytes = p.finish();
      ASSERT_EQ(write(f.fd, bytes.data(), bytes.size()), ssize_t(bytes.size()));
    }
    EXPECT_EQ(tts_Close(h), TTS_OK);
    if (r.format != 1) {
      ASSERT_GT(bytes.size(), 64u);
      const int at = r.format == 0 ? 4 : 8;  // RIFF length; AU data size
      EXPECT_EQ(std::vector<unsigned char>(bytes.begin() + at,
                                           bytes.begin() + at + 4),
                std::vector<unsigned char>(4, 0xFF));
    }
    if (r.format == 0) {
      const std::string head(bytes.begin(), bytes.begin() + 64);
      const std::size_t data = head.find("data");
      ASSERT_NE(data, std::string::npos);
      EXPECT_EQ(head.substr(data + 4, 4), std::string(4, '\xFF'));
    }
    const bool alaw = (r.word & 0x30000) != 0;
    const audio_file o = read_audio(f.path, r.format, rate_of(r.word), alaw);
    ASSERT_TRUE(o.opened);
    EXPECT_EQ(o.info.format & SF_FORMAT_TYPEMASK, r.major);
    // Streamed lengths are unknown: the samples are counted to the end.
    EXPECT_EQ(o.samples,
              read_audio(whole.path, r.format, rate_of(r.word), alaw).samples);
  }
}

TEST(engine_files, reports_each_error_code) {
  int32_t h = 0;
  ASSERT_EQ(tts_Open(-1, 0, &h), TTS_OK);
  const int32_t unknown = h + 1000;
  char buf[64];
  int32_t status = 0;
  struct row {
    const char *name;
    int result;
    int expected;
  };
  const int devfull = open("/dev/full", O_WRONLY);
  ASSERT_GE(devfull, 0);
  int32_t tmp = 0;
  const row rows[] = {
      {"rate code 2", tts_Open(-1, 2, &tmp), TTS_ERR_ARGUMENT},
      {"rate code 0xFFFF", tts_Open(-1, 0xFFFF, &tmp), TTS_ERR_ARGUMENT},
      {"codec bit 16 alone", tts_Open(-1, 0x10000, &tmp), TTS_ERR_ARGUMENT},
      {"codec bit 17 alone", tts_Open(-1, 0x20000, &tmp), TTS_ERR_ARGUMENT},
      {"codec bit 18", tts_Open(-1, 0x70000, &tmp), TTS_ERR_ARGUMENT},
      {"format word -1", tts_Open(-1, -1, &tmp), TTS_ERR_ARGUMENT},
      {"null handle pointer", tts_Open(-1, 0, nullptr), TTS_ERR_ARGUMENT},
      {"file format 3", tts_SaveFile(h, devfull, "x", 3), TTS_ERR_ARGUMENT},
      {"file format -1", tts_SaveFile(h, devfull, "x", -1), TTS_ERR_ARGUMENT},
      {"null text", tts_SaveFile(h, devfull, nullptr, 0), TTS_ERR_ARGUMENT},
      {"/dev/full WAV", tts_SaveFile(h, devfull, "hello", 0), TTS_ERR_WRITE},
      {"/dev/full raw", tts_SaveFile(h, devfull, "hello", 1), TTS_ERR_WRITE},
      {"/dev/full AU", tts_SaveFile(h, devfull, "hello", 2), TTS_ERR_WRITE},
      {"bad descriptor", tts_SaveFile(h, -1, "hello", 1), TTS_ERR_WRITE},
      {"read-only descriptor",
       tts_SaveFile(h, open("/dev/null", O_RDONLY), "hello", 1), TTS_ERR_WRITE},
      {"unknown handle: SaveFile", tts_SaveFile(unknown, devfull, "x", 0),
       TTS_ERR_HANDLE},
      {"unknown handle: Speak", tts_Speak(unknown, "x"), TTS_ERR_HANDLE},
      {"unknown handle: Phoneme", tts_Phoneme(unknown, "x", buf, 64, &status),
       TTS_ERR_HANDLE},
      {"unknown handle: CallBack", tts_CallBack(unknown, 1000, nullptr, 0),
       TTS_ERR_HANDLE},
      {"unknown handle: Close", tts_Close(unknown), TTS_ERR_HANDLE},
      {"handle 0", tts_Close(0), TTS_ERR_HANDLE},
      {"Phoneme capacity 0", tts_Phoneme(h, "x", buf, 0, &status),
       TTS_ERR_ARGUMENT},
      {"Phoneme null buffer", tts_Phoneme(h, "x", nullptr, 8, &status),
       TTS_ERR_ARGUMENT},
      {"Phoneme null status", tts_Phoneme(h, "x", buf, 8, nullptr),
       TTS_ERR_ARGUMENT},
      {"Speak null text", tts_Speak(h, nullptr), TTS_ERR_ARGUMENT},
      {"close", tts_Close(h), TTS_OK},
      {"close twice", tts_Close(h), TTS_ERR_HANDLE},
      {"closed handle: SaveFile", tts_SaveFile(h, devfull, "x", 0),
       TTS_ERR_HANDLE},
  };
  for (const row &r : rows) {
    SCOPED_TRACE(r.name);
    EXPECT_EQ(r.result, r.expected) << tts_status_text(r.result);
  }
  // The caller's descriptor stays open although its headers failed.
  struct stat st {};
  EXPECT_EQ(fstat(devfull, &st), 0);
  EXPECT_EQ(st.st_rdev, makedev(1, 7));
  close(devfull);
}

TEST(engine_files, a_closed_pipe_is_a_write_error_not_a_signal) {
  int32_t h = 0;
  ASSERT_EQ(tts_Open(-1, 0, &h), TTS_OK);
  for (int format : {0, 1, 2}) {
    SCOPED_TRACE(format);
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    close(fds[0]);
    EXPECT_EQ(tts_SaveFile(h, fds[1], sentence.c_str(), format), TTS_ERR_WRITE);
    close(fds[1]);
  }
  EXPECT_EQ(tts_Close(h), TTS_OK);
}

TEST(engine_files, handles_are_positive_distinct_and_independent) {
  int32_t a = 0, b = 0;
  ASSERT_EQ(tts_Open(-1, 0, &a), TTS_OK);
  ASSERT_EQ(tts_Open(-1, 0x30001, &b), TTS_OK);
  EXPECT_GT(a, 0);
  EXPECT_GT(b, 0);
  EXPECT_NE(a, b);
  EXPECT_EQ(tts_Close(a), TTS_OK);
  // b is still open, with its own format.
  temp_file f;
  EXPECT_EQ(tts_SaveFile(b, f.fd, "hello", 0), TTS_OK);
  const audio_file o = read_audio(f.path, 0, 8000, true);
  ASSERT_TRUE(o.opened);
  EXPECT_EQ(o.info.samplerate, 8000);
  EXPECT_EQ(o.info.format & SF_FORMAT_SUBMASK, SF_FORMAT_ALAW);
  EXPECT_EQ(tts_Close(b), TTS_OK);
}

// Bad input: the engine neither crashes nor hangs, and writes a valid file.
TEST(engine_files, survives_bad_input) {
  std::string every_byte;
  for (int b = 1; b < 256; ++b) every_byte.push_back(char(b));
  std::string stray_esc;
  for (int i = 0; i < 200; ++i)
    stray_esc += "a\x1b\x1b[\x1b[9\x1b[99Q\x1b[999 \x1b[12345678901234567890r ";
  std::string mib_commands;
  while (mib_commands.size() < (1u << 20)) mib_commands += " \x1b[050r  \x1b";
  std::string long_word(1u << 16, 'x');
  std::string mib_blanks(1u << 20, ' ');
  mib_blanks += "end";
  struct row {
    const char *name;
    std::string text;
  };
  const row rows[] = {
      {"empty", ""},
      {"every byte value", every_byte},
      {"invalid UTF-8",
       "caf\xC3 \xC3\xA9\xE2\x82 \xF0\x9F\x98 \xFF\xFE\x80\xBF end"},
      {"stray ESC bytes", stray_esc},
      {"eSpeak's own command byte",
       "a \x01"
       "20S \x01"
       "0A b \x01"},
      {"unterminated phoneme input", "\x1b[001I [[h@l'oU ]] ]] [["},
      {"1 MiB of commands", mib_commands},
      {"64 KiB word", long_word},
      {"1 MiB of blanks", mib_blanks},
  };
  int32_t h = 0;
  ASSERT_EQ(tts_Open(-1, 1, &h), TTS_OK);
  for (const row &r : rows) {
    SCOPED_TRACE(r.name);
    const auto start = std::chrono::steady_clock::now();
    temp_file f;
    EXPECT_EQ(tts_SaveFile(h, f.fd, r.text.c_str(), 0), TTS_OK);
    EXPECT_TRUE(read_audio(f.path, 0, 8000, false).opened);
    std::vector<char> ph(r.text.size() * 8 + 1);
    int32_t status = -1;
    EXPECT_EQ(
        tts_Phoneme(h, r.text.c_str(), ph.data(), int32_t(ph.size()), &status),
        TTS_OK);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(std::memchr(ph.data(), 27, std::strlen(ph.data())), nullptr);
    const auto spent = std::chrono::steady_clock::now() - start;
    RecordProperty(
        std::string(r.name) + " ms",
        int(std::chrono::duration_cast<std::chrono::milliseconds>(spent)
                .count()));
  }
  EXPECT_EQ(tts_Close(h), TTS_OK);
}

}  // namespace
