// Tests of tts_Speak and tts_CallBack against the real sound server, and
// without one.  See LICENSE.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

#include "engine_helper.h"
#include "tv_eng32.h"

namespace {

using namespace engine_test;
using clock_type = std::chrono::steady_clock;

std::atomic<int> calls{0};
std::atomic<clock_type::rep> called_at{0};

void on_done() {
  called_at = clock_type::now().time_since_epoch().count();
  ++calls;
}

double since(clock_type::time_point start) {
  return std::chrono::duration<double>(
             clock_type::time_point(clock_type::duration(called_at.load())) -
             start)
      .count();
}

// Waits up to `limit` seconds for the callback; true when it came.
bool wait_for_callback(double limit) {
  const auto end = clock_type::now() + std::chrono::duration<double>(limit);
  while (calls.load() == 0 && clock_type::now() < end)
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  return calls.load() > 0;
}

class engine_playback : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!sound_server_reachable())
      GTEST_SKIP() << "no sound server reachable (pactl info fails); "
                      "run the tests under scripts/sound-server";
    calls = 0;
  }
};

TEST_F(engine_playback, calls_back_once_after_the_last_sample_is_played) {
  struct row {
    int32_t word;
    std::string text;
  };
  const row rows[] = {
      {0x00000, "Hello, this is a playback test."},
      {0x30001, "Hello," + cmd('s', 50) + "A-law at eight kilohertz."},
  };
  for (const row &r : rows) {
    SCOPED_TRACE(r.word);
    const double duration =
        seconds(render(r.text, r.word & 0xFFFF), rate_of(r.word));
    calls = 0;
    int32_t h = 0;
    ASSERT_EQ(tts_Open(-1, r.word, &h), TTS_OK);
    ASSERT_EQ(tts_CallBack(h, 1000, on_done, 0), TTS_OK);
    const auto start = clock_type::now();
    ASSERT_EQ(tts_Speak(h, r.text.c_str()), TTS_OK);
    const double returned =
        std::chrono::duration<double>(clock_type::now() - start).count();
    EXPECT_LT(returned, 0.2);  // returns while speaking
    int32_t status = -1;
    EXPECT_EQ(tts_Status(h, &status), TTS_OK);
    EXPECT_EQ(status, TTS_ERR_BUSY);
    ASSERT_TRUE(wait_for_callback(duration + 5));
    EXPECT_EQ(tts_Status(h, &status), TTS_OK);
    EXPECT_EQ(status, TTS_OK);  // played to its end
    const double ended = since(start);
    EXPECT_GE(ended,
              duration - 0.05);        // not before the audio could have played
    EXPECT_LE(ended, duration + 3.5);  // the null sink adds up to 2 s
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(calls.load(), 1);
    EXPECT_EQ(tts_Close(h), TTS_OK);
    EXPECT_EQ(calls.load(), 1);
  }
}

TEST_F(engine_playback, second_speak_is_busy_and_close_stops_speech) {
  int32_t h = 0;
  ASSERT_EQ(tts_Open(-1, 0, &h), TTS_OK);
  ASSERT_EQ(tts_CallBack(h, 1000, on_done, 0), TTS_OK);
  std::string long_text;
  for (int i = 0; i < 40; ++i)
    long_text += "This sentence keeps the engine busy. ";
  ASSERT_EQ(tts_Speak(h, long_text.c_str()), TTS_OK);
  EXPECT_EQ(tts_Speak(h, "again"), TTS_ERR_BUSY);
  int32_t status = 0;
  char buf[32];
  EXPECT_EQ(tts_Phoneme(h, "x", buf, sizeof buf, &status), TTS_ERR_BUSY);
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  const auto start = clock_type::now();
  EXPECT_EQ(tts_Close(h), TTS_OK);
  // Within the header's bound, although the null sink of the test server
  // holds the first block for up to 2 s.
  EXPECT_LT(std::chrono::duration<double>(clock_type::now() - start).count(),
            0.2);
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  EXPECT_EQ(calls.load(), 0);  // cancelled speech does not call back
}

TEST_F(engine_playback, speaks_again_after_the_callback) {
  int32_t h = 0;
  ASSERT_EQ(tts_Open(-1, 1, &h), TTS_OK);
  ASSERT_EQ(tts_CallBack(h, 1000, on_done, 0), TTS_OK);
  // Texts without sound end with the callback too.
  const std::string texts[] = {"one", "", "   ", cmd('s', 20), "\x1b[12Q"};
  for (const std::string &text : texts) {
    SCOPED_TRACE(text);
    calls = 0;
    ASSERT_EQ(tts_Speak(h, text.c_str()), TTS_OK);
    ASSERT_TRUE(wait_for_callback(6));
  }
  EXPECT_EQ(tts_Close(h), TTS_OK);
}

