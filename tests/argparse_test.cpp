// Tests of the option parser and its help printer: argparse.h.
// See LICENSE.
#include "argparse.h"
#include "program_help.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

namespace {

const char *const program_usages[] = {"orasay [options] \"text\"", nullptr};
const char program_description[] =
    "\nSpeak to audio file or to speaker using Centigram's TruVoice TTS "
    "synthesizer.";

// The program's help screen; every help text starts in column 30.

// The settings of the program, as its option table fills them.
struct settings {
  const char *filename = nullptr;
  int format = 0;
  int codec = 0;
  int samplerate = 0;
  int test = 0;
  int verbose = 0;
};

// The program's option table and parser state around one argument vector.
struct program {
  settings got;
  const argparse_option options[8] = {
      {ARGPARSE_TYPE_BOOLEAN, 'h', "help", nullptr,
       "show this help message and exit", argparse_help_cb, 0,
       ARGPARSE_OPTION_NO_NEGATION},
      {ARGPARSE_TYPE_STRING, 'f', "filename", &got.filename,
       "output to audio file", nullptr, 0, 0},
      {ARGPARSE_TYPE_INTEGER, 'a', "format", &got.format,
       "audio file format (0: wav, 1: raw, 2: au)", nullptr, 0, 0},
      {ARGPARSE_TYPE_INTEGER, 'c', "codec", &got.codec,
       "audio codec (0: pcm, 1: a-law)", nullptr, 0, 0},
      {ARGPARSE_TYPE_INTEGER, 's', "samplerate", &got.samplerate,
       "audio sampling rate (0: 11khz, 1: 8khz)", nullptr, 0, 0},
      {ARGPARSE_TYPE_BOOLEAN, 'm', "test", &got.test,
       "turn on test mode. overrides text input", nullptr, 0, 0},
      {ARGPARSE_TYPE_BOOLEAN, 'v', "verbose", &got.verbose,
       "turn on verbose mode. display text and phoneme stream to standard "
       "output",
       nullptr, 0, 0},
      {},
  };
  argparse state;
  std::vector<const char *> argv;

  explicit program(int flags = 0) {
    argparse_init(&state, options, program_usages, flags);
    argparse_describe(&state, program_description, "");
  }
  program(const program &) = delete;

  // Parses "orasay" followed by args; argv keeps the vector afterwards.
  int parse(const std::vector<const char *> &args) {
    argv = {"orasay"};
    argv.insert(argv.end(), args.begin(), args.end());
    argv.push_back(nullptr);
    return argparse_parse(&state, static_cast<int>(argv.size() - 1),
                          argv.data());
  }
};

std::string show(const std::vector<const char *> &args) {
  std::string text;
  for (const char *arg : args) text += std::string(" [") + arg + "]";
  return text;
}

std::string text_or_null(const char *text) {
  return text != nullptr ? std::string("\"") + text + "\"" : "null";
}

// One command line with the settings and left-over arguments it must give.
struct parse_row {
  std::vector<const char *> args;
  settings want;
  std::vector<std::string> left;
};

void expect_parse(const parse_row &row, int flags = 0) {
  SCOPED_TRACE(show(row.args));
  program p(flags);
  int left = p.parse(row.args);
  EXPECT_EQ(text_or_null(p.got.filename), text_or_null(row.want.filename));
  EXPECT_EQ(p.got.format, row.want.format);
  EXPECT_EQ(p.got.codec, row.want.codec);
  EXPECT_EQ(p.got.samplerate, row.want.samplerate);
  EXPECT_EQ(p.got.test, row.want.test);
  EXPECT_EQ(p.got.verbose, row.want.verbose);
  ASSERT_EQ(left, static_cast<int>(row.left.size()));
  for (int i = 0; i < left; ++i) EXPECT_EQ(p.argv[i], row.left[i]) << i;
  EXPECT_EQ(p.argv[left], nullptr);
}

settings file(const char *name) {
  settings s;
  s.filename = name;
  return s;
}

settings switches(int test, int verbose) {
  settings s;
  s.test = test;
  s.verbose = verbose;
  return s;
}

settings format(int value) {
  settings s;
  s.format = value;
  return s;
}

// An extended regular expression matching exactly text.
std::string exact(const std::string &text) {
  std::string pattern = "^";
  for (char c : text) {
    if (std::strchr("\\^$.|?*+()[]{}", c) != nullptr) pattern += '\\';
    pattern += c;
  }
  return pattern + "$";
}

// Death-test body: parse args with stdout sent to stderr, so that the
// expected text can hold the error line followed by the help.
void parse_merged(const std::vector<const char *> &args, int flags = 0) {
  dup2(STDERR_FILENO, STDOUT_FILENO);
  program p(flags);
  p.parse(args);
}

// A setting of the program being parsed, shown on stderr when it exits.
const int *exiting_value = nullptr;
void show_value_at_exit() {
  std::fprintf(stderr, "value=%d\n", *exiting_value);
}

}  // namespace

