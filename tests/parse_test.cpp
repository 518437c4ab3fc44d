// Tests of the markup translator: byte-exact results of parse.
#include "parse.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace {

// The eight-byte command that a markup becomes, padded with blanks to the
// markup's length.
std::string command(char letter, const char *digits, size_t span = 8) {
  std::string s = std::string(" \x1b[") + digits + letter + " ";
  s.resize(span, ' ');
  return s;
}

std::string parsed(std::string text) {
  parse(text.data());
  return text;
}

struct Case {
  const char *input;
  std::string expected;
};

TEST(parse_test, rewrites_each_keyword_in_place) {
  const Case cases[] = {
      {"{{rate 180}}", command('r', "180", 12)},
      {"{{fast 25}}", command('f', "025", 11)},
      {"{{pause 100}}", command('s', "100", 13)},
      {"{{pitch 120}}", command('p', "120", 13)},
      {"{{volume 3}}", command('a', "013", 12)},
      {"{{volume 16}}", command('a', "000", 13)},
      {"{{email on}}", command('X', "001", 12)},
      {"{{email off}}", command('X', "000", 13)},
      {"{{phoneme on}}", command('I', "001", 14)},
      {"{{phoneme off}}", command('I', "000", 15)},
      {"{{speakmode word}}", command('P', "000", 18)},
      {"{{speakmode normal}}", command('P', "001", 20)},
      {"{{style normal}}", command('c', "000", 16)},
      {"{{style whisper}}", command('c', "001", 17)},
      {"{{style monotone}}", command('c', "002", 18)},
      {"{{voice peter}}", command('V', "000", 15)},
      {"{{voice sidney}}", command('V', "001", 16)},
      {"{{voice eddie}}", command('V', "002", 15)},
      {"{{voice douglas}}", command('V', "003", 17)},
      {"{{voice biff}}", command('V', "004", 14)},
      {"{{voice amos}}", command('V', "005", 14)},
      {"{{voice melvin}}", command('V', "006", 16)},
      {"{{voice alex}}", command('V', "007", 14)},
      {"{{voice wanda}}", command('V', "008", 15)},
      {"{{voice julia}}", command('V', "009", 15)},
      {"{{  voice   peter  }}", command('V', "000", 21)},
      {"{{rate 5}}", command('r', "050", 10)},
      {"{{rate 0100}}", command('r', "100", 13)},
      {"Hello {{voice alex}}world",
       "Hello " + command('V', "007", 14) + "world"},
      {"a{{rate 100}}", "a" + command('r', "100", 12)},
      {"{{rate 100}}b", command('r', "100", 12) + "b"},
      {"{{style whisper}}x", command('c', "001", 17) + "x"},
      {"{{voice peter}}x}}", command('V', "000", 15) + "x}}"},
      {"{{{rate 100}}}", "{" + command('r', "100", 12) + "}"},
      {"{{voice pe{{rate 100}}ter}}",
       "{{voice pe" + command('r', "100", 12) + "ter}}"},
      {"{{rate {{rate 100}} 100}}",
       "{{rate " + command('r', "100", 12) + " 100}}"},
      {"{{rate 1 00}}{{rate 100}}", "{{rate 1 00}}" + command('r', "100", 12)},
      {"{{speakmode word}}{{rate 60}}x{{voice julia}}",
       command('P', "000", 18) + command('r', "060", 11) + "x" +
           command('V', "009", 15)},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.input);
    EXPECT_EQ(parsed(c.input), c.expected);
  }
}

TEST(parse_test, leaves_malformed_markup_unchanged) {
  const char *cases[] = {
      "", "plain text, no markup", "{rate 100}}", "x{rate 100}}",
      "xy{rate 100}}", "{ {rate 100}}", "{{rate 100} x", "{{rate 100} }}",
      "{{rate100}}", "{{voicepeter}}", "{{rate 1 00}}", "{{rate\t100}}",
      "{{Voice peter}}", "{{RATE 100}}", "{{voice Peter}}", "{{voice pet3r}}",
      "{{voice 123}}", "{{style 1}}", "{{rate 1a}}", "{{rate -5}}",
      "{{rate +5}}", "{{rate}}", "{{rate }}", "{{foo 100}}", "{{emai on}}",
      "{{fas 1}}", "{{paus 1}}", "{{phonem on}}", "{{pitc 1}}", "{{rat 1}}",
      "{{speakmod word}}", "{{styl normal}}", "{{voic peter}}", "{{volum 1}}",
      "{{vo 1}}", "{{rate 100", "{{rate 100}", "{{voice peter", "}}{{",
      // Names that are not in the keyword's list, however long.
      "{{voice bob}}", "{{style loud}}", "{{email yes}}", "{{speakmode fast}}",
      "{{voice abcdefghijklmnopqrs}}", "{{voice abcdefghijklmnopqrstuvwxyz}}"};
  for (const char *text : cases) {
    SCOPED_TRACE(text);
    EXPECT_EQ(parsed(text), text);
  }
}

