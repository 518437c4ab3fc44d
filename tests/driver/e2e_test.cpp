// End-to-end tests of the orasay program: the real process against the
// recording test engine, which logs every engine call (e2e_harness.h).
// ORASAY_E2E_EARLY_RUNS (default 20) is how often each kind of immediate
// callback is tried; the stress test of the wait raises it.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "e2e_harness.h"
#include "program_help.h"

namespace {

using namespace orasay_e2e;
namespace fs = std::filesystem;

const int early_runs =
    std::atoi(setting("ORASAY_E2E_EARLY_RUNS", "20").c_str());

const char kTestText[] =
    "\"\\x1b[0t\\x1b[1t\\x1b[2t\\x1b[3t\\x1b[4t\\x1b[5t\\x1b[6t\\x1b[7t\\x1b["
    "8t\\x1b[9t\"";

std::string speak(const std::string &quoted) { return "tts_Speak 7 " + quoted; }

Lines spoken(const std::string &open, const std::string &quoted) {
  return {open, "tts_CallBack 7 1000 fn 0", speak(quoted), "callback",
          "tts_Close 7"};
}

struct CallCase {
  std::vector<std::string> args;
  int status;
  Lines log;
};

TEST(e2e_test, makes_the_engine_calls_in_order_with_their_arguments) {
  const CallCase cases[] = {
      {{"hello"}, 0, spoken(kOpen, "\"hello\"")},
      {{"-s", "1", "-c", "1", "x"}, 0, spoken("tts_Open -1 0x30001", "\"x\"")},
      {{"--codec=1", "x"}, 0, spoken("tts_Open -1 0x30000", "\"x\"")},
      {{"--codec=2", "x"}, 0, spoken("tts_Open -1 0x30000", "\"x\"")},
      {{"--codec=-1", "x"}, 0, spoken("tts_Open -1 0x30000", "\"x\"")},
      {{"--codec=0", "x"}, 0, spoken(kOpen, "\"x\"")},
      {{"-s", "7", "x"}, 0, spoken("tts_Open -1 0x7", "\"x\"")},
      {{"one", "two"}, 0, spoken(kOpen, "\"two\"")},
      {{"--", "-x"}, 0, spoken(kOpen, "\"-x\"")},
      {{"--filename=", "x"}, 0, spoken(kOpen, "\"x\"")},
      {{"-f", "", "x"}, 0, spoken(kOpen, "\"x\"")},
      {{""}, 0, spoken(kOpen, "\"\"")},
      {{"Hello {{voice alex}}world"},
       0,
       spoken(kOpen, "\"Hello  \\x1b[007V       world\"")},
      {{"{{voice bob}} {{rate 300}}"},
       0,
       spoken(kOpen, "\"{{voice bob}}  \\x1b[250r     \"")},
      {{"-m", "x"}, 0, spoken(kOpen, kTestText)},
      {{"-m"}, 0, spoken(kOpen, kTestText)},
      {{"-m", "-m", "x"}, 0, spoken(kOpen, kTestText)},
      {{"-m", "--no-test", "x"}, 0, spoken(kOpen, "\"x\"")},
      {{"-mv", "x"}, 0, spoken(kOpen, kTestText)},
      {{"-v", "ab"},
       0,
       {kOpen, "tts_CallBack 7 1000 fn 0", "tts_Phoneme 7 \"ab\" 17 0",
        speak("\"ab\""), "callback", "tts_Close 7"}},
      // Command-line mistakes and help never reach the engine.
      {{}, 1, {}},
      {{"-v"}, 1, {}},
      {{"-h", "x"}, 0, {}},
      {{"--verb", "x"}, 1, {}},
      {{"-a"}, 1, {}},
      {{"-x"}, 1, {}},
  };
  for (const CallCase &c : cases) {
    std::string shown;
    for (const std::string &a : c.args) shown += "[" + a + "] ";
    SCOPED_TRACE(shown);
    const Outcome run = orasay(c.args);
    EXPECT_EQ(run.result.status, c.status);
    EXPECT_EQ(run.log, c.log);
  }
}

TEST(e2e_test, help_screen_and_command_line_errors) {
  struct HelpCase {
    std::vector<std::string> args;
    int status;
    std::string out, err;
  };
  const HelpCase cases[] = {
      {{"-h"}, 0, program_help, ""},
      {{"--help", "--bad"}, 0, program_help, ""},
      {{}, 1, program_help, ""},
      {{"-v"}, 1, program_help, ""},
      {{"--verb", "x"}, 1, program_help, "error: unknown option `--verb`\n"},
      {{"-mx", "x"}, 1, program_help, "error: unknown option `-mx`\n"},
      {{"--no-help"}, 1, program_help, "error: unknown option `--no-help`\n"},
      {{"-a"}, 1, "", "error: option `-a` requires a value\n"},
      {{"-am", "x"}, 1, "", "error: option `-a` expects an integer value\n"},
      {{"--format=2147483648", "x"},
       1,
       "",
       "error: option `--format` numerical result out of range\n"},
  };
  for (const HelpCase &c : cases) {
    SCOPED_TRACE(c.args.empty() ? "(none)" : c.args[0]);
    const Outcome run = orasay(c.args);
    EXPECT_EQ(run.result.status, c.status);
    EXPECT_EQ(run.result.out, c.out);
    EXPECT_EQ(run.result.err, c.err);
  }
}

TEST(e2e_test, writes_the_platforms_line_ends) {
  const std::string eol = windows ? "\r\n" : "\n";
  struct EolCase {
    std::vector<std::string> args;
    std::string out;  // with "\n" for each line end
  };
  const EolCase cases[] = {
      {{"-h"}, program_help},
      {{"-v", "ab"},
       "\ntext:         ab\nconverted:    ab\nphonemes:     "
       "phphphphphphphph\n\n"},
  };
  for (const EolCase &c : cases) {
    SCOPED_TRACE(c.args[0]);
    std::string expected;
    for (char ch : c.out) expected += ch == '\n' ? eol : std::string(1, ch);
    EXPECT_EQ(orasay(c.args).raw_out, expected);
  }
}

TEST(e2e_test, saves_into_the_file_and_truncates_it) {
  struct FileCase {
    std::vector<std::string> args;  // "@" stands for the file's name
    Lines log;
    std::string content;
  };
  const std::string open_and_register[] = {kOpen, "tts_CallBack 7 1000 fn 0"};
  const FileCase cases[] = {
      {{"-f", "@", "x"},
       {kOpen, "tts_CallBack 7 1000 fn 0", "tts_SaveFile 7 \"x\" 0",
        "tts_Close 7"},
       "FAKE AUDIO 0 \"x\"\n"},
      {{"-a", "2", "--filename", "@", "-m"},
       {kOpen, "tts_CallBack 7 1000 fn 0",
        std::string("tts_SaveFile 7 ") + kTestText + " 2", "tts_Close 7"},
       std::string("FAKE AUDIO 2 ") + kTestText + "\n"},
      {{"-v", "-c", "1", "-s", "1", "-a", "1", "--filename=@", "{{pause 5}}"},
       {"tts_Open -1 0x30001", "tts_CallBack 7 1000 fn 0",
        "tts_Phoneme 7 \" \\x1b[005s    \" 89 0",
        "tts_SaveFile 7 \" \\x1b[005s    \" 1", "tts_Close 7"},
       "FAKE AUDIO 1 \" \\x1b[005s    \"\n"},
  };
  for (const FileCase &c : cases) {
    const std::string file = temp_path("orasay-file");
    {
      std::FILE *f = std::fopen(file.c_str(), "wb");  // old, longer content
      std::fputs(std::string(10000, 'o').c_str(), f);
      std::fclose(f);
    }
    std::vector<std::string> args;
    for (const std::string &a : c.args) {
      std::string arg = a;
      if (const size_t at = arg.find('@'); at != std::string::npos)
        arg.replace(at, 1, native_path(file));
      args.push_back(arg);
    }
    SCOPED_TRACE(args.back());
    const Outcome run = orasay(args);
    EXPECT_EQ(run.result.status, 0);
    EXPECT_EQ(run.log, c.log);
    EXPECT_EQ(read_file(file), c.content);
    std::remove(file.c_str());
  }
}

TEST(e2e_test, reports_a_file_that_cannot_be_created) {
  struct NameCase {
    std::string file, shown;
  };
  const NameCase cases[] = {
      {"/nonexistent-orasay-dir/out.wav", "/nonexistent-orasay-dir/out.wav"},
      // Control bytes of a name cannot drive the terminal.
      {"/nonexistent-orasay-dir/\x1b]0;x\x07.wav",
       "/nonexistent-orasay-dir/^[]0;x^G.wav"},
      {"/nonexistent-orasay-dir/\xc2\x9b"
       "2J\x9b\xc4\x9b.wav",
       "/nonexistent-orasay-dir/<U+009B>2J\\x9b\xc4\x9b.wav"},
  };
  for (const NameCase &c : cases) {
    SCOPED_TRACE(c.shown);
    // Windows takes names in its code page: only ASCII arrives unchanged.
    if (windows && std::any_of(c.file.begin(), c.file.end(),
                               [](unsigned char b) { return b >= 0x80; }))
      continue;
    const Outcome run = orasay({"-f", native_path(c.file), "x"});
    EXPECT_EQ(run.result.status, 1);
    EXPECT_EQ(run.result.err.rfind(
                  "error: cannot create '" + native_path(c.shown) + "': ", 0),
              0u)
        << run.result.err;
    EXPECT_EQ(run.log,
              (Lines{kOpen, "tts_CallBack 7 1000 fn 0", "tts_Close 7"}));
  }
}

// A format the engine would refuse is refused before the file is created,
// which would empty it.
TEST(e2e_test, a_bad_file_format_touches_nothing) {
  const std::string file = temp_path("orasay-keep");
  for (const char *format : {"3", "-1", "0x7fffffff"}) {
    SCOPED_TRACE(format);
    {
      std::FILE *f = std::fopen(file.c_str(), "wb");
      std::fputs("precious\n", f);
      std::fclose(f);
    }
    const Outcome run = orasay({"-a", format, "-f", native_path(file), "x"});
    EXPECT_EQ(run.result.status, 1);
    EXPECT_EQ(run.result.err,
              "error: option `--format` must be 0 (wav), 1 (raw) or 2 (au)\n");
    EXPECT_EQ(run.log, Lines{});
    EXPECT_EQ(read_file(file), "precious\n");
  }
  std::remove(file.c_str());
  // Without a file the format is not used.
  EXPECT_EQ(orasay({"-a", "3", "x"}).result.status, 0);
}

// When the engine fails to write a file, no file is left that looks whole:
// a regular file is removed (or emptied, when reached through a link or
// linked to another name); FIFOs stay.
TEST(e2e_test, a_failed_save_leaves_no_file) {
  const std::string dir = temp_path("orasay-saves");
  std::remove(dir.c_str());
  fs::create_directory(dir);
  const std::string existing = dir + "/existing.wav",
                    fresh = dir + "/fresh.wav", target = dir + "/target.wav",
                    link = dir + "/link.wav";
  auto write = [](const std::string &path, const char *text) {
    std::FILE *f = std::fopen(path.c_str(), "wb");
    std::fputs(text, f);
    std::fclose(f);
  };
  write(existing, "old\n");
  write(target, "old\n");
  fs::create_symlink(target, link);
  fs::create_hard_link(existing, dir + "/hard.wav");
  const Env failing = {{"ORASAY_FAKE_FAIL", "tts_SaveFile:5"}};
  for (const std::string &f : {existing, fresh}) {
    SCOPED_TRACE(f);
    EXPECT_EQ(
        orasay({"-f", native_path(f), "x"}, {.env = failing}).result.status, 1);
    EXPECT_FALSE(fs::exists(f));
  }
  EXPECT_EQ(read_file(dir + "/hard.wav"), "");
  if (!windows) {
    EXPECT_EQ(orasay({"-f", link, "x"}, {.env = failing}).result.status, 1);
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(read_file(target), "");
    const std::string fifo = dir + "/fifo";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    std::thread reader([&] { read_file(fifo); });
    EXPECT_EQ(orasay({"-f", fifo, "x"}, {.env = failing}).result.status, 1);
    reader.join();
    EXPECT_TRUE(fs::is_fifo(fifo));
  }
  fs::remove_all(dir);
}

// OpenFile takes paths of at most 127 characters.  A longer one is either
// created all the same or refused with an error line; never is another file
// written, nor the failure kept quiet.
TEST(e2e_test, long_file_names_work_or_fail_loudly) {
  const struct {
    size_t length;  // of the full path
    bool must_work;
    bool relative = false;  // the name alone, run in its folder
  } cases[] = {{100, true},          {127, true},     {128, !windows},
               {200, !windows},      {250, !windows}, {127, true, true},
               {128, !windows, true}};
  for (const auto &c : cases) {
    SCOPED_TRACE(c.length);
    const std::string dir = temp_path("orasay-long");
    std::remove(dir.c_str());
    fs::create_directory(dir);
    const std::string prefix = native_path(dir + "/");
    ASSERT_LT(prefix.size(), c.length) << "TMPDIR is too long for this test";
    const std::string leaf(c.length - prefix.size(), 'n');
    const std::string file = dir + "/" + leaf;
    ASSERT_EQ(native_path(file).size(), c.length);
    const std::string name = c.relative ? leaf : native_path(file);

    const Outcome run =
        orasay({"-f", name, "x"}, {.cwd = c.relative ? dir : ""});
    std::vector<std::string> written;
    for (const auto &entry : fs::directory_iterator(dir))
      written.push_back(entry.path());
    if (run.result.status == 0) {
      EXPECT_EQ(written, Lines{file});
      EXPECT_EQ(read_file(file), "FAKE AUDIO 0 \"x\"\n");
      EXPECT_EQ(run.result.err, "");
    } else {
      EXPECT_FALSE(c.must_work) << run.result.err;
      EXPECT_EQ(run.result.status, 1);
      EXPECT_EQ(run.result.err,
                "error: cannot create '" + name +
                    "': full path longer than 127 characters\n");
      EXPECT_EQ(written, Lines{});
      EXPECT_EQ(run.log,
                (Lines{kOpen, "tts_CallBack 7 1000 fn 0", "tts_Close 7"}));
    }
    fs::remove_all(dir);
  }
}

TEST(e2e_test, reports_engine_failures) {
  struct FailCase {
    std::string fail;
    std::vector<std::string> args;
    int status;
    std::string err;
    Lines log;
  };
  const std::string file = temp_path("orasay-fail");
  const FailCase cases[] = {
      {"tts_Open:2",
       {"x"},
       1,
       "error: tts_Open failed: invalid argument (engine code 2)\n",
       {kOpen}},
      {"tts_CallBack:7",
       {"x"},
       1,
       "error: tts_CallBack failed: internal engine error (engine code 7)\n",
       {kOpen, "tts_CallBack 7 1000 fn 0", "tts_Close 7"}},
      {"tts_Speak:4",
       {"x"},
       1,
       "error: tts_Speak failed: sound output unavailable (engine code 4)\n",
       {kOpen, "tts_CallBack 7 1000 fn 0", speak("\"x\""), "tts_Close 7"}},
      {"tts_SaveFile:5",
       {"-f", native_path(file), "x"},
       1,
       "error: tts_SaveFile failed: writing the audio file failed (engine code "
       "5)\n",
       {kOpen, "tts_CallBack 7 1000 fn 0", "tts_SaveFile 7 \"x\" 0",
        "tts_Close 7"}},
      // The phoneme request's result is kept, not acted upon.
      {"tts_Phoneme:6",
       {"-v", "x"},
       0,
       "",
       {kOpen, "tts_CallBack 7 1000 fn 0", "tts_Phoneme 7 \"x\" 9 0",
        speak("\"x\""), "callback", "tts_Close 7"}},
  };
  for (const FailCase &c : cases) {
    SCOPED_TRACE(c.fail);
    const Outcome run = orasay(c.args, {.env = {{"ORASAY_FAKE_FAIL", c.fail}}});
    EXPECT_EQ(run.result.status, c.status);
    EXPECT_EQ(run.result.err, c.err);
    EXPECT_EQ(run.log, c.log);
  }
  std::remove(file.c_str());
}

// An engine with the optional tts_Status says how the speech ended; one
// without it is used as it is (every other test).
TEST(e2e_test, reports_how_the_speech_ended) {
  struct StatusCase {
    Env env;
    int status;
    std::string err;
  };
  const StatusCase cases[] = {
      {{{"ORASAY_FAKE_STATUS", "0"}}, 0, ""},
      {{{"ORASAY_FAKE_STATUS", "4"}},
       1,
       "error: playback failed: sound output unavailable (engine code 4)\n"},
      {{{"ORASAY_FAKE_FAIL", "tts_Status:1"}},
       1,
       "error: tts_Status failed: invalid engine handle (engine code 1)\n"},
  };
  for (const StatusCase &c : cases) {
    SCOPED_TRACE(c.env[0].second);
    const Outcome run = orasay({"x"}, {.dir = status_dir, .env = c.env});
    EXPECT_EQ(run.result.status, c.status);
    EXPECT_EQ(run.result.err, c.err);
    EXPECT_EQ(run.log, (Lines{kOpen, kRegister, speak("\"x\""), "callback",
                              "tts_Status 7", "tts_Close 7"}));
  }
  // Files report through tts_SaveFile's own result.
  const std::string file = temp_path("orasay-status");
  const Outcome saved =
      orasay({"-f", native_path(file), "x"},
             {.dir = status_dir, .env = {{"ORASAY_FAKE_STATUS", "4"}}});
  EXPECT_EQ(saved.result.status, 0);
  EXPECT_EQ(saved.log,
            (Lines{kOpen, kRegister, "tts_SaveFile 7 \"x\" 0", "tts_Close 7"}));
  std::remove(file.c_str());
}

TEST(e2e_test, verbose_display_shows_text_conversion_and_phonemes) {
  const std::string text = "Hi {{rate 100}}";  // 15 bytes: 120 phoneme bytes
  std::string phonemes;
  for (int i = 0; i < 120; ++i) phonemes += "ph"[i % 2];
  const std::string head = "\ntext:         " + text + "\nconverted:    Hi ";
  const std::string tail = "    \nphonemes:     " + phonemes + "\n\n";

  const Outcome piped = orasay({"-v", text});
  EXPECT_EQ(piped.result.out, head + " \x1b[100r " + tail);

  // The user's own control bytes too, in both lines.
  const std::string raw = "a\x07\x1b[2Jb\x7f";
  const std::string raw_lines =
      "\ntext:         " + raw + "\nconverted:    " + raw + "\n";
  EXPECT_EQ(orasay({"-v", raw}).result.out.substr(0, raw_lines.size()),
            raw_lines);

  if (windows) GTEST_SKIP() << "no pseudo-terminal for the emulated program";
  const Outcome shown = orasay({"-v", text}, {.terminal = true});
  EXPECT_EQ(shown.result.out, head + " ^[[100r " + tail);
  // C1 controls as well: U+009B (CSI), and 0x9B that is no UTF-8 character
  // (but stays within one, as in U+011B).
  for (const auto &[typed, seen] :
       {std::pair<std::string, std::string>{raw, "a^G^[[2Jb^?"},
        {"\xc2\x9b"
         "2J\x9b\xc4\x9b\xc2",
         "<U+009B>2J\\x9b\xc4\x9b\xc2"}}) {
    SCOPED_TRACE(seen);
    const std::string lines =
        "\ntext:         " + seen + "\nconverted:    " + seen + "\n";
    EXPECT_EQ(orasay({"-v", typed}, {.terminal = true})
                  .result.out.substr(0, lines.size()),
              lines);
  }
}

TEST(e2e_test, waits_for_the_callback_however_it_comes) {
  // A late callback: the program ends only after it, and closes afterwards.
  const Outcome late =
      orasay({"x"}, {.env = {{"ORASAY_FAKE_DELAY_MS", "700"}}});
  EXPECT_EQ(late.result.status, 0);
  EXPECT_GE(late.result.seconds, 0.7);
  EXPECT_EQ(late.log, spoken(kOpen, "\"x\""));

  // A callback before tts_Speak returns, or at once from the engine's thread.
  const struct {
    const char *mode, *delay;
  } early[] = {{"inline", "0"}, {"thread", "0"}};
  for (const auto &e : early) {
    SCOPED_TRACE(e.mode);
    int hung = 0, failed = 0;
    double longest = 0;
    for (int i = 0; i < early_runs; ++i) {
      const Outcome run =
          orasay({"x"}, {.env = {{"ORASAY_FAKE_CALLBACK", e.mode},
                                 {"ORASAY_FAKE_DELAY_MS", e.delay}},
                         .limit = 10});
      if (run.result.timed_out) {
        ++hung;
      } else if (run.result.status != 0 || run.log != spoken(kOpen, "\"x\"")) {
        if (++failed <= 3) {
          std::string log;
          for (const std::string &line : run.log) log += line + "; ";
          ADD_FAILURE() << "run " << i << ": status " << run.result.status
                        << ", log " << log << "stdout " << run.result.out
                        << ", stderr " << run.result.err;
        }
      }
      longest = std::max(longest, run.result.seconds);
    }
    std::printf("callback %s: %d runs, %d hung, %d failed, longest %.2f s\n",
                e.mode, early_runs, hung, failed, longest);
    EXPECT_EQ(hung, 0);
    EXPECT_EQ(failed, 0);
  }
}

TEST(e2e_test, waiting_uses_no_cpu_and_needs_the_callback) {
  if (windows)
    GTEST_SKIP() << "CPU time of an emulated program is not the program's";
  const Outcome run =
      orasay({"x"}, {.env = {{"ORASAY_FAKE_CALLBACK", "never"}}, .limit = 1.5});
  EXPECT_TRUE(run.result.timed_out);
  EXPECT_LT(run.result.cpu_seconds, 0.3);
}

TEST(e2e_test, without_an_engine_says_truvoice_not_found) {
  const std::string alone = temp_path("orasay-alone");
  std::remove(alone.c_str());
  fs::create_directory(alone);
  fs::copy_file(fake_dir + "/" + program, alone + "/" + program);
  const std::string file = alone + "/out.wav";

  struct AloneCase {
    std::string dir;
    std::vector<std::string> args;
    int status;
    std::string out;
    std::string cwd = "";  // an engine there is never loaded
  };
  const AloneCase cases[] = {
      {alone, {"x"}, 1, "TruVoice not found!\n"},
      {alone, {"-f", native_path(file), "x"}, 1, "TruVoice not found!\n"},
      {alone, {"-h"}, 0, program_help},
      {alone, {}, 1, program_help},
      {partial_dir, {"x"}, 1, "TruVoice not found!\n"},
      {partial_dir, {"-v", "x"}, 1, "TruVoice not found!\n"},
      {alone, {"x"}, 1, "TruVoice not found!\n", fake_dir},
  };
  for (const AloneCase &c : cases) {
    SCOPED_TRACE(c.dir + " " + (c.args.empty() ? "" : c.args[0]));
    const Outcome run = orasay(c.args, {.dir = c.dir, .cwd = c.cwd});
    EXPECT_EQ(run.result.status, c.status);
    EXPECT_EQ(run.result.out, c.out);
    EXPECT_EQ(run.result.err, "");
    EXPECT_TRUE(run.log.empty());
  }
  EXPECT_FALSE(fs::exists(file));

  {  // the loader's search path can put another engine first
    const auto path = windows ? "WINEPATH" : "LD_LIBRARY_PATH";
    const Outcome run =
        orasay({"x"}, {.dir = alone, .env = {{path, native_path(fake_dir)}}});
    EXPECT_EQ(run.result.status, 0);
    EXPECT_EQ(run.log, spoken(kOpen, "\"x\""));
  }
  fs::remove_all(alone);
}

}  // namespace
