// Tests of tts_Phoneme: the transcription, commands honoured or removed,
// truncation at a word boundary, and phonemes fed back as input.
// See LICENSE.
#include <gtest/gtest.h>

#include <algorithm>
#include <clocale>
#include <sstream>
#include <string>
#include <vector>

#include "engine_helper.h"
#include "tv_eng32.h"

namespace {

using namespace engine_test;

struct transcription {
  int result;
  int32_t status;
  std::string text;
};

transcription transcribe(const std::string &text, int32_t capacity = -1) {
  int32_t h = 0;
  EXPECT_EQ(tts_Open(-1, 0, &h), TTS_OK);
  if (capacity < 0) capacity = int32_t(8 * text.size() + 1);
  std::vector<char> buf(std::size_t(capacity) + 16, '#');
  transcription t{};
  t.status = -1;
  t.result = tts_Phoneme(h, text.c_str(), buf.data(), capacity, &t.status);
  EXPECT_EQ(tts_Close(h), TTS_OK);
  // Terminated within the capacity, nothing written beyond it.
  const auto end = std::find(buf.begin(), buf.begin() + capacity, '\0');
  EXPECT_NE(end, buf.begin() + capacity) << "not terminated";
  for (std::size_t i = std::size_t(capacity); i < buf.size(); ++i)
    EXPECT_EQ(buf[i], '#') << "written past the capacity at " << i;
  t.text.assign(buf.begin(), end);
  return t;
}

std::vector<std::string> words(const std::string &s) {
  std::istringstream in(s);
  std::vector<std::string> w;
  for (std::string x; in >> x;) w.push_back(x);
  return w;
}

// Whether the transcription has the word, stress marks aside.
bool has_word(const std::string &s, const std::string &word) {
  for (auto w : words(s)) {
    std::erase(w, '\'');
    std::erase(w, ',');
    if (w == word) return true;
  }
  return false;
}

TEST(engine_phoneme, transcribes_in_ascii_mnemonics) {
  struct row {
    std::string text, expected;
  };
  const row rows[] = {
      {"Hello world", "h@l'oU w'3:ld"},
      {"42", "f'o@t#i t'u:"},
      {"Hello, world. How are you?", "h@l'oU w'3:ld h'aU A@ ju:"},
      {"", ""},
      {"   ", ""},
      // Scripts that English cannot read: words in those that eSpeak NG
      // reads in their own language are skipped, other letters named.
      {"Hello \ud55c\uad6d\uc5b4 world", "h@l'oU w'3:ld"},  // Korean
      {"\u0928\u092e\u0938\u094d world", "w'3:ld"},         // Hindi
      {"\u10e5\u10d0 world", "w'3:ld"},                     // Georgian
      // and its dotted abbreviation, whose words once read shifted bytes
      {"Hello \u10d0.\u10d1. world", "h@l'oU w'3:ld"},
      {"\u4e2d", "tS'aIni:zl,Et#3"},  // Chinese: "Chinese letter"
  };
  for (const row &r : rows) {
    SCOPED_TRACE(r.text);
    const auto t = transcribe(r.text);
    EXPECT_EQ(t.result, TTS_OK);
    EXPECT_EQ(t.status, 0);
    EXPECT_EQ(t.text, r.expected);
  }
}

// eSpeak NG switches the process's LC_CTYPE when it initialises: the host
// program keeps its own, and the transcription does not depend on it.
TEST(engine_phoneme, leaves_the_host_locale_alone) {
  ASSERT_NE(std::setlocale(LC_CTYPE, "C"), nullptr);
  const std::string text =
      "CAF\xC9 na\xC3\xAFve \xC3\x9C"
      "ber d\xE9j\xE0 vu";
  const transcription in_c = transcribe(text);
  EXPECT_STREQ(std::setlocale(LC_CTYPE, nullptr), "C");
  ASSERT_NE(std::setlocale(LC_CTYPE, "C.UTF-8"), nullptr);
  EXPECT_EQ(transcribe(text).text, in_c.text);
  std::setlocale(LC_CTYPE, "C");
}

TEST(engine_phoneme, removes_commands_and_honours_some) {
  const std::string plain = transcribe("Hello water").text;
  struct row {
    const char *name;
    std::string text;
    bool same_as_plain;
  };
  const row rows[] = {
      {"rate", cmd('r', 100) + "Hello" + cmd('p', 200) + "water", true},
      {"pause and volume", "Hello" + cmd('s', 100) + cmd('a', 8) + "water",
       true},
      {"style and mode", cmd('c', 1) + cmd('P', 0) + "Hello water", true},
      {"malformed", "\x1b[12QHello \x1b water\x1b[", true},
      {"voice", cmd('V', 1) + "Hello water", false},  // British English
  };
  for (const row &r : rows) {
    SCOPED_TRACE(r.name);
    const auto t = transcribe(r.text);
    EXPECT_EQ(t.text.find('\x1b'), std::string::npos);
    EXPECT_EQ(t.text == plain, r.same_as_plain) << t.text;
  }
}

TEST(engine_phoneme, email_mode_spells_symbols) {
  const auto on = transcribe(cmd('X', 1) + "a.b@c.org").text;
  const auto off = transcribe(cmd('X', 0) + "a.b@c.org").text;
  EXPECT_TRUE(has_word(on, "at")) << on;
  auto count_dots = [](const std::string &s) {
    int n = 0;
    for (const auto &w : words(s)) n += w == "d'0t";
    return n;
  };
  EXPECT_EQ(count_dots(on), 2) << on;
  EXPECT_LT(count_dots(off), 2) << off;
  const auto url = transcribe(cmd('X', 1) + "x.org/a").text;
  EXPECT_TRUE(has_word(url, "slaS")) << url;
}

TEST(engine_phoneme, phoneme_input_is_copied_through) {
  const auto t = transcribe("Hello" + cmd('I', 1) + "h@l'oU w'3:ld" +
                            cmd('I', 0) + "world");
  EXPECT_EQ(t.text, "h@l'oU h@l'oU w'3:ld w'3:ld");
  // A word is cut after 99 bytes, whatever its length.
  std::string word;
  while (word.size() < 2000) word += "h@l'oU";
  EXPECT_EQ(transcribe(cmd('I', 1) + word + " x").text,
            word.substr(0, 99) + " x");
  // Speaking phoneme input leaves "[[" in the next transcription text.
  const std::string brackets = transcribe("say [[h@l'oU]]").text;
  render(cmd('I', 1) + "h@l'oU");
  EXPECT_EQ(transcribe("say [[h@l'oU]]").text, brackets);
}

TEST(engine_phoneme, cuts_at_a_word_boundary) {
  const std::string text =
      "one two. three, four five; six seven. eight nine ten";
  const std::string full = transcribe(text).text;
  const std::string other = "the quick brown fox";
  const std::string other_full = transcribe(other).text;
  ASSERT_GT(full.size(), 20u);
  for (int32_t capacity = 1; capacity <= int32_t(full.size()) + 2; ++capacity) {
    SCOPED_TRACE(capacity);
    const auto t = transcribe(text, capacity);
    // A cut transcription leaves nothing behind for the next one.
    EXPECT_EQ(transcribe(other).text, other_full);
    EXPECT_EQ(t.result, TTS_OK);
    if (capacity > int32_t(full.size())) {
      EXPECT_EQ(t.status, 0);
      EXPECT_EQ(t.text, full);
    } else {
      EXPECT_EQ(t.status, 1);
      EXPECT_LT(t.text.size(), std::size_t(capacity));
      // A prefix of whole words.
      EXPECT_EQ(full.compare(0, t.text.size(), t.text), 0);
      if (!t.text.empty()) {
        EXPECT_EQ(full[t.text.size()], ' ');
      }
      // No further word would have fitted.
      const auto next = full.find(' ', t.text.size() + 1);
      const std::size_t longer = next == std::string::npos ? full.size() : next;
      EXPECT_GT(longer + 1, std::size_t(capacity));
    }
  }
}

TEST(engine_phoneme, long_transcriptions_are_cut_in_the_program_buffer) {
  // Digits expand far beyond eight bytes each.
  const std::string text(40, '7');
  const auto t = transcribe(text, int32_t(8 * text.size() + 1));
  EXPECT_EQ(t.result, TTS_OK);
  EXPECT_LE(t.text.size(), 8 * text.size());
}

TEST(engine_phoneme, phonemes_fed_back_give_the_same_duration) {
  std::string long_one;  // phonemes beyond one of eSpeak NG's clauses
  while (long_one.size() < 1000) long_one += "the quick brown fox ";
  const std::vector<std::string> sentences = {
      "The quick brown fox jumps over the lazy dog",
      "Please call me back before five o'clock tomorrow",
      long_one,
  };
  for (const auto &s : sentences) {
    SCOPED_TRACE(s);
    const auto ph = transcribe(s).text;
    const double text_len = speech_seconds(render(s), 11025);
    const double ph_len = speech_seconds(render(cmd('I', 1) + ph), 11025);
    EXPECT_NEAR(ph_len / text_len, 1.0, 0.05) << ph;
  }
}

}  // namespace