TEST(argparse_test, string_value_forms_set_the_file_name) {
  const parse_row rows[] = {
      {{"-f", "out.wav"}, file("out.wav"), {}},
      {{"-fout.wav"}, file("out.wav"), {}},
      {{"--filename", "out.wav"}, file("out.wav"), {}},
      {{"--filename=out.wav"}, file("out.wav"), {}},
      {{"--filename=a=b"}, file("a=b"), {}},
      {{"--filename="}, file(""), {}},
      {{"-f", ""}, file(""), {}},
      {{"-f", "-m"}, file("-m"), {}},
      {{"-f", "--"}, file("--"), {}},
      {{"-f", "a", "--filename=b"}, file("b"), {}},
  };
  for (const parse_row &row : rows) expect_parse(row);
}

TEST(argparse_test, string_value_points_into_argument_vector) {
  const char *attached = "-fout.wav";
  const char *separate = "out.wav";
  program p;
  p.parse({attached});
  EXPECT_EQ(p.got.filename, attached + 2);
  program q;
  q.parse({"-f", separate});
  EXPECT_EQ(q.got.filename, separate);
}

TEST(argparse_test, short_options_cluster) {
  settings test_and_format = switches(1, 0);
  test_and_format.format = 2;
  settings test_and_file = switches(1, 0);
  test_and_file.filename = "out.wav";
  settings verbose_and_file = switches(0, 1);
  verbose_and_file.filename = "mv";
  const parse_row rows[] = {
      {{"-mv"}, switches(1, 1), {}},
      {{"-mvm"}, switches(2, 1), {}},
      {{"-ma", "2"}, test_and_format, {}},
      {{"-ma2"}, test_and_format, {}},
      {{"-a3"}, format(3), {}},
      {{"-mf", "out.wav"}, test_and_file, {}},
      {{"-vfmv"}, verbose_and_file, {}},
  };
  for (const parse_row &row : rows) expect_parse(row);
}

TEST(argparse_test, boolean_counts_and_no_form_counts_down_to_zero) {
  settings verbose_and_format = switches(0, 1);
  verbose_and_format.format = 3;
  const parse_row rows[] = {
      {{"-v", "-v"}, switches(0, 2), {}},
      {{"--verbose", "-v", "--verbose"}, switches(0, 3), {}},
      {{"--no-verbose"}, switches(0, 0), {}},
      {{"-v", "-v", "--no-verbose"}, switches(0, 1), {}},
      {{"--no-verbose", "-v"}, switches(0, 1), {}},
      {{"-m", "-m"}, switches(2, 0), {}},
      {{"-m", "--no-test"}, switches(0, 0), {}},
      {{"--no-test=yes", "-m"}, switches(1, 0), {}},
      // A value attached to a switch is dropped and reaches nothing else.
      {{"--verbose=1", "--format", "3"}, verbose_and_format, {}},
  };
  for (const parse_row &row : rows) expect_parse(row);
}