TEST(parse_test, unknown_name_does_not_repeat_the_previous_command) {
  // A markup with an unknown name must neither repeat the last command nor
  // cut the text, before or after a command has been built.
  EXPECT_EQ(parsed("{{voice bob}}x"), "{{voice bob}}x");
  EXPECT_EQ(parsed("{{rate 100}}{{voice bob}}"),
            command('r', "100", 12) + "{{voice bob}}");
  EXPECT_EQ(
      parsed("{{voice abcdefghijklmnopqrstuvwxyzabcdefgh}}{{voice alex}}"),
      "{{voice abcdefghijklmnopqrstuvwxyzabcdefgh}}" + command('V', "007", 14));
}

TEST(parse_test, clamps_and_wraps_numbers) {
  struct Clamp {
    const char *markup;
    const char *digits;
  };
  const Clamp cases[] = {
      {"rate 0", "050"},
      {"rate 10", "050"},
      {"rate 49", "050"},
      {"rate 50", "050"},
      {"rate 250", "250"},
      {"rate 251", "250"},
      {"rate 999", "250"},
      {"pitch 49", "050"},
      {"pitch 400", "400"},
      {"pitch 401", "400"},
      {"pitch 500", "400"},
      {"pause 0", "000"},
      {"pause 250", "250"},
      {"pause 251", "250"},
      {"pause 9999", "250"},
      {"volume 0", "016"},
      {"volume 16", "000"},
      {"volume 17", "000"},
      {"fast 0", "000"},
      {"fast 999", "999"},
      {"fast 1000", "999"},
      {"fast 12345", "999"},
      // Digit runs wrap modulo 2^32 before the clamps apply.
      {"rate 4294967296", "050"},
      {"fast 4294967295", "000"},
      {"volume 4294967295", "016"},
      {"rate 99999999999", "250"},
      {"fast 2147483648", "000"},
      {"fast 4294967297", "001"},
      {"pause 00000000000000000000000000000000000007", "007"}};
  for (const Clamp &c : cases) {
    const std::string markup = std::string("{{") + c.markup + "}}";
    SCOPED_TRACE(markup);
    const std::string out = parsed(markup);
    ASSERT_EQ(out.size(), markup.size());
    EXPECT_EQ(out.substr(0, 8).substr(3, 3), c.digits);
    EXPECT_EQ(out.substr(8), std::string(markup.size() - 8, ' '));
  }
}

TEST(parse_test, every_other_byte_value_passes_through) {
  std::string text;
  for (int b = 1; b < 256; ++b) text += static_cast<char>(b);
  text += text;  // "{|}" appear twice but never as "{{"
  EXPECT_EQ(parsed(text), text);
}

TEST(parse_test, long_digit_runs_and_long_texts) {
  const std::string zeros(1 << 20, '0');
  EXPECT_EQ(parsed("{{rate " + zeros + "180}}").substr(0, 8),
            command('r', "180"));
  std::string braces(1 << 20, '{');
  EXPECT_EQ(parsed(braces), braces);
}

TEST(parse_test, texts_of_several_mebibytes_keep_length_and_markup) {
  // 3 MiB of text with markup throughout, ending in a markup whose closing
  // braces are the last bytes before the terminator.
  std::string text, expected;
  while (text.size() < (3u << 20)) {
    text += "word {{pitch 120}} \xff\x1b{";
    expected += "word " + command('p', "120", 13) + " \xff\x1b{";
  }
  text += "{{voice julia}}";
  expected += command('V', "009", 15);
  const std::string result = parsed(text);
  ASSERT_EQ(result.size(), text.size());
  EXPECT_TRUE(result == expected);  // not printed: megabytes
}

// Texts assembled from pieces whose own results are known: a fault that
// leaks state from one markup to the next, or resumes the scan at the wrong
// byte, shows up as a difference.  No piece ends with '{', and every piece
// decides its own attempt, so concatenation cannot form new markup.
TEST(parse_test, mixed_texts_rewrite_each_markup_independently) {
  const Case pieces[] = {
      {"hello ", "hello "},
      {"x", "x"},
      {"}}", "}}"},
      {"{{rate 180}}", command('r', "180", 12)},
      {"{{ volume 8 }}", command('a', "008", 14)},
      {"{{voice wanda}}", command('V', "008", 15)},
      {"{{style monotone}}", command('c', "002", 18)},
      {"{{pause 300}}", command('s', "250", 13)},
      {"{{voice bob}}", "{{voice bob}}"},
      {"{{rate 1a}}", "{{rate 1a}}"},
      {"{rate 100}}", "{rate 100}}"},
      {"{{{pitch 10}}", "{" + command('p', "050", 12)},
      {"{{voice pe{{rate 60}}ter}}",
       "{{voice pe" + command('r', "060", 11) + "ter}}"},
  };
  std::mt19937 rng(12345);
  std::uniform_int_distribution<size_t> pick(0, std::size(pieces) - 1);
  for (int round = 0; round < 2000; ++round) {
    std::string text, expected;
    const int count = 1 + round % 12;
    for (int i = 0; i < count; ++i) {
      const Case &p = pieces[pick(rng)];
      text += p.input;
      expected += p.expected;
    }
    SCOPED_TRACE(text);
    ASSERT_EQ(parsed(text), expected);
  }
}

}  // namespace
