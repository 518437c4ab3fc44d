// Test helper for the end-to-end tests: runs the orasay program beside the
// recording test engine and reads back the engine calls it made.
//
// The program under test, its directory and an emulator to run it with come
// from the environment, so that the same tests run a cross-built program:
//   ORASAY_E2E_FAKE_DIR, ORASAY_E2E_PARTIAL_DIR, ORASAY_E2E_STATUS_DIR,
//   ORASAY_E2E_PROGRAM,
//   ORASAY_E2E_EMULATOR (e.g. "wine")
#ifndef ORASAY_TESTS_E2E_HARNESS_H
#define ORASAY_TESTS_E2E_HARNESS_H

#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "run_program.h"

namespace orasay_e2e {

using orasay_test::read_file;
using orasay_test::RunResult;
using orasay_test::temp_path;
using Lines = std::vector<std::string>;
using Env = std::vector<std::pair<std::string, std::string>>;

inline std::string setting(const char *name, const char *fallback) {
  const char *value = std::getenv(name);
  return value && *value ? value : fallback;
}

inline const std::string fake_dir =
    setting("ORASAY_E2E_FAKE_DIR", ORASAY_E2E_FAKE_DIR);
inline const std::string partial_dir =
    setting("ORASAY_E2E_PARTIAL_DIR", ORASAY_E2E_PARTIAL_DIR);
inline const std::string status_dir =
    setting("ORASAY_E2E_STATUS_DIR", ORASAY_E2E_STATUS_DIR);
inline const std::string program =
    setting("ORASAY_E2E_PROGRAM", ORASAY_E2E_PROGRAM);
inline const std::string emulator = setting("ORASAY_E2E_EMULATOR", "");
inline const bool windows = !emulator.empty();

// The user that runs the program when a test must not be root.
constexpr uid_t kNobody = 65534;

// A file name as the program sees it: under wine a Unix path is reached
// through drive Z:.
inline std::string native_path(const std::string &path) {
  return windows ? "Z:" + path : path;
}

// Output with line ends as a Unix program writes them.
inline std::string unix_lines(const std::string &s) {
  std::string out;
  for (size_t i = 0; i < s.size(); ++i)
    if (!(s[i] == '\r' && i + 1 < s.size() && s[i + 1] == '\n')) out += s[i];
  return out;
}

// A text as the test engine logs it: quoted, printable ASCII as it is, '\'
// doubled, every other byte as \xNN.
inline std::string logged(const std::string &text) {
  std::string out = "\"";
  for (unsigned char c : text) {
    if (c == '\\') {
      out += "\\\\";
    } else if (c >= 32 && c < 127 && c != '"') {
      out += static_cast<char>(c);
    } else {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02x", c);
      out += hex;
    }
  }
  return out + "\"";
}

struct Outcome {
  RunResult result;     // standard output and error with LF line ends
  Lines log;            // the engine calls, one a line
  std::string raw_out;  // standard output as written
};

struct Options {
  std::string dir = fake_dir;
  Env env = {};
  bool terminal = false;
  std::string cwd = "";  // working directory, "" = the test's own
  double limit = 30;
  uid_t uid = 0;  // kNobody: run without root's rights
};

// Runs orasay from `options.dir` with `args`; returns its results and the
// engine calls it made.
inline Outcome orasay(const std::vector<std::string> &args,
                      Options options = {}) {
  const std::string log = temp_path("orasay-log");
  if (options.uid != 0) chmod(log.c_str(), 0666);
  orasay_test::RunSpec spec;
  if (windows) spec.command.push_back(emulator);
  spec.command.push_back(options.dir + "/" + program);
  spec.command.insert(spec.command.end(), args.begin(), args.end());
  spec.env = options.env;
  spec.env.emplace_back("ORASAY_FAKE_LOG", native_path(log));
  spec.terminal = options.terminal;
  spec.limit = options.limit;
  spec.uid = options.uid;
  spec.dir = options.cwd;
  Outcome run{orasay_test::run_program(spec), {}, {}};
  run.raw_out = run.result.out;
  run.result.out = unix_lines(run.result.out);
  run.result.err = unix_lines(run.result.err);
  std::string line;
  for (char c : unix_lines(read_file(log))) {
    if (c == '\n') {
      run.log.push_back(line);
      line.clear();
    } else {
      line += c;
    }
  }
  std::remove(log.c_str());
  return run;
}

constexpr char kOpen[] = "tts_Open -1 0x0";
constexpr char kRegister[] = "tts_CallBack 7 1000 fn 0";

}  // namespace orasay_e2e

#endif  // ORASAY_TESTS_E2E_HARNESS_H
