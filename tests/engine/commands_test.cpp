// Tests of the escape commands, each measured in the rendered audio:
// duration, level, pitch, voicing and spectrum.  See LICENSE.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <thread>
#include <vector>

#include "engine_helper.h"
#include "tv_eng32.h"

namespace {

using namespace engine_test;

constexpr int rate = 11025;  // format word 0: 16-bit PCM at 11025 Hz
const std::string sentence =
    "The quick brown fox jumps over the lazy dog, and nobody minds at all.";
const char *const names[10] = {"peter", "sidney", "eddie", "douglas", "biff",
                               "amos",  "melvin", "alex",  "wanda",   "julia"};

double median_f0(const std::vector<short> &s) {
  return percentile(track_pitch(s, rate).f0, 50);
}

TEST(engine_commands, each_pair_of_voices_differs) {
  std::vector<double> f0(10);
  std::vector<std::vector<double>> spectrum(10);
  for (int v = 0; v < 10; ++v) {
    const auto s = render(cmd('V', v) + sentence);
    f0[v] = median_f0(s);
    spectrum[v] = band_levels(s, rate);
    RecordProperty(std::string(names[v]) + " F0", int(f0[v]));
  }
  for (int a = 0; a < 10; ++a) {
    for (int b = a + 1; b < 10; ++b) {
      SCOPED_TRACE(std::string(names[a]) + " / " + names[b]);
      const double f0_ratio = std::max(f0[a], f0[b]) / std::min(f0[a], f0[b]);
      const double distance = spectrum_distance(spectrum[a], spectrum[b]);
      EXPECT_TRUE(f0_ratio >= 1.08 || distance >= 2.0)
          << "F0 " << f0[a] << " vs " << f0[b] << " Hz, spectra " << distance
          << " dB apart";
    }
  }
  // Male voices below the female ones.
  for (int v = 0; v < 8; ++v) EXPECT_LT(f0[v], 150) << names[v];
  for (int v = 8; v < 10; ++v) EXPECT_GT(f0[v], 160) << names[v];
}

TEST(engine_commands, voice_ten_or_more_is_ignored) {
  const auto plain = render(sentence);
  const auto ignored = render(cmd('V', 10) + sentence);
  const auto julia = render(cmd('V', 9) + cmd('V', 12) + sentence);
  EXPECT_NEAR(median_f0(ignored), median_f0(plain), 3);
  EXPECT_GT(median_f0(julia), 160);
}

TEST(engine_commands, rate_scales_duration) {
  struct row {
    int slow, fast;
  };
  const row rows[] = {{100, 200}, {50, 100}, {85, 170}, {125, 250}};
  for (const row &r : rows) {
    SCOPED_TRACE(std::to_string(r.slow) + " vs " + std::to_string(r.fast));
    const double slow =
        speech_seconds(render(cmd('r', r.slow) + sentence), rate);
    const double fast =
        speech_seconds(render(cmd('r', r.fast) + sentence), rate);
    EXPECT_NEAR(slow / fast, 2.0, 0.3);
  }
}

TEST(engine_commands, default_rate_is_170_words_a_minute) {
  const double plain = speech_seconds(render(sentence), rate);
  const double at_170 = speech_seconds(render(cmd('r', 170) + sentence), rate);
  EXPECT_NEAR(plain, at_170, 0.02 * plain);
}

TEST(engine_commands, pitch_sets_the_baseline_in_hertz) {
  const int voices[] = {0, 3, 9};  // peter, douglas, julia
  const int targets[] = {80, 120, 200, 300};
  for (int v : voices) {
    for (int hz : targets) {
      for (int style : {0, 2}) {  // normal, monotone
        SCOPED_TRACE(std::string(names[v]) + " at " + std::to_string(hz) +
                     " Hz, style " + std::to_string(style));
        const double f0 = median_f0(
            render(cmd('V', v) + cmd('c', style) + cmd('p', hz) + sentence));
        EXPECT_NEAR(f0, hz, 0.2 * hz);
      }
    }
  }
}

TEST(engine_commands, pitch_beyond_the_voice_keeps_its_intonation) {
  struct row {
    int voice, hz;
  };
  for (const row &r : {row{0, 250}, row{3, 300}, row{8, 60}, row{9, 400}}) {
    SCOPED_TRACE(std::string(names[r.voice]) + " at " + std::to_string(r.hz));
    const auto t = track_pitch(
        render(cmd('V', r.voice) + cmd('p', r.hz) + sentence), rate);
    EXPECT_NEAR(percentile(t.f0, 50), r.hz, 0.2 * r.hz);
    EXPECT_GT(percentile(t.f0, 90) - percentile(t.f0, 10), 0.08 * r.hz);
  }
}

TEST(engine_commands, pitch_holds_across_a_voice_change) {
  const double f0 = median_f0(render(cmd('p', 200) + cmd('V', 3) + sentence));
  EXPECT_NEAR(f0, 200, 40);
}

TEST(engine_commands, attenuation_scales_the_level) {
  const double full = rms_db(render(cmd('a', 0) + sentence));
  const double half = rms_db(render(cmd('a', 8) + sentence));
  const double quarter = rms_db(render(cmd('a', 12) + sentence));
  EXPECT_NEAR(full - half, 6.0, 1.0);
  EXPECT_NEAR(full - quarter, 12.0, 1.5);
  EXPECT_NEAR(rms_db(render(sentence)), full, 0.5);     // full level by default
  EXPECT_LE(peak(render(cmd('a', 16) + sentence)), 4);  // silent
}

TEST(engine_commands, attenuation_changes_mid_text) {
  const auto s = render("one two three four five six" + cmd('a', 16) +
                        "seven eight nine ten eleven twelve");
  // The second half is silent: a long quiet run at the end.
  EXPECT_GT(longest_silence(s, rate), 1.0);
}

TEST(engine_commands, pause_adds_exact_silence) {
  const std::string a = "one two three", b = "four five six";
  struct row {
    int value;
    double added;
  };
  const row rows[] = {{100, 1.00}, {50, 0.50}, {250, 2.50}, {7, 0.07}};
  const double base = seconds(render(a + cmd('s', 0) + b), rate);
  for (const row &r : rows) {
    SCOPED_TRACE(r.value);
    const auto s = render(a + cmd('s', r.value) + b);
    EXPECT_NEAR(seconds(s, rate) - base, r.added, 0.03);
    EXPECT_GE(longest_silence(s, rate), r.added);
  }
}

TEST(engine_commands, fast_speeds_up_what_follows) {
  const double plain = speech_seconds(render(sentence), rate);
  struct row {
    int value;
    double ratio;
  };
  const row rows[] = {{100, 0.5}, {50, 1 / 1.5}, {0, 1.0}};
  for (const row &r : rows) {
    SCOPED_TRACE(r.value);
    const auto s = render(cmd('f', r.value) + sentence);
    EXPECT_NEAR(speech_seconds(s, rate) / plain, r.ratio, 0.1 * r.ratio);
    // The pitch is kept.
    EXPECT_NEAR(median_f0(s), median_f0(render(sentence)), 12);
  }
}

TEST(engine_commands, fast_combines_with_slow_rates) {
  const double at_100 = speech_seconds(render(cmd('r', 100) + sentence), rate);
  const double at_50_fast =
      speech_seconds(render(cmd('r', 50) + cmd('f', 100) + sentence), rate);
  EXPECT_NEAR(at_50_fast / at_100, 1.0, 0.15);
}

// Whisper has no voicing; monotone is flat at the voice's own baseline.  No
// style of any voice comes within 1 dB of full scale, at either rate, at its
// own settings or the loudest.
TEST(engine_commands, whisper_and_monotone_styles) {
  const std::string ordinary =
      "My sister Anna lives in a small house near the river. Would you like a "
      "cup of tea or coffee? The price of gas went up by 3 cents.";
  const std::string loudest[] = {"", cmd('p', 400) + cmd('r', 250),
                                 cmd('p', 300) + cmd('r', 50),
                                 cmd('p', 50) + cmd('r', 50)};
  for (int v = 0; v < 10; ++v) {
    SCOPED_TRACE(names[v]);
    const auto normal = track_pitch(render(cmd('V', v) + sentence), rate);
    const auto whisper =
        track_pitch(render(cmd('V', v) + cmd('c', 1) + sentence), rate);
    EXPECT_GT(voiced_share(normal), 0.35);
    EXPECT_LT(voiced_share(whisper), 0.05);

    const auto flat =
        track_pitch(render(cmd('V', v) + cmd('c', 2) + sentence), rate);
    const double spread = percentile(flat.f0, 90) - percentile(flat.f0, 10);
    EXPECT_LT(spread, 3.0);
    EXPECT_GT(percentile(normal.f0, 90) - percentile(normal.f0, 10), 10.0);
    EXPECT_NEAR(percentile(flat.f0, 50), percentile(normal.f0, 50),
                0.15 * percentile(normal.f0, 50));
    for (int c = 0; c < 3; ++c)
      for (int32_t word : {0, 1})
        for (int l = 0; l < 4; ++l)
          EXPECT_LE(
              peak(render(cmd('V', v) + cmd('c', c) + loudest[l] + ordinary,
                          word)),
              29204)  // -1 dBFS
              << "style " << c << " at " << rate_of(word) << " Hz, " << l;
  }
}

TEST(engine_commands, style_normal_ends_whisper_and_monotone) {
  const auto back = track_pitch(
      render(cmd('c', 1) + cmd('c', 2) + cmd('c', 0) + sentence), rate);
  EXPECT_GT(voiced_share(back), 0.5);
  EXPECT_GT(percentile(back.f0, 90) - percentile(back.f0, 10), 10.0);
}

TEST(engine_commands, word_mode_pauses_after_each_word) {
  const std::string ten = "one two three four five six seven eight nine ten";
  for (int r : {50, 100, 170, 250, 400}) {
    SCOPED_TRACE(r);
    // Speech from first to last sound: after a call with word gaps eSpeak
    // NG ends its next calls with a longer final silence.
    const double normal = speech_seconds(render(cmd('r', r) + ten), rate);
    const double words =
        speech_seconds(render(cmd('r', r) + cmd('P', 0) + ten), rate);
    EXPECT_GE(words - normal, 9 * 0.150);
    const double back = speech_seconds(
        render(cmd('r', r) + cmd('P', 0) + cmd('P', 1) + ten), rate);
    EXPECT_NEAR(back, normal, 0.05);
  }
}

// Commands in the middle of a text change what follows them, not what
// comes before.
TEST(engine_commands, take_effect_at_their_position) {
  const std::string a = "The quick brown fox jumps over the lazy dog,";
  const std::string b = "and nobody minds at all, not even the farmer.";
  auto tail = [](const std::vector<short> &s, double from) {
    return std::vector<short>(s.begin() + std::ptrdiff_t(from * rate), s.end());
  };
  auto head = [](const std::vector<short> &s, double to) {
    return std::vector<short>(s.begin(), s.begin() + std::ptrdiff_t(to * rate));
  };
  const double a_len = seconds(render(a), rate);
  {
    SCOPED_TRACE("rate");
    const double slow = seconds(render(a + cmd('r', 100) + b), rate);
    const double quick = seconds(render(a + cmd('r', 200) + b), rate);
    const double b_slow = seconds(render(cmd('r', 100) + b), rate);
    const double b_quick = seconds(render(cmd('r', 200) + b), rate);
    EXPECT_NEAR(slow - quick, b_slow - b_quick, 0.15 * (b_slow - b_quick));
  }
  for (char letter : {'p', 'c'}) {
    SCOPED_TRACE(letter);
    const auto s =
        render(a + (letter == 'p' ? cmd('p', 200) : cmd('c', 1)) + b);
    const auto before = track_pitch(head(s, 0.8 * a_len), rate);
    const auto after = track_pitch(tail(s, a_len + 0.3), rate);
    if (letter == 'p') {
      EXPECT_NEAR(percentile(before.f0, 50), 104, 20);
      EXPECT_NEAR(percentile(after.f0, 50), 200, 40);
    } else {
      EXPECT_GT(voiced_share(before), 0.5);
      EXPECT_LT(voiced_share(after), 0.05);
    }
  }
  {
    SCOPED_TRACE("fast");
    const double plain = seconds(render(a + b), rate);
    const double fast = seconds(render(a + cmd('f', 100) + b), rate);
    const double b_len = seconds(render(b), rate);
    EXPECT_NEAR(plain - fast, b_len / 2, 0.15 * b_len);
  }
}

TEST(engine_commands, unknown_and_malformed_sequences_are_not_spoken) {
  const double plain = seconds(render(sentence), rate);
  const std::string junk =
      "\x1b[123Q \x1b \x1b[ \x1b]0;title\x07 \x1bPq#0\x1b\\ \x1b(B \x1b[12";
  const double with_junk = seconds(render(junk + sentence + junk), rate);
  EXPECT_NEAR(with_junk, plain, 0.05);
}

TEST(engine_commands, test_text_introduces_each_voice) {
  std::string test;
  for (int k = 0; k < 10; ++k)
    test += std::string("\x1b[") + char('0' + k) + "t";
  const auto all = render(test);
  EXPECT_GT(speech_seconds(all, rate), 10 * 0.8);
  for (int k = 0; k < 10; ++k) {
    SCOPED_TRACE(names[k]);
    const std::string one = std::string("\x1b[") + char('0' + k) + "t";
    const auto s = render(one);
    EXPECT_GT(speech_seconds(s, rate), 0.8);
    // Spoken in voice k: the same pitch as that voice's own rendering.
    const double own =
        median_f0(render(cmd('V', k) + "Hello, I am " + names[k] + "."));
    EXPECT_NEAR(median_f0(s), own, 0.1 * own);
  }
}

TEST(engine_commands, settings_do_not_leak_into_the_next_call) {
  const double before = speech_seconds(render(sentence), rate);
  render(cmd('r', 60) + cmd('a', 12) + cmd('V', 9) + cmd('f', 50) + "x" +
         cmd('c', 2) + cmd('p', 300) + "y");
  const auto after = render(sentence);
  EXPECT_NEAR(speech_seconds(after, rate), before, 0.02 * before);
  EXPECT_LT(median_f0(after), 150);
  EXPECT_NEAR(rms_db(after), rms_db(render(sentence)), 0.5);
}

// Within a process a text gives the same samples every time, whatever was
// rendered before and on whichever thread; noise and flutter included.
TEST(engine_commands, the_same_text_renders_the_same_samples) {
  const std::string texts[] = {
      sentence,
      cmd('c', 1) + sentence,                  // whisper: noise
      cmd('V', 9) + sentence,                  // julia: Klatt, echo
      cmd('V', 5) + sentence,                  // amos: Klatt, flutter
      cmd('V', 1) + sentence,                  // sidney: Klatt, sawtooth
      cmd('V', 3) + sentence,                  // douglas: Klatt, low
      cmd('r', 60) + cmd('f', 30) + sentence,  // time-stretched
  };
  for (const std::string &text : texts) {
    SCOPED_TRACE(text);
    const auto first = render(text);
    render(cmd('V', 3) + cmd('c', 1) + "Something else in between.");
    EXPECT_TRUE(render(text) == first);
    std::vector<short> on_threads[2];
    std::thread a([&] { on_threads[0] = render(text); });
    std::thread b([&] { on_threads[1] = render(text); });
    a.join();
    b.join();
    EXPECT_TRUE(on_threads[0] == first);
    EXPECT_TRUE(on_threads[1] == first);
  }
}

}  // namespace
