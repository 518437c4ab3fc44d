// A recording test engine, built as a TV_ENG32.DLL of its own: it logs every
// call with its arguments and does what the environment tells it.
//   ORASAY_FAKE_LOG       file the calls are appended to, one line each
//   ORASAY_FAKE_FAIL      "entry:code": that entry point returns code
//   ORASAY_FAKE_DELAY_MS  delay of the end-of-speech callback (default 200)
//   ORASAY_FAKE_CALLBACK  "thread" (default), "inline" (inside tts_Speak) or
//                         "never"
//   ORASAY_FAKE_UNTERMINATED  if set, tts_Phoneme fills its whole buffer and
//                         leaves out the terminator
//   ORASAY_FAKE_STATUS    the status tts_Status gives (default 0)
// Texts are logged byte-exact: printable ASCII as it is, '\' as "\\", every
// other byte as "\xNN".  tts_SaveFile returns TTS_ERR_WRITE when writing
// the file fails, and writes it before it fails as told.  Built with
// ORASAY_FAKE_PARTIAL, it lacks tts_Phoneme; with ORASAY_FAKE_STATUS, it has
// the optional seventh entry point tts_Status.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "tv_eng32.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <unistd.h>

#include <chrono>
#include <thread>
#endif

namespace {

std::string env(const char *name, const char *fallback = "") {
  const char *value = std::getenv(name);
  return value ? value : fallback;
}

std::string quoted(const char *text) {
  if (!text) return "(null)";
  std::string out = "\"";
  for (const unsigned char *p = reinterpret_cast<const unsigned char *>(text);
       *p; ++p) {
    if (*p == '\\') {
      out += "\\\\";
    } else if (*p >= 32 && *p < 127 && *p != '"') {
      out += static_cast<char>(*p);
    } else {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02x", *p);
      out += hex;
    }
  }
  return out + "\"";
}

void log_line(const std::string &line) {
  const std::string path = env("ORASAY_FAKE_LOG");
  if (path.empty()) return;
  if (FILE *f = std::fopen(path.c_str(), "ab")) {
    std::fprintf(f, "%s\n", line.c_str());
    std::fclose(f);
  }
}

// The code that `entry` is told to fail with, or 0.
int injected_failure(const char *entry) {
  const std::string fail = env("ORASAY_FAKE_FAIL");
  const size_t colon = fail.find(':');
  if (fail.compare(0, colon, entry) != 0) return 0;
  return colon == std::string::npos ? TTS_ERR_INTERNAL
                                    : std::atoi(fail.c_str() + colon + 1);
}

constexpr int32_t kHandle = 7;
tts_done_callback done_callback = nullptr;

void call_back_after_delay() {
  const int delay = std::atoi(env("ORASAY_FAKE_DELAY_MS", "200").c_str());
#if defined(_WIN32)
  Sleep(static_cast<DWORD>(delay));
#else
  std::this_thread::sleep_for(std::chrono::milliseconds(delay));
#endif
  log_line("callback");
  if (done_callback) done_callback();
}

#if defined(_WIN32)
HANDLE speaker = nullptr;
DWORD WINAPI speaker_main(void *) {
  call_back_after_delay();
  return 0;
}
void start_speaker() {
  speaker = CreateThread(nullptr, 0, speaker_main, nullptr, 0, nullptr);
}
void join_speaker() {
  if (!speaker) return;
  WaitForSingleObject(speaker, INFINITE);
  CloseHandle(speaker);
  speaker = nullptr;
}
bool write_file(int32_t file, const std::string &data) {
  DWORD written = 0;
  return WriteFile(reinterpret_cast<HANDLE>(static_cast<intptr_t>(file)),
                   data.data(), static_cast<DWORD>(data.size()), &written,
                   nullptr) &&
         written == data.size();
}
#else
std::thread speaker;
void start_speaker() { speaker = std::thread(call_back_after_delay); }
void join_speaker() {
  if (speaker.joinable()) speaker.join();
}
bool write_file(int32_t file, const std::string &data) {
  return write(file, data.data(), data.size()) ==
         static_cast<ssize_t>(data.size());
}
#endif

}  // namespace

extern "C" {

ORASAY_TTS_API int ORASAY_TTS_CALL tts_Open(int32_t device, int32_t format_word,
                                            int32_t *handle) {
  char line[96];
  std::snprintf(line, sizeof line, "tts_Open %d 0x%x", device,
                static_cast<unsigned>(format_word));
  log_line(line);
  if (int code = injected_failure("tts_Open")) return code;
  *handle = kHandle;
  return TTS_OK;
}

ORASAY_TTS_API int ORASAY_TTS_CALL tts_Close(int32_t handle) {
  join_speaker();
  log_line("tts_Close " + std::to_string(handle));
  return injected_failure("tts_Close");
}

ORASAY_TTS_API int ORASAY_TTS_CALL tts_Speak(int32_t handle, const char *text) {
  log_line("tts_Speak " + std::to_string(handle) + " " + quoted(text));
  if (int code = injected_failure("tts_Speak")) return code;
  const std::string mode = env("ORASAY_FAKE_CALLBACK", "thread");
  if (mode == "inline") {
    log_line("callback");
    if (done_callback) done_callback();
  } else if (mode == "thread") {
    start_speaker();
  }
  return TTS_OK;
}

#if !defined(ORASAY_FAKE_PARTIAL)
ORASAY_TTS_API int ORASAY_TTS_CALL tts_Phoneme(int32_t handle, const char *text,
                                               char *phonemes, int32_t capacity,
                                               int32_t *status) {
  log_line("tts_Phoneme " + std::to_string(handle) + " " + quoted(text) + " " +
           std::to_string(capacity) + " " + std::to_string(*status));
  // Fill the whole buffer the program says it has, terminator included;
  // a faulty engine leaves the terminator out.
  for (int32_t i = 0; i + 1 < capacity; ++i) phonemes[i] = "ph"[i % 2];
  phonemes[capacity - 1] = env("ORASAY_FAKE_UNTERMINATED").empty() ? '\0' : 'X';
  *status = 1;
  return injected_failure("tts_Phoneme");
}
#endif

ORASAY_TTS_API int ORASAY_TTS_CALL tts_CallBack(int32_t handle, int32_t event,
                                                tts_done_callback callback,
                                                int32_t user) {
  log_line("tts_CallBack " + std::to_string(handle) + " " +
           std::to_string(event) + " " + (callback ? "fn" : "null") + " " +
           std::to_string(user));
  if (int code = injected_failure("tts_CallBack")) return code;
  done_callback = callback;
  return TTS_OK;
}

ORASAY_TTS_API int ORASAY_TTS_CALL tts_SaveFile(int32_t handle, int32_t file,
                                                const char *text,
                                                int32_t format) {
  log_line("tts_SaveFile " + std::to_string(handle) + " " + quoted(text) + " " +
           std::to_string(format));
  // A failure comes after the content, as a disk that fills up leaves it.
  if (!write_file(file, "FAKE AUDIO " + std::to_string(format) + " " +
                            quoted(text) + "\n")) {
    log_line("write failed");
    return TTS_ERR_WRITE;
  }
  return injected_failure("tts_SaveFile");
}

#if defined(ORASAY_FAKE_STATUS)
ORASAY_TTS_API int ORASAY_TTS_CALL tts_Status(int32_t handle, int32_t *status) {
  log_line("tts_Status " + std::to_string(handle));
  if (int code = injected_failure("tts_Status")) return code;
  *status = std::atoi(env("ORASAY_FAKE_STATUS", "0").c_str());
  return TTS_OK;
}
#endif

}  // extern "C"