TEST(argparse_test, integer_converts_in_base_0_within_32_bits) {
  settings negative_rate;
  negative_rate.samplerate = -7;
  negative_rate.codec = 1;
  const parse_row rows[] = {
      {{"--format=0x10"}, format(16), {}},
      {{"--format=0X1f"}, format(31), {}},
      {{"--format=010"}, format(8), {}},
      {{"--format=0"}, format(0), {}},
      {{"--format="}, format(0), {}},
      {{"--format= 7"}, format(7), {}},
      {{"--format=+3"}, format(3), {}},
      {{"-a", "-5"}, format(-5), {}},
      {{"-a-5"}, format(-5), {}},
      {{"--format=2147483647"}, format(INT_MAX), {}},
      {{"--format=-2147483648"}, format(INT_MIN), {}},
      {{"--format=-0x80000000"}, format(INT_MIN), {}},
      {{"-a1", "--format", "9"}, format(9), {}},
      {{"-c", "1", "--samplerate=-7"}, negative_rate, {}},
  };
  for (const parse_row &row : rows) expect_parse(row);
}

TEST(argparse_test, left_over_arguments_are_gathered_in_front) {
  const parse_row rows[] = {
      {{}, {}, {}},
      {{"-m"}, switches(1, 0), {}},
      {{"text"}, {}, {"text"}},
      {{"a", "-m", "b"}, switches(1, 0), {"a", "b"}},
      {{"-"}, {}, {"-"}},
      {{"-v", "-", "x"}, switches(0, 1), {"-", "x"}},
      {{"--", "-m"}, {}, {"-m"}},
      {{"--"}, {}, {}},
      {{"a", "--", "-v", "b"}, {}, {"a", "-v", "b"}},
      {{"a", "--", "--", "b"}, {}, {"a", "--", "b"}},
      {{"one", "-v", "two", "--", "three"},
       switches(0, 1),
       {"one", "two", "three"}},
      {{"-f", "x", "y"}, file("x"), {"y"}},
  };
  for (const parse_row &row : rows) expect_parse(row);
}

TEST(argparse_test, options_first_leaves_everything_from_first_operand) {
  const parse_row rows[] = {
      {{"-m", "a", "-v"}, switches(1, 0), {"a", "-v"}},
      {{"a", "-m"}, {}, {"a", "-m"}},
      {{"-v", "--", "-m"}, switches(0, 1), {"-m"}},
      {{"-", "-m"}, {}, {"-", "-m"}},
      {{"-mv"}, switches(1, 1), {}},
  };
  for (const parse_row &row : rows) expect_parse(row, ARGPARSE_OPTIONS_FIRST);
}

TEST(argparse_test, no_exit_on_unknown_reports_drops_and_goes_on) {
  struct row {
    parse_row parse;
    std::string errors;
  };
  const row rows[] = {
      {{{"-x", "-v"}, switches(0, 1), {}}, "error: unknown option `-x`\n"},
      {{{"-mxv", "a"}, switches(1, 0), {"a"}},
       "error: unknown option `-mxv`\n"},
      {{{"--bogus=1", "a"}, {}, {"a"}}, "error: unknown option `--bogus=1`\n"},
      {{{"--verb", "--no-help", "-v"}, switches(0, 1), {}},
       "error: unknown option `--verb`\nerror: unknown option `--no-help`\n"},
  };
  for (const row &r : rows) {
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    expect_parse(r.parse, ARGPARSE_NO_EXIT_ON_UNKNOWN);
    std::string out = testing::internal::GetCapturedStdout();
    std::string err = testing::internal::GetCapturedStderr();
    SCOPED_TRACE(show(r.parse.args));
    EXPECT_EQ(err, r.errors);
    std::string helps;
    for (size_t at = 0; (at = r.errors.find('\n', at)) != std::string::npos;
         ++at)
      helps += program_help;
    EXPECT_EQ(out, helps);
  }
}