TEST_F(engine_playback, survives_quick_speak_and_close_cycles) {
  const int delays_ms[] = {0, 20, 100, 400, 1200, 2500};
  for (int delay : delays_ms) {
    SCOPED_TRACE(delay);
    int32_t h = 0;
    ASSERT_EQ(tts_Open(-1, delay % 40 == 0 ? 0 : 0x30001, &h), TTS_OK);
    ASSERT_EQ(tts_CallBack(h, 1000, on_done, 0), TTS_OK);
    ASSERT_EQ(tts_Speak(h, "A sentence that is cut short again and again."),
              TTS_OK);
    std::this_thread::sleep_for(std::chrono::milliseconds(delay));
    const auto start = clock_type::now();
    ASSERT_EQ(tts_Close(h), TTS_OK);
    EXPECT_LT(std::chrono::duration<double>(clock_type::now() - start).count(),
              0.2);
  }
  EXPECT_EQ(calls.load(), 0);
}

// One handle speaks while another saves a file: the file waits for the
// synthesiser, then is complete; closing the speaker lets it go on.
TEST_F(engine_playback, another_handle_saves_while_one_speaks) {
  int32_t speaker = 0, saver = 0;
  ASSERT_EQ(tts_Open(-1, 0, &speaker), TTS_OK);
  ASSERT_EQ(tts_Open(-1, 1, &saver), TTS_OK);
  std::string long_text;
  for (int i = 0; i < 20; ++i) long_text += "This sentence keeps it busy. ";
  ASSERT_EQ(tts_Speak(speaker, long_text.c_str()), TTS_OK);
  temp_file f;
  int saved = -1;
  std::thread t([&] { saved = tts_SaveFile(saver, f.fd, "Hello there.", 1); });
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_EQ(tts_Close(speaker), TTS_OK);
  t.join();
  EXPECT_EQ(saved, TTS_OK);
  EXPECT_GT(read_bytes(f.path).size(), 8000u);  // over half a second at 8 kHz
  EXPECT_EQ(tts_Close(saver), TTS_OK);
}

// Records the null sink's monitor with parec into a file while it lives.
class capture {
 public:
  explicit capture(const std::string &path) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, path.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const char *argv[] = {
        "parec",       "-d",           "null.monitor",      "--format=s16le",
        "--rate=8000", "--channels=1", "--latency-msec=10", "--raw",
        nullptr};
    if (posix_spawnp(&pid_, "parec", &actions, nullptr,
                     const_cast<char *const *>(argv), environ) != 0)
      pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
  }
  ~capture() { stop(); }
  bool running() const { return pid_ > 0; }
  void stop() {
    if (pid_ <= 0) return;
    kill(pid_, SIGTERM);
    waitpid(pid_, nullptr, 0);
    pid_ = -1;
  }

 private:
  pid_t pid_ = -1;
};

TEST_F(engine_playback, plays_as_long_as_the_rendered_file) {
  if (std::system("command -v parec >/dev/null 2>&1") != 0)
    GTEST_SKIP() << "parec is missing (Debian package pulseaudio-utils)";
  const std::string text = "The quick brown fox jumps over the lazy dog." +
                           cmd('s', 50) + "And nobody minds.";
  const double rendered = speech_seconds(render(text, 1), 8000);
  temp_file recorded;
  capture cap(recorded.path);
  ASSERT_TRUE(cap.running());
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  int32_t h = 0;
  ASSERT_EQ(tts_Open(-1, 1, &h), TTS_OK);
  ASSERT_EQ(tts_CallBack(h, 1000, on_done, 0), TTS_OK);
  ASSERT_EQ(tts_Speak(h, text.c_str()), TTS_OK);
  ASSERT_TRUE(wait_for_callback(rendered + 5));
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  cap.stop();
  EXPECT_EQ(tts_Close(h), TTS_OK);
  const auto bytes = read_bytes(recorded.path);
  std::vector<short> s(bytes.size() / 2);
  for (std::size_t i = 0; i < s.size(); ++i)
    s[i] = static_cast<short>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
  const double played = speech_seconds(s, 8000);
  RecordProperty("rendered ms", int(rendered * 1000));
  RecordProperty("played ms", int(played * 1000));
  EXPECT_NEAR(played, rendered, 0.1);
}

// Without a sound server tts_Speak fails at once and never calls back.
TEST(engine_no_server, speak_fails_at_once_without_calling_back) {
  EXPECT_EXIT(
      {
        setenv("PULSE_SERVER", "unix:/nonexistent/socket", 1);
        int32_t h = 0;
        if (tts_Open(-1, 0, &h) != TTS_OK) std::_Exit(10);
        tts_CallBack(h, 1000, on_done, 0);
        const auto start = clock_type::now();
        const int rc = tts_Speak(h, "Hello");
        const double spent =
            std::chrono::duration<double>(clock_type::now() - start).count();
        if (rc != TTS_ERR_AUDIO) std::_Exit(11);
        if (spent > 0.5) std::_Exit(12);
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        if (calls.load() != 0) std::_Exit(13);
        if (tts_Close(h) != TTS_OK) std::_Exit(14);
        std::_Exit(0);
      },
      ::testing::ExitedWithCode(0), "");
}

}  // namespace
