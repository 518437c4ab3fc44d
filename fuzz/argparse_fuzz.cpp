// Fuzz target of the option parser: the program's option table over an
// argument vector split from the input at its zero bytes.  See LICENSE.
//
// The parser ends the process on errors and after the help; this build of
// argparse.cpp ends through orasay_fuzz_exit, which throws, so every exit
// path runs and the next input starts afresh.  After a normal return the
// target checks the left-over arguments: how many, that they are original
// arguments in their original order, that the entry behind them is null, and
// that nothing past the vector was written.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "argparse.h"

namespace {

struct ParserExit {
  int status;
};

#if defined(_WIN32)
const char null_device[] = "NUL";
#else
const char null_device[] = "/dev/null";
#endif

// The real standard error, for the target's own messages.
std::FILE *report = stderr;

// Sends the help and error messages to the null device.  The fuzzer's own
// output and the sanitizers' reports keep the real standard error: libFuzzer
// holds its own pointer to it, taken at start-up, and the sanitizers write to
// file descriptor 2.  Only glibc lets the stderr stream be replaced.
bool silence_output() {
  report = stderr;
  std::fflush(stdout);
  if (!std::freopen(null_device, "w", stdout)) std::abort();
#if defined(__GLIBC__)
  if (std::FILE *null = std::fopen(null_device, "w")) stderr = null;
#endif
  return true;
}

[[noreturn]] void fail(const char *what) {
  std::fprintf(report, "argparse_fuzz: %s\n", what);
  std::fflush(report);
  std::abort();
}

}  // namespace

// argparse.cpp's way out of the process in this build.
[[noreturn]] void orasay_fuzz_exit(int status) { throw ParserExit{status}; }

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  static const bool silent = silence_output();
  (void)silent;

  // The program's name, then one argument per zero-separated piece.
  std::vector<std::string> args{"orasay"};
  std::string piece;
  for (size_t i = 0; i < size; ++i) {
    if (data[i] == 0) {
      args.push_back(piece);
      piece.clear();
    } else {
      piece += static_cast<char>(data[i]);
    }
  }
  if (size > 0) args.push_back(piece);
  const int argc = static_cast<int>(args.size());

  // The vector as main receives it, with a canary in the entry behind the
  // null terminator.
  static const char canary[] = "canary";
  std::vector<const char *> argv;
  for (const std::string &a : args) argv.push_back(a.c_str());
  argv.push_back(nullptr);
  argv.push_back(canary);

  // ORDER OPTIONS: the program's option table, as in orasay.cpp.
  const char *filename = nullptr;
  int format = 0, codec = 0, samplerate = 0, test_mode = 0, verbose = 0;
  const char *const usages[] = {"orasay [options] \"text\"", nullptr};
  const argparse_option options[] = {
      {ARGPARSE_TYPE_BOOLEAN, 'h', "help", nullptr,
       "show this help message and exit", argparse_help_cb, 0,
       ARGPARSE_OPTION_NO_NEGATION},
      {ARGPARSE_TYPE_STRING, 'f', "filename", &filename, "output to audio file",
       nullptr, 0, 0},
      {ARGPARSE_TYPE_INTEGER, 'a', "format", &format,
       "audio file format (0: wav, 1: raw, 2: au)", nullptr, 0, 0},
      {ARGPARSE_TYPE_INTEGER, 'c', "codec", &codec,
       "audio codec (0: pcm, 1: a-law)", nullptr, 0, 0},
      {ARGPARSE_TYPE_INTEGER, 's', "samplerate", &samplerate,
       "audio sampling rate (0: 11khz, 1: 8khz)", nullptr, 0, 0},
      {ARGPARSE_TYPE_BOOLEAN, 'm', "test", &test_mode,
       "turn on test mode. overrides text input", nullptr, 0, 0},
      {ARGPARSE_TYPE_BOOLEAN, 'v', "verbose", &verbose,
       "turn on verbose mode. display text and phoneme stream to standard "
       "output",
       nullptr, 0, 0},
      {},
  };

  argparse state;
  argparse_init(&state, options, usages, 0);
  argparse_describe(&state,
                    "\nSpeak to audio file or to speaker using Centigram's "
                    "TruVoice TTS synthesizer.",
                    "");
  if (argc < 2) {  // the program prints the help for an empty command line
    argparse_usage(&state);
    return 0;
  }

  int left = 0;
  try {
    left = argparse_parse(&state, argc, argv.data());
  } catch (const ParserExit &e) {
    if (e.status != 0 && e.status != 1) fail("exit status other than 0 or 1");
    return 0;
  }

  if (left < 0 || left > argc - 1) fail("left-over count out of range");
  if (argv[left] != nullptr) fail("left-over arguments not null-terminated");
  if (argv[argc + 1] != canary) fail("wrote past the argument vector");

  // Each left-over argument is one of the originals, later than the one
  // before it; one that looks like an option can only come after "--".
  int previous = 0;
  for (int k = 0; k < left; ++k) {
    int index = previous + 1;
    while (index < argc && argv[k] != args[index].c_str()) ++index;
    if (index == argc) fail("left-over argument not an original in order");
    const std::string &a = args[index];
    if (a.size() > 1 && a[0] == '-') {
      bool after_dashes = false;
      for (int j = 1; j < index; ++j) after_dashes |= args[j] == "--";
      if (!after_dashes) fail("an option was left over");
    }
    previous = index;
  }

  if (test_mode < 0 || verbose < 0) fail("negative switch counter");
  if (filename != nullptr) {  // points into one of the arguments
    bool inside = false;
    for (int j = 1; j < argc; ++j) {
      const char *begin = args[j].c_str();
      inside |= filename >= begin && filename <= begin + args[j].size();
    }
    if (!inside) fail("file name outside the arguments");
  }
  (void)format, (void)codec, (void)samplerate;
  return 0;
}