TEST(argparse_test, value_errors_name_the_record_and_exit_1) {
  struct row {
    std::vector<const char *> args;
    const char *error;
  };
  const row rows[] = {
      {{"-a"}, "error: option `-a` requires a value\n"},
      {{"-m", "-c"}, "error: option `-c` requires a value\n"},
      {{"--format"}, "error: option `--format` requires a value\n"},
      {{"-f"}, "error: option `-f` requires a value\n"},
      {{"--filename"}, "error: option `--filename` requires a value\n"},
      {{"-am"}, "error: option `-a` expects an integer value\n"},
      {{"-ma", "x"}, "error: option `-a` expects an integer value\n"},
      {{"--format=x"}, "error: option `--format` expects an integer value\n"},
      {{"--format=3 "}, "error: option `--format` expects an integer value\n"},
      {{"--format=0x"}, "error: option `--format` expects an integer value\n"},
      {{"--format=1e3"}, "error: option `--format` expects an integer value\n"},
      {{"--codec", "1.0"},
       "error: option `--codec` expects an integer value\n"},
      {{"--format=2147483648"},
       "error: option `--format` numerical result out of range\n"},
      {{"-a", "-2147483649"},
       "error: option `-a` numerical result out of range\n"},
      {{"--samplerate=0x100000000"},
       "error: option `--samplerate` numerical result out of range\n"},
      {{"--format=99999999999999999999"},
       "error: option `--format` numerical result out of range\n"},
      // The range is tested before the characters behind the number.
      {{"--format=99999999999x"},
       "error: option `--format` numerical result out of range\n"},
      // Parsing stops at the first error.
      {{"-a", "x", "--codec=y"},
       "error: option `-a` expects an integer value\n"},
  };
  for (const row &r : rows) {
    SCOPED_TRACE(show(r.args));
    EXPECT_EXIT(parse_merged(r.args), testing::ExitedWithCode(1),
                exact(r.error));
  }
}

TEST(argparse_test, failed_integer_is_stored_clamped_before_exit) {
  struct row {
    const char *value;
    int stored;
  };
  const row rows[] = {
      {"2147483648", INT_MAX},
      {"-2147483649", INT_MIN},
      {"99999999999999999999", INT_MAX},
      {"12x", 12},
  };
  for (const row &r : rows) {
    SCOPED_TRACE(r.value);
    EXPECT_EXIT(
        {
          program p;
          exiting_value = &p.got.format;
          std::atexit(show_value_at_exit);
          p.parse({"-a", r.value});
        },
        testing::ExitedWithCode(1),
        "\nvalue=" + std::to_string(r.stored) + "\n$");
  }
}

TEST(argparse_test, unknown_option_prints_error_and_help_then_exits_1) {
  const char *const rows[] = {
      "--verb",    "--verbosex",      "--Verbose", "--no-help", "--no-format",
      "--help-me", "--verbose-",      "-x",        "-5",        "-mx",
      "--bogus=1", "--no-filename=a", "--no-",     "--=x",
  };
  for (const char *arg : rows) {
    SCOPED_TRACE(arg);
    EXPECT_EXIT(parse_merged({arg, "-h"}), testing::ExitedWithCode(1),
                exact(std::string("error: unknown option `") + arg + "`\n" +
                      program_help));
  }
}

TEST(argparse_test, letters_before_unknown_one_have_taken_effect) {
  EXPECT_EXIT(
      {
        program p;
        dup2(open("/dev/null", O_WRONLY), STDOUT_FILENO);  // the help
        exiting_value = &p.got.test;
        std::atexit(show_value_at_exit);
        p.parse({"-mmx"});
      },
      testing::ExitedWithCode(1), "\nvalue=2\n$");
}

