// orasay with our engine against a real sound server: what is played has the
// length of the rendered file, and orasay ends only after it has been played.
// The server is the one scripts/sound-server starts (a null sink "null");
// without a reachable server the tests that need one are skipped.
#include <gtest/gtest.h>
#include <sndfile.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <atomic>
#include <cstring>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "run_program.h"

namespace {

using clock_type = std::chrono::steady_clock;
using orasay_test::run_program;
using orasay_test::RunSpec;
using orasay_test::temp_path;

const std::string program = ORASAY_PROGRAM;
constexpr int kCaptureRate = 8000;
constexpr int kThreshold = 300;  // of 32768: what counts as sound

bool server_reachable() { return std::system("pactl info >/dev/null 2>&1") == 0; }

// First and last sample index above the threshold; {-1, -1} for silence.
std::pair<long, long> sounding_span(const std::vector<int16_t> &samples) {
  long first = -1, last = -1;
  for (size_t i = 0; i < samples.size(); ++i) {
    if (std::abs(samples[i]) > kThreshold) {
      if (first < 0) first = static_cast<long>(i);
      last = static_cast<long>(i);
    }
  }
  return {first, last};
}

// Records the null sink's monitor, keeping when each chunk arrived.
class Capture {
 public:
  Capture() {
    int fds[2];
    if (pipe(fds) != 0) return;
    pid_ = fork();
    if (pid_ == 0) {
      dup2(fds[1], STDOUT_FILENO);
      close(fds[0]);
      execlp("parec", "parec", "-d", "null.monitor", "--format=s16le", "--rate=8000",
             "--channels=1", "--latency-msec=10", "--raw", nullptr);
      _exit(127);
    }
    close(fds[1]);
    fd_ = fds[0];
    reader_ = std::thread([this] {
      char buf[4096];
      ssize_t n;
      while ((n = read(fd_, buf, sizeof buf)) > 0) {
        std::lock_guard<std::mutex> lock(mutex_);
        bytes_.append(buf, static_cast<size_t>(n));
        arrivals_.emplace_back(bytes_.size(), clock_type::now());
      }
    });
  }
  ~Capture() { stop(); }

  void stop() {
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      waitpid(pid_, nullptr, 0);
      pid_ = -1;
    }
    if (reader_.joinable()) reader_.join();
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
  }

  std::vector<int16_t> samples() {
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<int16_t> s(bytes_.size() / 2);
    std::memcpy(s.data(), bytes_.data(), s.size() * 2);
    return s;
  }

  // When the byte at `offset` of the capture arrived.
  clock_type::time_point arrival(size_t offset) {
    std::lock_guard<std::mutex> lock(mutex_);
    for (const auto &[end, when] : arrivals_)
      if (end > offset) return when;
    return clock_type::now();
  }

 private:
  pid_t pid_ = -1;
  int fd_ = -1;
  std::thread reader_;
  std::mutex mutex_;
  std::string bytes_;
  std::vector<std::pair<size_t, clock_type::time_point>> arrivals_;
};

std::vector<int16_t> read_samples(const std::string &path, int *rate) {
  SF_INFO info{};
  SNDFILE *f = sf_open(path.c_str(), SFM_READ, &info);
  if (!f) return {};
  std::vector<int16_t> s(static_cast<size_t>(info.frames));
  sf_read_short(f, s.data(), info.frames);
  sf_close(f);
  *rate = info.samplerate;
  return s;
}

