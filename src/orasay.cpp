// orasay: speaks a text with inline markup through TV_ENG32.DLL, or renders it
// into an audio file.  The program's entry and its engine binding.
// See LICENSE.
#include "orasay.h"

#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "argparse.h"
#include "parse.h"

namespace orasay {

tts_SaveFile_fn _tts_SaveFile = nullptr;
tts_CallBack_fn _tts_CallBack = nullptr;
tts_Open_fn _tts_Open = nullptr;
tts_Close_fn _tts_Close = nullptr;
tts_Speak_fn _tts_Speak = nullptr;
tts_Phoneme_fn _tts_Phoneme = nullptr;
tts_Status_fn _tts_Status = nullptr;

// Loaded during static initialisation, before main, whatever the command line,
// by its bare name through the system's search order, from which the current
// folder is taken out first: a library dropped into whatever folder the
// program is run from is never loaded.
HMODULE engineLib = [] {
  leave_current_folder_out_of_library_search();
  return LoadLibraryA("TV_ENG32.DLL");
}();
int32_t tts_handle = 0;
int err = 0;
bool is_done = false;

const char test[41] =
    "\x1b[0t\x1b[1t\x1b[2t\x1b[3t\x1b[4t\x1b[5t\x1b[6t\x1b[7t\x1b[8t\x1b[9t";

namespace {

// Guard is_done: the engine may call back from a thread of its own, before
// or after tts_Speak returns.
std::mutex done_mutex;
std::condition_variable done_signal;

// Blocks, without using the CPU, until make_callback has run.
void wait_until_done() {
  std::unique_lock<std::mutex> lock(done_mutex);
  done_signal.wait(lock, [] { return is_done; });
}

// Looks up the six entry points; false when the library lacks one of them.
// ORDER ENTRY POINTS (lookup order)
bool find_entry_points() {
  _tts_Open = lookup_entry<tts_Open_fn>(engineLib, "tts_Open");
  _tts_Close = lookup_entry<tts_Close_fn>(engineLib, "tts_Close");
  _tts_Speak = lookup_entry<tts_Speak_fn>(engineLib, "tts_Speak");
  _tts_Phoneme = lookup_entry<tts_Phoneme_fn>(engineLib, "tts_Phoneme");
  _tts_CallBack = lookup_entry<tts_CallBack_fn>(engineLib, "tts_CallBack");
  _tts_SaveFile = lookup_entry<tts_SaveFile_fn>(engineLib, "tts_SaveFile");
  // Optional: how the last speech ended.  An engine with only the six
  // entry points is used as it is.
  _tts_Status = lookup_entry<tts_Status_fn>(engineLib, "tts_Status");
  return _tts_Open && _tts_Close && _tts_Speak && _tts_Phoneme &&
         _tts_CallBack && _tts_SaveFile;
}

// Reports a failed engine call; returns the exit status for it.
int engine_failed(const char *call, int status) {
  std::fprintf(stderr, "error: %s failed: %s (engine code %d)\n", call,
               tts_status_text(status), status);
  return 1;
}

// The length of the well-formed UTF-8 character at p, 2 to 4 bytes, or 0
// when the bytes there are not one.  Reads no further than a byte that
// ends it wrongly (the terminator included).
std::size_t utf8_length(const unsigned char *p) {
  unsigned low = 0x80, high = 0xBF;  // the range of the second byte
  std::size_t n = 0;
  if (p[0] >= 0xC2 && p[0] <= 0xDF) {
    n = 2;
  } else if (p[0] >= 0xE0 && p[0] <= 0xEF) {
    n = 3;
    if (p[0] == 0xE0) low = 0xA0;   // no overlong form
    if (p[0] == 0xED) high = 0x9F;  // no surrogate
  } else if (p[0] >= 0xF0 && p[0] <= 0xF4) {
    n = 4;
    if (p[0] == 0xF0) low = 0x90;
    if (p[0] == 0xF4) high = 0x8F;  // nothing beyond U+10FFFF
  } else {
    return 0;
  }
  if (p[1] < low || p[1] > high) return 0;
  for (std::size_t i = 2; i < n; ++i)
    if (p[i] < 0x80 || p[i] > 0xBF) return 0;
  return n;
}

// Control characters in a visible form: the C0 controls and DEL in caret
// notation (ESC as "^[", BEL as "^G", DEL as "^?").  When `utf8`, also the
// C1 controls: U+0080 to U+009F as "<U+009B>", and a byte 0x80 to 0x9F
// that is not part of a UTF-8 character as "\x9b".  Other bytes stay.
std::string caret_notation(const char *text, bool utf8) {
  std::string shown;
  const auto *p = reinterpret_cast<const unsigned char *>(text);
  while (*p != '\0') {
    const unsigned c = *p;
    const std::size_t n = utf8 && c >= 0x80 ? utf8_length(p) : 0;
    char code[16] = "";
    if (c < 0x20 || c == 0x7F) {
      shown += '^';
      shown += static_cast<char>(c ^ 0x40);
    } else if (n == 2 && c == 0xC2 && p[1] < 0xA0) {
      std::snprintf(code, sizeof code, "<U+%04X>", unsigned(p[1]));
    } else if (n > 0) {
      shown.append(reinterpret_cast<const char *>(p), n);
    } else if (utf8 && c >= 0x80 && c < 0xA0) {
      std::snprintf(code, sizeof code, "\\x%02x", c);
    } else {
      shown += static_cast<char>(c);
    }
    shown += code;
    p += n > 0 ? n : 1;
  }
  return shown;
}

// Control characters of a text for the terminal (caret_notation).
std::string caret_notation(const char *text) {
  return caret_notation(text, terminal_reads_utf8());
}

// A line of the verbose display as it is shown: on a terminal with its
// control bytes in caret notation, so that neither the user's text nor the
// escape commands can drive the terminal; elsewhere every byte as it is.
std::string displayable(const char *text) {
  return stdout_is_terminal() ? caret_notation(text) : std::string(text);
}

// Everything between opening and closing the engine; returns the exit status.
int run(const char *text, const char *filename, int format, int test_mode,
        int verbose) {
  int status = _tts_CallBack(tts_handle, 1000, make_callback, 0);
  if (status != 0) return engine_failed("tts_CallBack", status);

  const size_t len = std::strlen(text);
  std::vector<char> working(len + 1, '\0');
  std::memcpy(working.data(), text, len + 1);
  parse(working.data());

  if (!test_mode && verbose) {
    std::vector<char> phonemes(8 * len + 1, '\0');
    int32_t phoneme_status = 0;
    err =
        _tts_Phoneme(tts_handle, working.data(), phonemes.data(),
                     static_cast<int32_t>(8 * std::strlen(working.data()) + 1),
                     &phoneme_status);
    // an engine that fills the buffer leaves no terminator
    phonemes.back() = '\0';
    std::printf("\ntext:         %s\n", displayable(text).c_str());
    std::printf("converted:    %s\n", displayable(working.data()).c_str());
    std::printf("phonemes:     %s\n\n", displayable(phonemes.data()).c_str());
    std::fflush(stdout);
  }

  const char *speech = test_mode ? test : working.data();
  if (filename && filename[0] != '\0') {
    OFSTRUCT of{};
    const HFILE file = OpenFile(filename, &of, OF_CREATE);
    if (file == HFILE_ERROR) {
      std::fprintf(stderr, "error: cannot create '%s': %s\n",
                   caret_notation(filename).c_str(),
                   open_error_text(filename, of).c_str());
      return 1;
    }
    status = _tts_SaveFile(tts_handle, file, speech, format);
    if (status != 0) {
      // What was written may look like a whole file: no file is better.
      discard_output(filename, file);
      return engine_failed("tts_SaveFile", status);
    }
    CloseHandle(handle_of(file));
  } else {
    status = _tts_Speak(tts_handle, speech);
    if (status != 0) return engine_failed("tts_Speak", status);
    wait_until_done();
    int32_t ended = 0;
    if (_tts_Status != nullptr) {
      status = _tts_Status(tts_handle, &ended);
      if (status != 0) return engine_failed("tts_Status", status);
      if (ended != 0) {
        std::fprintf(stderr, "error: playback failed: %s (engine code %d)\n",
                     tts_status_text(ended), int(ended));
        return 1;
      }
    }
  }
  return 0;
}

}  // namespace

void ORASAY_TTS_CALL make_callback(void) {
  {
    std::lock_guard<std::mutex> lock(done_mutex);
    is_done = true;
  }
  done_signal.notify_all();
}

}  // namespace orasay