TEST(argparse_test, help_option_prints_help_and_exits_0) {
  const std::vector<const char *> rows[] = {
      {"-h"},
      {"--help"},
      {"-h", "-x"},
      {"-mh"},
      {"--help=x"},
      {"-hx"},
      {"a", "--help", "--format=x"},
  };
  for (const auto &args : rows) {
    SCOPED_TRACE(show(args));
    EXPECT_EXIT(parse_merged(args), testing::ExitedWithCode(0),
                exact(program_help));
  }
  EXPECT_EXIT(
      parse_merged({"-x", "-h"}), testing::ExitedWithCode(1),
      exact(std::string("error: unknown option `-x`\n") + program_help));
}

TEST(argparse_test, wrong_option_type_is_warned_and_parsing_goes_on) {
  int verbose = 0;
  const argparse_option options[] = {
      {7, 'x', nullptr, nullptr, "seven", nullptr, 0, 0},
      {ARGPARSE_TYPE_BOOLEAN, 'v', "verbose", &verbose, "v", nullptr, 0, 0},
      {-1, 0, "minus", nullptr, "minus one", nullptr, 0, 0},
      {},
  };
  const char *argv[] = {"prog", "-v", "-x", "--minus", "left", nullptr};
  argparse state;
  argparse_init(&state, options, nullptr, 0);
  testing::internal::CaptureStderr();
  int left = argparse_parse(&state, 5, argv);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "wrong option type: 7wrong option type: -1");
  EXPECT_EQ(verbose, 1);
  ASSERT_EQ(left, 1);
  EXPECT_STREQ(argv[0], "left");
}

TEST(argparse_test, matched_record_that_stores_nothing_must_have_no_value) {
  int target = 0;
  const argparse_option options[] = {
      {ARGPARSE_TYPE_HEADING, 'x', "heading", &target, "Heading", nullptr, 0,
       0},
      {},
  };
  const char *argv[] = {"prog", "-x", nullptr};
  argparse state;
  argparse_init(&state, options, nullptr, 0);
  EXPECT_DEATH(argparse_parse(&state, 2, argv), "argparse");
}

namespace {

// Extra types: a float and two bits of one word.
struct extras {
  float rate = 0;
  int bits = 0;
  int quiet = 0;
  int calls = 0;
  const argparse_option options[5] = {
      {ARGPARSE_TYPE_FLOAT, 'r', "rate", &rate, "rate", nullptr, 0, 0},
      {ARGPARSE_TYPE_BIT, 'b', "bold", &bits, "bold", nullptr, 4, 0},
      {ARGPARSE_TYPE_BIT, 'i', "italic", &bits, "italic", nullptr, 1, 0},
      {ARGPARSE_TYPE_BIT, 'q', "quiet", &quiet, "quiet", nullptr, 2,
       ARGPARSE_OPTION_NO_NEGATION},
      {},
  };
  argparse state;
  std::vector<const char *> argv;

  extras() { argparse_init(&state, options, nullptr, 0); }
  extras(const extras &) = delete;

  int parse(const std::vector<const char *> &args) {
    argv = {"prog"};
    argv.insert(argv.end(), args.begin(), args.end());
    argv.push_back(nullptr);
    return argparse_parse(&state, static_cast<int>(argv.size() - 1),
                          argv.data());
  }
};

}  // namespace

TEST(argparse_test, float_and_bit_values) {
  struct row {
    std::vector<const char *> args;
    float rate;
    int bits;
    int quiet;
  };
  const row rows[] = {
      {{"-r", "1.5"}, 1.5f, 0, 0},
      {{"--rate=-2e3"}, -2000.0f, 0, 0},
      {{"-r0x10"}, 16.0f, 0, 0},
      {{"--rate="}, 0.0f, 0, 0},
      {{"-bi"}, 0.0f, 5, 0},
      {{"-b", "-b"}, 0.0f, 4, 0},
      {{"-bi", "--no-bold"}, 0.0f, 1, 0},
      {{"--no-italic"}, 0.0f, 0, 0},
      {{"--italic=zzz", "-q"}, 0.0f, 1, 2},
  };
  for (const row &r : rows) {
    SCOPED_TRACE(show(r.args));
    extras e;
    EXPECT_EQ(e.parse(r.args), 0);
    EXPECT_EQ(e.rate, r.rate);
    EXPECT_EQ(e.bits, r.bits);
    EXPECT_EQ(e.quiet, r.quiet);
  }
}