TEST(playback_test, plays_the_whole_text_before_ending) {
  if (!server_reachable()) GTEST_SKIP() << "no sound server (start scripts/sound-server)";
  const std::string text = "The quick brown fox jumps over the lazy dog. {{pause 50}}Twice.";

  const std::string wav = temp_path("orasay-play") + ".wav";
  RunSpec render;
  render.command = {program, "-f", wav, text};
  ASSERT_EQ(run_program(render).status, 0);
  int rate = 0;
  const auto rendered = sounding_span(read_samples(wav, &rate));
  std::remove(wav.c_str());
  ASSERT_GT(rendered.second, rendered.first);
  const double rendered_seconds = double(rendered.second - rendered.first) / rate;

  Capture capture;
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  RunSpec speak;
  speak.command = {program, text};
  const auto result = run_program(speak);
  const auto ended = clock_type::now();
  std::this_thread::sleep_for(std::chrono::milliseconds(700));
  capture.stop();
  ASSERT_EQ(result.status, 0) << result.err;

  const auto played = sounding_span(capture.samples());
  ASSERT_GE(played.first, 0) << "nothing was played";
  const double played_seconds = double(played.second - played.first) / kCaptureRate;
  EXPECT_NEAR(played_seconds, rendered_seconds, 0.1);
  // The last sound reached the monitor before orasay ended (monitor latency
  // allowed for).
  const auto last_sound = capture.arrival(static_cast<size_t>(played.second) * 2);
  EXPECT_LT(last_sound, ended + std::chrono::milliseconds(200));
}

TEST(playback_test, without_a_server_fails_at_once) {
  RunSpec speak;
  speak.command = {program, "Nobody will hear this."};
  speak.env = {{"PULSE_SERVER", "unix:/nonexistent/orasay-socket"}};
  const auto result = run_program(speak);
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.err.rfind("error: tts_Speak failed: ", 0), 0u) << result.err;
  EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1);
  EXPECT_LT(result.seconds, 2.0);
}

// A Unix socket that accepts connections and never answers them.
class silent_server {
 public:
  silent_server() : path_(temp_path("orasay-silent")) {
    std::remove(path_.c_str());
    fd_ = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::strncpy(addr.sun_path, path_.c_str(), sizeof addr.sun_path - 1);
    if (bind(fd_, reinterpret_cast<sockaddr *>(&addr), sizeof addr) != 0 || listen(fd_, 16) != 0)
      ADD_FAILURE() << "cannot listen on " << path_;
  }
  ~silent_server() {
    close(fd_);
    std::remove(path_.c_str());
  }
  const std::string &path() const { return path_; }

 private:
  std::string path_;
  int fd_ = -1;
};

// Rendering files and phonemes never reaches for the sound server: not when
// there is none, not when one accepts and never answers, not without a home.
TEST(playback_test, files_and_phonemes_never_touch_the_sound_server) {
  silent_server silent;
  const std::vector<std::pair<std::string, std::string>> environments[] = {
      {{"PULSE_SERVER", "unix:/nonexistent/orasay-socket"}},
      {{"PULSE_SERVER", "unix:" + silent.path()}},
      {{"PULSE_SERVER", "unix:" + silent.path()}, {"HOME", "/nonexistent"},
       {"XDG_RUNTIME_DIR", "/nonexistent"}},
  };
  for (const auto &env : environments) {
    SCOPED_TRACE(env[0].second + (env.size() > 1 ? " without a home" : ""));
    const std::string wav = temp_path("orasay-file") + ".wav";
    RunSpec render;
    render.command = {program, "-v", "-f", wav, "Nobody will hear this."};
    render.env = env;
    render.limit = 10;
    const auto result = run_program(render);
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.err, "");
    EXPECT_LT(result.seconds, 2.0);
    int rate = 0;
    EXPECT_GT(read_samples(wav, &rate).size(), 8000u);
    std::remove(wav.c_str());
  }
}

// Runs of abbreviation-like tokens without blanks and long phoneme-input
// words once overran eSpeak NG's word buffers; many voice changes leaked
// (the sanitizer build's leak check ends the program with an error).
TEST(playback_test, renders_texts_that_once_broke_the_synthesiser) {
  auto repeat = [](const std::string &piece, int n) {
    std::string s;
    while (n-- > 0) s += piece;
    return s;
  };
  const std::string texts[] = {
      "x" + repeat("a.", 200),      "x" + repeat("'s", 100),
      repeat("U.S.A.", 80),         repeat("U.S.", 100),
      repeat("e.g.", 100),          "x" + repeat(".1", 300),
      "{{phoneme on}}" + repeat("a", 1000),
      repeat("{{voice alex}}one {{voice wanda}}two ", 100),
  };
  for (const std::string &text : texts) {
    SCOPED_TRACE(text.substr(0, 20));
    const std::string wav = temp_path("orasay-crash") + ".wav";
    RunSpec render;
    render.command = {program, "-v", "-f", wav, text};
    const auto result = run_program(render);
    EXPECT_EQ(result.status, 0) << result.err;
    int rate = 0;
    EXPECT_GT(read_samples(wav, &rate).size(), 8000u);
    std::remove(wav.c_str());
  }
}