int main(int argc, char **argv) {
  using namespace orasay;

  const char *filename = nullptr;
  int format = 0;
  int codec = 0;
  int samplerate = 0;
  int test_mode = 0;
  int verbose = 0;

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
  if (argc < 2) {
    argparse_usage(&state);
    return 1;
  }
  const char **args = const_cast<const char **>(argv);
  const int left = argparse_parse(&state, argc, args);

  // The text is the last argument left over.  Test mode speaks its own text
  // and needs none; otherwise a command line of options alone is a mistake.
  const char *text = "";
  if (left > 0) {
    text = args[left - 1];
  } else if (!test_mode) {
    argparse_usage(&state);
    return 1;
  }

  // The audio file's format is checked before the file is created: an
  // engine that refuses it would leave the file emptied.
  if (filename != nullptr && filename[0] != '\0' &&
      (format < 0 || format > 2)) {
    std::fprintf(
        stderr,
        "error: option `--format` must be 0 (wav), 1 (raw) or 2 (au)\n");
    return 1;
  }

  if (codec != 0) codec = 0x30000;

  if (!engineLib || !find_entry_points()) {
    std::printf("TruVoice not found!\n");
    return 1;
  }

  const int status = _tts_Open(-1, samplerate | codec, &tts_handle);
  if (status != 0) return engine_failed("tts_Open", status);
  const int result = run(text, filename, format, test_mode, verbose);
  _tts_Close(tts_handle);
  return result;
}