TEST(argparse_test, float_errors_exit_1) {
  struct row {
    std::vector<const char *> args;
    const char *error;
  };
  const row rows[] = {
      {{"-r"}, "error: option `-r` requires a value\n"},
      {{"--rate=1.5x"}, "error: option `--rate` expects a numerical value\n"},
      {{"-rx"}, "error: option `-r` expects a numerical value\n"},
      {{"--rate=1e99"},
       "error: option `--rate` numerical result out of range\n"},
      {{"--no-quiet"},
       "error: unknown option `--no-quiet`\nUsage:\n\n"
       "    -r, --rate=<flt>  rate\n"
       "    -b, --bold        bold\n"
       "    -i, --italic      italic\n"
       "    -q, --quiet       quiet\n"},
  };
  for (const row &r : rows) {
    SCOPED_TRACE(show(r.args));
    EXPECT_EXIT(
        {
          dup2(STDERR_FILENO, STDOUT_FILENO);
          extras e;
          e.parse(r.args);
        },
        testing::ExitedWithCode(1), exact(r.error));
  }
}

namespace {

int callback_calls = 0;
int callback_seen_verbose = -1;

int count_call(argparse *self, const argparse_option *option) {
  ++callback_calls;
  callback_seen_verbose = *static_cast<int *>(option->value);
  return self->flags == ARGPARSE_NO_EXIT_ON_UNKNOWN ? -2 : 0;
}

}  // namespace

TEST(argparse_test, callbacks_run_after_the_value_is_stored) {
  int verbose = 0;
  const argparse_option options[] = {
      {ARGPARSE_TYPE_BOOLEAN, 'h', "help", nullptr, "help",
       argparse_help_cb_no_exit, 0, 0},
      {ARGPARSE_TYPE_BOOLEAN, 'v', "verbose", &verbose, "verbose", count_call,
       0, 0},
      {},
  };
  const char *const usages[] = {"prog", nullptr};
  const char *argv[] = {"prog", "-v", "--help", "-v", nullptr};
  argparse state;
  argparse_init(&state, options, usages, 0);
  callback_calls = 0;
  testing::internal::CaptureStdout();
  EXPECT_EQ(argparse_parse(&state, 4, argv), 0);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "Usage: prog\n\n    -h, --help        help\n"
            "    -v, --verbose     verbose\n");
  EXPECT_EQ(callback_calls, 2);
  EXPECT_EQ(callback_seen_verbose, 2);

  // A callback result of -2 reads as an unknown option.
  const char *again[] = {"prog", "--verbose", "x", nullptr};
  argparse_init(&state, options, usages, ARGPARSE_NO_EXIT_ON_UNKNOWN);
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  EXPECT_EQ(argparse_parse(&state, 3, again), 1);
  testing::internal::GetCapturedStdout();
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "error: unknown option `--verbose`\n");
}

TEST(argparse_test, help_screen_of_the_program_byte_for_byte) {
  program p;
  testing::internal::CaptureStdout();
  argparse_usage(&p.state);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), program_help);
}

