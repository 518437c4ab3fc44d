// TV_ENG32.DLL: the six entry points, engine handles and the speaking
// thread.  See LICENSE.
#include "tv_eng32.h"

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "fileout.h"
#include "platform.h"
#include "playback.h"
#include "resample.h"
#include "synth.h"

namespace orasay::engine {
namespace {

struct engine_handle {
  int rate = 11025;
  bool alaw = false;
  std::atomic<tts_done_callback> callback{nullptr};
  std::mutex mutex;  // guards worker
  std::thread worker;
  std::atomic<bool> speaking{false};
  std::atomic<bool> cancel{false};
  std::atomic<int> status{TTS_OK};  // how the last speech ended
};

std::mutex table_mutex;
std::map<int32_t, std::shared_ptr<engine_handle>> table;  // guarded
int32_t next_handle = 1;                                  // guarded

std::shared_ptr<engine_handle> find_handle(int32_t handle) {
  std::lock_guard<std::mutex> lock(table_mutex);
  const auto it = table.find(handle);
  return it == table.end() ? nullptr : it->second;
}

// Renders the text at the output rate into the sink, converting on the
// calling thread or, with `Converter` resampler_thread, on a second one.
template <typename Converter = resampler>
render_result render_at(std::string_view text, int rate,
                        const sample_sink &sink) {
  auto rs = Converter::create(rate, sink);
  if (!rs) return render_result::failed;
  const audio_target target{
      [&](const short *s, std::size_t n) { return rs->push(s, n); },
      [&](int ms) { return rs->silence(ms); },
      [&](double f) { return rs->set_speed(f); }};
  render_result r = render(text, target);
  if (r == render_result::done && !rs->finish()) r = render_result::stopped;
  return r;
}

// The speaking thread: synthesises, plays, drains, keeps how the speech
// ended, calls back unless the handle was closed meanwhile, then frees the
// stream: however long freeing a stalled device takes, the speech's end is
// reported first.
void speak_worker(std::shared_ptr<engine_handle> h, std::unique_ptr<player> out,
                  std::string text) {
  int status = TTS_OK;
  try {
    std::unique_ptr<alaw_encoder> encoder;
    if (h->alaw) encoder = alaw_encoder::create(h->rate);
    bool played = true;
    const sample_sink sink = [&](const short *s, std::size_t n) {
      if (h->cancel.load()) return false;
      if (encoder) {
        const auto &bytes = encoder->encode(s, n);
        played = out->write(bytes.data(), bytes.size());
      } else {
        played = out->write(s, n * sizeof(short));
      }
      return played;
    };
    render_result r = render_result::failed;
    if (!h->alaw || encoder) r = render_at(text, h->rate, sink);
    if (h->cancel.load()) {
      out->flush();
      out.reset();
      h->speaking = false;
      return;
    }
    if (r == render_result::failed)
      status = TTS_ERR_SYNTH;
    else if (!played || !out->drain())
      status = TTS_ERR_AUDIO;
  } catch (const std::bad_alloc &) {
    status = TTS_ERR_INTERNAL;
  } catch (...) {
    status = TTS_ERR_INTERNAL;
  }
  h->status = status;
  h->speaking = false;
  if (!h->cancel.load())
    if (const tts_done_callback cb = h->callback.load()) cb();
}

int open_handle(int32_t format_word, int32_t *handle) {
  if (handle == nullptr) return TTS_ERR_ARGUMENT;
  const int32_t rate_code = format_word & 0xFFFF;
  const int32_t codec = format_word & ~0xFFFF;
  if ((rate_code != 0 && rate_code != 1) || (codec != 0 && codec != 0x30000))
    return TTS_ERR_ARGUMENT;
  if (!initialise()) return TTS_ERR_SYNTH;
  auto h = std::make_shared<engine_handle>();
  h->rate = rate_code == 0 ? 11025 : 8000;
  h->alaw = codec == 0x30000;
  std::lock_guard<std::mutex> lock(table_mutex);
  auto advance = [] {
    next_handle = next_handle == INT32_MAX ? 1 : next_handle + 1;
  };
  while (table.count(next_handle) != 0) advance();
  table.emplace(next_handle, std::move(h));
  *handle = next_handle;
  advance();
  return TTS_OK;
}

int close_handle(int32_t handle) {
  std::shared_ptr<engine_handle> h;
  {
    std::lock_guard<std::mutex> lock(table_mutex);
    const auto it = table.find(handle);
    if (it == table.end()) return TTS_ERR_HANDLE;
    h = std::move(it->second);
    table.erase(it);
  }
  h->cancel = true;
  std::lock_guard<std::mutex> lock(h->mutex);
  if (h->worker.joinable()) {
    if (h->worker.get_id() == std::this_thread::get_id())
      h->worker.detach();  // closed from its own callback
    else
      h->worker.join();
  }
  return TTS_OK;
}

int speak(int32_t handle, const char *text) {
  const auto h = find_handle(handle);
  if (!h) return TTS_ERR_HANDLE;
  if (text == nullptr) return TTS_ERR_ARGUMENT;
  std::lock_guard<std::mutex> lock(h->mutex);
  if (h->speaking.load()) return TTS_ERR_BUSY;
  if (h->worker.joinable()) {
    if (h->worker.get_id() == std::this_thread::get_id())
      h->worker.detach();  // called from its own callback
    else
      h->worker.join();
  }
  auto out = player::connect(h->rate, h->alaw);
  if (!out) return TTS_ERR_AUDIO;
  out->stop_when(&h->cancel);
  h->cancel = false;
  h->speaking = true;
  h->status = TTS_ERR_BUSY;
  try {
    h->worker = std::thread(speak_worker, h, std::move(out), std::string(text));
  } catch (...) {
    h->speaking = false;
    h->status = TTS_OK;
    return TTS_ERR_INTERNAL;
  }
  return TTS_OK;
}

int speech_status(int32_t handle, int32_t *status) {
  const auto h = find_handle(handle);
  if (!h) return TTS_ERR_HANDLE;
  if (status == nullptr) return TTS_ERR_ARGUMENT;
  *status = h->status.load();
  return TTS_OK;
}

int save_file(int32_t handle, int32_t file, const char *text, int32_t format) {
  const auto h = find_handle(handle);
  if (!h) return TTS_ERR_HANDLE;
  if (text == nullptr || format < 0 || format > 2) return TTS_ERR_ARGUMENT;
  if (h->speaking.load()) return TTS_ERR_BUSY;
  const sigpipe_guard no_sigpipe;
  const output_file out(file);
  auto writer = file_writer::open(
      out.descriptor(), static_cast<file_format>(format), h->rate, h->alaw);
  if (!writer) return TTS_ERR_WRITE;
  const render_result r = render_at<resampler_thread>(
      text, h->rate,
      [&](const short *s, std::size_t n) { return writer->write(s, n); });
  const bool written = writer->close();
  if (r == render_result::failed) return TTS_ERR_SYNTH;
  if (writer->error() == write_error::too_long) return TTS_ERR_TOO_LONG;
  if (!written || r == render_result::stopped) return TTS_ERR_WRITE;
  return TTS_OK;
}

// Copies the transcription into the buffer, cut after the last whole word
// that fits; true when it was cut.
bool copy_cut(const std::string &t, char *buffer, std::size_t capacity) {
  std::size_t n = t.size();
  bool cut = false;
  if (n + 1 > capacity) {
    cut = true;
    // The first capacity - 1 bytes fit; keep the words that end within
    // them, that is, up to the last blank at or before byte capacity - 1.
    const std::size_t blank = t.rfind(' ', capacity - 1);
    n = blank == std::string::npos ? 0 : blank;
    while (n > 0 && t[n - 1] == ' ') --n;
  }
  t.copy(buffer, n);
  buffer[n] = '\0';
  return cut;
}

int phoneme(int32_t handle, const char *text, char *buffer, int32_t capacity,
            int32_t *status) {
  const auto h = find_handle(handle);
  if (!h) return TTS_ERR_HANDLE;
  if (text == nullptr || buffer == nullptr || status == nullptr || capacity < 1)
    return TTS_ERR_ARGUMENT;
  if (h->speaking.load()) return TTS_ERR_BUSY;
  std::string t;
  if (!transcribe(text, std::size_t(capacity), &t)) {
    buffer[0] = '\0';
    return TTS_ERR_SYNTH;
  }
  *status = copy_cut(t, buffer, std::size_t(capacity)) ? 1 : 0;
  return TTS_OK;
}

int set_callback(int32_t handle, tts_done_callback callback) {
  const auto h = find_handle(handle);
  if (!h) return TTS_ERR_HANDLE;
  h->callback = callback;
  return TTS_OK;
}

// Runs an entry point's body; no exception leaves the engine.
template <typename F>
int guarded(F &&body) {
  try {
    return body();
  } catch (const std::bad_alloc &) {
    return TTS_ERR_INTERNAL;
  } catch (...) {
    return TTS_ERR_INTERNAL;
  }
}

}  // namespace
}  // namespace orasay::engine