// The engine reads the data beside its own file, wherever the tree lies and
// whatever the working directory, and refuses data that is not whole.
TEST(playback_test, uses_its_own_data_and_refuses_damaged_data) {
  namespace fs = std::filesystem;
  const fs::path bin = fs::path(program).parent_path();
  struct damage {
    const char *name;
    void (*apply)(const fs::path &data);
  };
  const damage cases[] = {
      {"none", [](const fs::path &) {}},
      {"data missing", [](const fs::path &d) { fs::remove_all(d); }},
      {"phondata truncated", [](const fs::path &d) { fs::resize_file(d / "phondata", 100000); }},
      {"en_dict truncated", [](const fs::path &d) { fs::resize_file(d / "en_dict", 50000); }},
      {"intonations empty", [](const fs::path &d) { fs::resize_file(d / "intonations", 0); }},
      {"a byte of phondata changed",
       [](const fs::path &d) {
         std::fstream f(d / "phondata", std::ios::in | std::ios::out | std::ios::binary);
         f.seekp(5000);
         f.put('\x55');
       }},
      {"variants missing", [](const fs::path &d) { fs::remove_all(d / "voices"); }},
      {"manifest missing", [](const fs::path &d) { fs::remove(d / "orasay-manifest"); }},
  };
  for (const damage &c : cases) {
    SCOPED_TRACE(c.name);
    const fs::path dir = temp_path("orasay-tree");
    fs::remove(dir);
    fs::create_directory(dir);
    for (const char *f : {"orasay", "TV_ENG32.DLL"}) fs::copy_file(bin / f, dir / f);
    fs::copy(bin / "espeak-ng-data", dir / "espeak-ng-data", fs::copy_options::recursive);
    c.apply(dir / "espeak-ng-data");
    RunSpec render;
    render.command = {(dir / "orasay").string(), "-f", (dir / "out.wav").string(), "Hello."};
    render.dir = "/";
    const auto result = run_program(render);
    if (std::string(c.name) == "none") {
      EXPECT_EQ(result.status, 0) << result.err;
    } else {
      EXPECT_EQ(result.status, 1);
      EXPECT_EQ(result.err, "error: tts_Open failed: speech synthesis failed (engine code 6)\n");
    }
    fs::remove_all(dir);
  }
}

// Pitches beyond a voice's reach once took voice files in /tmp, left behind
// when the program was killed; no file is written now.
TEST(playback_test, pitches_beyond_a_voice_write_no_files) {
  namespace fs = std::filesystem;
  const fs::path home = temp_path("orasay-home");
  fs::remove(home);
  fs::create_directories(home / "tmp");
  auto voice_dirs = [] {
    int n = 0;
    for (const auto &e : fs::directory_iterator("/tmp"))
      n += e.path().filename().string().rfind("orasay-voices", 0) == 0;
    return n;
  };
  const int before = voice_dirs();
  const std::string wav = (home / "out.wav").string();
  RunSpec render;
  render.command = {program, "-f", wav, "{{pitch 400}}High {{voice julia}}{{pitch 60}}low."};
  render.env = {{"HOME", home.string()}, {"TMPDIR", (home / "tmp").string()},
                {"XDG_CACHE_HOME", (home / "cache").string()}};
  const auto result = run_program(render);
  EXPECT_EQ(result.status, 0) << result.err;
  fs::remove(wav);
  EXPECT_TRUE(fs::is_empty(home / "tmp"));
  EXPECT_FALSE(fs::exists(home / "cache"));
  EXPECT_EQ(std::distance(fs::directory_iterator(home), fs::directory_iterator()), 1);
  EXPECT_EQ(voice_dirs(), before);
  fs::remove_all(home);
}

}  // namespace