TEST(argparse_test, help_layout) {
  const argparse_option only_end[] = {{}};
  const argparse_option short_only[] = {
      {ARGPARSE_TYPE_BOOLEAN, 'q', nullptr, nullptr, "quiet", nullptr, 0, 0},
      {},
  };
  const argparse_option long_only[] = {
      {ARGPARSE_TYPE_BOOLEAN, 0, "all", nullptr, "all", nullptr, 0, 0},
      {ARGPARSE_TYPE_INTEGER, 0, "n", nullptr, "count", nullptr, 0, 0},
      {},
  };
  const argparse_option headings[] = {
      {ARGPARSE_TYPE_HEADING, 0, nullptr, nullptr, "Basic options", nullptr, 0,
       0},
      {ARGPARSE_TYPE_BOOLEAN, 'q', nullptr, nullptr, "quiet", nullptr, 0, 0},
      {ARGPARSE_TYPE_HEADING, 0, nullptr, nullptr, "More", nullptr, 0, 0},
      {ARGPARSE_TYPE_FLOAT, 'r', "rate", nullptr, "rate", nullptr, 0, 0},
      {},
  };
  const argparse_option named_heading[] = {
      {ARGPARSE_TYPE_HEADING, 'x', "wide-heading", nullptr, "Wide", nullptr, 0,
       0},
      {ARGPARSE_TYPE_BOOLEAN, 'q', nullptr, nullptr, "quiet", nullptr, 0, 0},
      {},
  };
  const char *const one[] = {"prog", nullptr};
  const char *const two[] = {"prog a", "prog b", nullptr};
  const char *const stop[] = {"prog a", "", "prog c", nullptr};

  struct row {
    const char *name;
    const argparse_option *options;
    const char *const *usages;
    const char *description;
    const char *epilog;
    const char *expected;
  };
  const row rows[] = {
      {"only the end record", only_end, one, "desc", "end",
       "Usage: prog\ndesc\n\nend\n"},
      {"nothing at all", only_end, nullptr, nullptr, nullptr, "Usage:\n\n"},
      {"empty epilog", only_end, one, nullptr, "", "Usage: prog\n\n\n"},
      {"second usage", only_end, two, nullptr, nullptr,
       "Usage: prog a\n   or: prog b\n\n"},
      {"empty usage stops the list", only_end, stop, nullptr, nullptr,
       "Usage: prog a\n\n"},
      {"short name only", short_only, one, nullptr, nullptr,
       "Usage: prog\n\n    -q    quiet\n"},
      {"long names only", long_only, one, nullptr, nullptr,
       "Usage: prog\n\n    --all         all\n    --n=<int>     count\n"},
      {"heading rows", headings, one, nullptr, nullptr,
       "Usage: prog\n\n\nBasic options\n    -q                quiet\n"
       "\nMore\n    -r, --rate=<flt>  rate\n"},
      {"heading names widen the column", named_heading, one, nullptr, nullptr,
       "Usage: prog\n\n\nWide\n    -q                    quiet\n"},
  };
  for (const row &r : rows) {
    SCOPED_TRACE(r.name);
    argparse state;
    argparse_init(&state, r.options, r.usages, 0);
    argparse_describe(&state, r.description, r.epilog);
    testing::internal::CaptureStdout();
    argparse_usage(&state);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), r.expected);
  }
}

TEST(argparse_test, init_clears_the_whole_record) {
  int verbose = 0;
  const argparse_option options[] = {
      {ARGPARSE_TYPE_BOOLEAN, 'v', "verbose", &verbose, "v", nullptr, 0, 0},
      {},
  };
  argparse state;
  std::memset(&state, 0xA5, sizeof state);
  const char *const usages[] = {"prog", nullptr};
  EXPECT_EQ(argparse_init(&state, options, usages, ARGPARSE_OPTIONS_FIRST), 0);
  EXPECT_EQ(state.options, options);
  EXPECT_EQ(state.usages, usages);
  EXPECT_EQ(state.flags, ARGPARSE_OPTIONS_FIRST);
  EXPECT_EQ(state.description, nullptr);
  EXPECT_EQ(state.epilog, nullptr);
  EXPECT_EQ(state.kept_count, 0);
  EXPECT_EQ(state.pending_value, nullptr);
  const char *argv[] = {"prog", "a", "-v", nullptr};
  EXPECT_EQ(argparse_parse(&state, 3, argv), 2);
  EXPECT_EQ(verbose, 0);
}