using namespace orasay::engine;

extern "C" {

ORASAY_TTS_API int ORASAY_TTS_CALL tts_Open(int32_t, int32_t format_word,
                                            int32_t *handle) {
  return guarded([&] { return open_handle(format_word, handle); });
}

ORASAY_TTS_API int ORASAY_TTS_CALL tts_Close(int32_t handle) {
  return guarded([&] { return close_handle(handle); });
}

ORASAY_TTS_API int ORASAY_TTS_CALL tts_Speak(int32_t handle, const char *text) {
  return guarded([&] { return speak(handle, text); });
}

ORASAY_TTS_API int ORASAY_TTS_CALL tts_Phoneme(int32_t handle, const char *text,
                                               char *phonemes, int32_t capacity,
                                               int32_t *status) {
  return guarded(
      [&] { return phoneme(handle, text, phonemes, capacity, status); });
}

ORASAY_TTS_API int ORASAY_TTS_CALL tts_CallBack(int32_t handle, int32_t,
                                                tts_done_callback callback,
                                                int32_t) {
  return guarded([&] { return set_callback(handle, callback); });
}

ORASAY_TTS_API int ORASAY_TTS_CALL tts_SaveFile(int32_t handle, int32_t file,
                                                const char *text,
                                                int32_t format) {
  return guarded([&] { return save_file(handle, file, text, format); });
}

ORASAY_TTS_API int ORASAY_TTS_CALL tts_Status(int32_t handle, int32_t *status) {
  return guarded([&] { return speech_status(handle, status); });
}

}  // extern "C"
