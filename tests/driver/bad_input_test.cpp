// Bad input for the orasay program, end to end against the recording test
// engine: every byte value, invalid UTF-8, escape sequences typed by the
// user, numbers at and beyond the options' limits, output files that cannot
// be written.  Each must give a clean exit status and either the engine call
// with the exact bytes or one clear "error: " line.
//
// The program, its directory and an emulator come from the same environment
// variables as in e2e_test.cpp (e2e_harness.h).
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "e2e_harness.h"

namespace {

using namespace orasay_e2e;
namespace fs = std::filesystem;

// The test engine answers at once, from inside tts_Speak.
const Env kQuick = {{"ORASAY_FAKE_CALLBACK", "inline"}};

Outcome run_quick(const std::vector<std::string> &args, Env env = kQuick) {
  return orasay(args, {.env = env});
}

// The command that {{rate 100}}, twelve bytes, becomes.
const std::string kRate100 = " \x1b[100r     ";

Lines spoken(const std::string &text, const std::string &open = kOpen) {
  return {open, kRegister, "tts_Speak 7 " + logged(text), "callback",
          "tts_Close 7"};
}

std::string shown(const std::vector<std::string> &args) {
  std::string s;
  for (const std::string &a : args) s += "[" + logged(a) + "] ";
  return s;
}

// A Windows command line is text in the system's code page; under wine it
// comes from the Unix arguments through UTF-8, so only ASCII bytes reach a
// Windows program unchanged.
const int kLastByte = windows ? 127 : 255;

TEST(bad_input_test, every_byte_value_reaches_the_engine_unchanged) {
  for (int b = 1; b <= kLastByte; ++b) {
    const std::string text = std::string("a") + static_cast<char>(b) + "z";
    SCOPED_TRACE(b);
    const Outcome run = run_quick({text});
    ASSERT_EQ(run.result.status, 0);
    ASSERT_EQ(run.log, spoken(text));
  }

  // All of them in one text, shown by the verbose display as they are.
  std::string all;
  for (int b = 1; b <= kLastByte; ++b) all += static_cast<char>(b);
  const Outcome run = run_quick({"-v", all});
  EXPECT_EQ(run.result.status, 0);
  ASSERT_EQ(run.log.size(), 6u);
  EXPECT_EQ(run.log[2], "tts_Phoneme 7 " + logged(all) + " " +
                            std::to_string(8 * all.size() + 1) + " 0");
  EXPECT_EQ(run.log[3], "tts_Speak 7 " + logged(all));
  const std::string line = "\ntext:         " + all + "\n";
  EXPECT_EQ(run.result.out.substr(0, line.size()), line);
}

TEST(bad_input_test, invalid_utf8_is_passed_on_byte_for_byte) {
  if (windows) GTEST_SKIP() << "a Windows command line holds no invalid UTF-8";
  const struct {
    std::string text, converted;
  } cases[] = {
      {"\xff\xfe", "\xff\xfe"},          // never valid in UTF-8
      {"caf\xc3", "caf\xc3"},            // truncated sequence
      {"\xe2\x82", "\xe2\x82"},          // truncated three-byte sequence
      {"\xc0\xaf", "\xc0\xaf"},          // overlong '/'
      {"\xed\xa0\x80", "\xed\xa0\x80"},  // a surrogate
      {"\xf4\x90\x80\x80", "\xf4\x90\x80\x80"},  // beyond U+10FFFF
      {"\x80\x80\x80", "\x80\x80\x80"},          // continuation bytes alone
      {"{{voice p\xc3\xa9ter}}", "{{voice p\xc3\xa9ter}}"},
      {"{{rate 1\xff}}", "{{rate 1\xff}}"},
      {"\xff{{rate 100}}\xfe", "\xff" + kRate100 + "\xfe"},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(logged(c.text));
    const Outcome run = run_quick({c.text});
    EXPECT_EQ(run.result.status, 0);
    EXPECT_EQ(run.log, spoken(c.converted));
  }
}

TEST(bad_input_test, escape_sequences_typed_by_the_user_stay_text) {
  // The user's own ESC bytes go to the engine as they are; only markup is
  // converted.  The verbose display on a terminal defuses them (e2e_test).
  const struct {
    std::string text, converted;
  } cases[] = {
      {"\x1b", "\x1b"},
      {"\x1b[007V", "\x1b[007V"},
      {" \x1b[999r hi", " \x1b[999r hi"},
      {"\x1b[2J\x1b[31mred\x1b]0;title\x07",
       "\x1b[2J\x1b[31mred\x1b]0;title\x07"},
      {"{{rate 100}}\x1b[0t", kRate100 + "\x1b[0t"},
      {"{{\x1b[007V}}", "{{\x1b[007V}}"},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(logged(c.text));
    const Outcome run = run_quick({c.text});
    EXPECT_EQ(run.result.status, 0);
    EXPECT_EQ(run.log, spoken(c.converted));
  }
}

TEST(bad_input_test, long_texts_keep_their_length) {
  // Command-line arguments are limited to 128 KiB each on Linux, and a whole
  // command line to 32767 characters on Windows; 1 MiB texts are
  // parse_test's.
  const size_t length = windows ? 30000 : 120000;
  std::string text, converted;
  while (text.size() < length) {
    text += "word {{rate 100}}";
    converted += "word " + kRate100;
  }
  const Outcome run = run_quick({"-v", text});
  EXPECT_EQ(run.result.status, 0);
  ASSERT_EQ(run.log.size(), 6u);
  // Compared as booleans: a failure would print some megabytes.
  EXPECT_TRUE(run.log[2] == "tts_Phoneme 7 " + logged(converted) + " " +
                                std::to_string(8 * text.size() + 1) + " 0");
  EXPECT_TRUE(run.log[3] == "tts_Speak 7 " + logged(converted));
}

TEST(bad_input_test, phonemes_without_terminator_stay_inside_their_buffer) {
  // A faulty engine fills all 8 * 2 + 1 bytes of the buffer and leaves out
  // the terminator: the display shows the buffer and no byte beyond it.
  Env env = kQuick;
  env.emplace_back("ORASAY_FAKE_UNTERMINATED", "1");
  const Outcome run = run_quick({"-v", "ab"}, env);
  EXPECT_EQ(run.result.status, 0);
  EXPECT_EQ(run.result.err, "");
  EXPECT_EQ(run.result.out,
            "\ntext:         ab\nconverted:    ab\nphonemes:     "
            "phphphphphphphph\n\n");
}

TEST(bad_input_test, numeric_options_at_and_beyond_their_limits) {
  struct LimitCase {
    std::vector<std::string> args;  // "@" stands for an output file
    int status;
    std::string err;
    Lines log;
  };
  const auto saved = [](const std::string &format,
                        const std::string &open = kOpen) {
    return Lines{open, kRegister, "tts_SaveFile 7 \"x\" " + format,
                 "tts_Close 7"};
  };
  const std::string range = "numerical result out of range\n";
  // Numbers the parser takes, that the program refuses as file formats.
  const std::string bad_format =
      "error: option `--format` must be 0 (wav), 1 (raw) or 2 (au)\n";
  const std::string integer = "expects an integer value\n";
  const LimitCase cases[] = {
      {{"-f@", "-a", "2147483647", "x"}, 1, bad_format, {}},
      {{"-f@", "--format=-2147483648", "x"}, 1, bad_format, {}},
      {{"-f@", "--format=0x7fffffff", "x"}, 1, bad_format, {}},
      {{"-f@", "--format=-0x80000000", "x"}, 1, bad_format, {}},
      {{"-f@", "--format=017777777777", "x"}, 1, bad_format, {}},
      {{"-f@", "--format=0X7FFFFFFF", "x"}, 1, bad_format, {}},
      {{"-f@", "--format= +7", "x"}, 1, bad_format, {}},
      {{"-f@", "--format=", "x"}, 0, "", saved("0")},
      {{"-f@", "--format=2147483648", "x"},
       1,
       "error: option `--format` " + range,
       {}},
      {{"-f@", "-a", "-2147483649", "x"}, 1, "error: option `-a` " + range, {}},
      {{"-f@", "-a0x80000000", "x"}, 1, "error: option `-a` " + range, {}},
      {{"-f@", "--format=020000000000", "x"},
       1,
       "error: option `--format` " + range,
       {}},
      {{"-f@", "--format=99999999999999999999", "x"},
       1,
       "error: option `--format` " + range,
       {}},
      {{"-f@", "--format=-99999999999999999999", "x"},
       1,
       "error: option `--format` " + range,
       {}},
      {{"-f@", "--format=08", "x"},
       1,
       "error: option `--format` " + integer,
       {}},
      {{"-f@", "--format=0x", "x"},
       1,
       "error: option `--format` " + integer,
       {}},
      {{"-f@", "--format=1e3", "x"},
       1,
       "error: option `--format` " + integer,
       {}},
      {{"-f@", "--format=7 ", "x"},
       1,
       "error: option `--format` " + integer,
       {}},
      {{"-s", "2147483647", "x"}, 0, "", spoken("x", "tts_Open -1 0x7fffffff")},
      {{"-s", "-2147483648", "x"},
       0,
       "",
       spoken("x", "tts_Open -1 0x80000000")},
      {{"-s", "-1", "-c", "1", "x"},
       0,
       "",
       spoken("x", "tts_Open -1 0xffffffff")},
      {{"--samplerate=65536", "x"}, 0, "", spoken("x", "tts_Open -1 0x10000")},
      {{"--samplerate=2147483648", "x"},
       1,
       "error: option `--samplerate` " + range,
       {}},
      {{"-s", "-2147483649", "x"}, 1, "error: option `-s` " + range, {}},
      {{"--codec=2147483647", "x"}, 0, "", spoken("x", "tts_Open -1 0x30000")},
      {{"--codec=-2147483648", "x"}, 0, "", spoken("x", "tts_Open -1 0x30000")},
      {{"-c", "2147483648", "x"}, 1, "error: option `-c` " + range, {}},
      {{"--codec=-0x80000001", "x"}, 1, "error: option `--codec` " + range, {}},
  };
  for (const LimitCase &c : cases) {
    const std::string file = temp_path("orasay-limit");
    std::vector<std::string> args;
    for (std::string a : c.args) {
      if (const size_t at = a.find('@'); at != std::string::npos)
        a.replace(at, 1, native_path(file));
      args.push_back(a);
    }
    SCOPED_TRACE(shown(c.args));
    const Outcome run = run_quick(args);
    EXPECT_EQ(run.result.status, c.status);
    EXPECT_EQ(run.result.err, c.err);
    EXPECT_EQ(run.log, c.log);
    std::remove(file.c_str());
  }
}

TEST(bad_input_test, output_files_that_cannot_be_written) {
  if (windows) GTEST_SKIP() << "POSIX paths and errno texts";
  const std::string dir = temp_path("orasay-dir");
  std::remove(dir.c_str());
  fs::create_directory(dir);
  const Lines opened_and_closed = {kOpen, kRegister, "tts_Close 7"};

  struct FileCase {
    std::string path;
    std::string err;
    Lines log;
  };
  const FileCase cases[] = {
      {"/nonexistent-orasay-dir/out.wav",
       "error: cannot create '/nonexistent-orasay-dir/out.wav': No such file "
       "or directory\n",
       opened_and_closed},
      {dir, "error: cannot create '" + dir + "': Is a directory\n",
       opened_and_closed},
      {dir + "/out.wav/",
       "error: cannot create '" + dir + "/out.wav/': Is a directory\n",
       opened_and_closed},
      // The file opens, but the engine cannot write it: the engine's error
      // is reported.
      {"/dev/full",
       "error: tts_SaveFile failed: writing the audio file failed (engine code "
       "5)\n",
       {kOpen, kRegister, "tts_SaveFile 7 \"x\" 0", "write failed",
        "tts_Close 7"}},
  };
  for (const FileCase &c : cases) {
    SCOPED_TRACE(c.path);
    const Outcome run = run_quick({"-f", c.path, "x"});
    EXPECT_EQ(run.result.status, 1);
    EXPECT_EQ(run.result.out, "");
    EXPECT_EQ(run.result.err, c.err);
    EXPECT_EQ(run.log, c.log);
  }
  fs::remove_all(dir);
}

TEST(bad_input_test, read_only_files_and_directories_are_left_alone) {
  if (windows) GTEST_SKIP() << "POSIX permissions";
  // Root writes read-only files: root runs the program as nobody.
  const uid_t uid = geteuid() == 0 ? kNobody : 0;
  const std::string dir = temp_path("orasay-ro");
  std::remove(dir.c_str());
  fs::create_directory(dir);
  const std::string file = dir + "/old.wav";
  {
    std::FILE *f = std::fopen(file.c_str(), "wb");
    std::fputs("old content", f);
    std::fclose(f);
  }
  chmod(file.c_str(), 0444);
  chmod(dir.c_str(), 0555);
  const std::string fresh = dir + "/new.wav";
  // Nobody may not reach the build tree (a checkout in root's home): the
  // program and its engine run from a copy that anyone can reach.
  char bin[] = "/tmp/orasay-bin-XXXXXX";
  ASSERT_NE(mkdtemp(bin), nullptr);
  chmod(bin, 0755);
  for (const std::string &f : {std::string("TV_ENG32.DLL"), program})
    fs::copy_file(fake_dir + "/" + f, std::string(bin) + "/" + f);
  for (const std::string &path : {file, fresh}) {
    SCOPED_TRACE(path);
    const Outcome run =
        orasay({"-f", path, "x"}, {.dir = bin, .env = kQuick, .uid = uid});
    EXPECT_EQ(run.result.status, 1);
    EXPECT_EQ(run.result.err,
              "error: cannot create '" + path + "': Permission denied\n");
    EXPECT_EQ(run.log, (Lines{kOpen, kRegister, "tts_Close 7"}));
  }
  EXPECT_EQ(read_file(file), "old content");
  EXPECT_FALSE(fs::exists(fresh));
  chmod(dir.c_str(), 0755);
  fs::remove_all(dir);
  fs::remove_all(bin);
}

}  // namespace
