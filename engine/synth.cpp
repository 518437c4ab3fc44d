// Synthesis: the ten voices, the speech settings that the escape commands
// change, and eSpeak NG driven segment by segment.  See LICENSE.
#include "synth.h"

#include <espeak-ng/espeak_ng.h>
#include <espeak-ng/speak_lib.h>
#include <sys/stat.h>

#include <algorithm>
#include <clocale>
#include <cmath>
#include <cstdio>
#include <exception>
#include <mutex>
#include <utility>
#include <vector>

#include "data.h"
#include "platform.h"
#include "text.h"

namespace orasay::engine {

// Every voice speaks on eSpeak NG's Klatt synthesiser, whose sampled and
// sawtooth glottal sources (klatt 3, klatt 4 and klatt 5) a listener and a
// recogniser understand far better than its default harmonic synthesis, and
// all but sidney speak its US English: its regional accents are far harder
// to follow (bench/intelligibility).  Our own variants (orasay-*) are
// eSpeak NG's voice variants moved onto the Klatt synthesiser; whispering
// stays with eSpeak NG's own whisper variants.  Each pair of voices differs
// by 8 % in median F0 or 2 dB in long-term spectrum; f50 and f0 are measured
// on one English sentence at 11025 Hz.  The volume keeps the peaks of
// ordinary sentences near -3 dBFS, and below -2 dBFS, at every pitch, rate,
// style and sample rate (bench/intelligibility shows the peaks, also after
// markup such as {{pitch 400}}).
// ORDER PERSONAS: their variants are the build's ORASAY_VOICE_VARIANTS and
// ORASAY_OWN_VARIANTS.
const persona personas[10] = {
    {"Peter", "en-us", "orasay-peter", "whisper", 50, 50, 170, 102, 102, 56},
    {"Sidney", "en-gb-x-rp", "klatt5", "whisper", 45, 40, 165, 97, 92, 39},
    {"Eddie", "en-us", "orasay-eddie", "whisper", 80, 60, 190, 100.5, 138, 63},
    {"Douglas", "en-us", "klatt5", "whisper", 25, 45, 160, 98, 78, 54},
    {"Biff", "en-us", "orasay-biff", "whisper", 74, 70, 190, 97, 119, 48},
    {"Amos", "en-us", "orasay-amos", "whisper", 31, 55, 145, 100.5, 83, 77},
    {"Melvin", "en-us", "klatt3", "whisper", 76, 25, 170, 94, 125, 60},
    {"Alex", "en-us", "orasay-alex", "whisper", 40, 50, 175, 101, 92, 100},
    {"Wanda", "en-us", "orasay-wanda", "whisperf", 45, 55, 175, 193.5, 184.5,
     60},
    {"Julia", "en-us", "orasay-julia", "whisperf", 57, 60, 170, 205, 219, 55},
};

namespace {

// Median F0 relative to espeakPITCH 50 at espeakPITCH 0, 10, ... 90, 99;
// the same for every voice within a few per cent.
constexpr double pitch_ratio[11] = {0.65, 0.71, 0.77, 0.84, 0.91, 1.0,
                                    1.10, 1.22, 1.36, 1.52, 1.68};
constexpr int pitch_step[11] = {0, 10, 20, 30, 40, 50, 60, 70, 80, 90, 99};

// Rates below this are synthesised at it and slowed down by time-stretching:
// eSpeak NG's own timing stops scaling with the rate near 85 words a minute.
constexpr int slowest_synth_rate = 90;

// All of eSpeak NG's state is global: one user at a time.
std::mutex espeak_mutex;
std::once_flag espeak_once;
bool espeak_ready = false;
const audio_target *current_target = nullptr;  // guarded by espeak_mutex
bool target_stopped = false;                   // guarded by espeak_mutex
std::exception_ptr target_error;               // guarded by espeak_mutex

// Runs inside eSpeak NG's C code: nothing may be thrown through it.  What
// the target throws stops the synthesis and is thrown again by render().
int synth_callback(short *wav, int count, espeak_EVENT *) {
  if (wav == nullptr || count <= 0 || current_target == nullptr) return 0;
  if (target_stopped) return 1;
  bool ok = false;
  try {
    ok = current_target->samples(wav, static_cast<std::size_t>(count));
  } catch (...) {
    target_error = std::current_exception();
    ok = false;
  }
  if (!ok) {
    target_stopped = true;
    return 1;  // aborts espeak_ng_Synthesize
  }
  return 0;
}

// Points the callback at a target for one rendering.
class target_scope {
 public:
  explicit target_scope(const audio_target &t) {
    current_target = &t;
    target_stopped = false;
    target_error = nullptr;
  }
  ~target_scope() {
    current_target = nullptr;
    espeak_ng_SetConstF0(0);
  }
  target_scope(const target_scope &) = delete;
  target_scope &operator=(const target_scope &) = delete;
};

std::string voice_name(const settings &s) {
  const persona &p = personas[s.voice];
  return std::string(p.voice) + "+" +
         (s.style == 1 ? p.whisper_variant : p.variant);
}

std::string data_override;  // set before the first initialisation

// The voice that eSpeak NG has loaded last, and the factor its pitch line
// was scaled by since (1: not scaled).  Guarded by espeak_mutex.
std::string loaded_voice;
double loaded_scale = 1;

// Loads the voice, its pitch line scaled by `scale`; false when the voice
// would not load.  Translation into phonemes does not load it again when it
// is loaded and scaled so already, which would read the whole dictionary
// again; synthesis does, as loading also resets what the last synthesis
// left in the voice.  A voice is never scaled twice over.
bool set_voice(const std::string &name, double scale, bool for_synthesis) {
  if (!for_synthesis && name == loaded_voice && scale == loaded_scale)
    return true;
  loaded_voice.clear();
  if (espeak_ng_SetVoiceByName(name.c_str()) != ENS_OK) return false;
  loaded_voice = name;
  loaded_scale = 1;
  if (scale != 1 && espeak_ng_ScaleVoicePitch(scale) == ENS_OK)
    loaded_scale = scale;
  return true;
}

bool is_directory(const std::string &path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool is_regular_file(const std::string &path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// Initialises eSpeak NG once per process from the data beside the engine;
// it is never terminated, since a second initialisation would make
// termination hang.  Any doubt about the data (missing, unreadable, damaged
// so that the default voice cannot load) leaves eSpeak NG unready.
// eSpeak NG switches the whole process's LC_CTYPE to UTF-8 when it
// initialises.  Built with its own character tables, it has no use for
// it, so the host program gets its own setting back.
class ctype_kept {
 public:
  ctype_kept() {
    if (const char *c = std::setlocale(LC_CTYPE, nullptr)) saved_ = c;
  }
  ~ctype_kept() {
    if (!saved_.empty()) std::setlocale(LC_CTYPE, saved_.c_str());
  }
  ctype_kept(const ctype_kept &) = delete;
  ctype_kept &operator=(const ctype_kept &) = delete;

 private:
  std::string saved_;
};

bool ensure_espeak() {
  std::call_once(espeak_once, [] {
    const ctype_kept host_ctype;
    std::string problem;
    const std::string dir = !data_override.empty()
                                ? data_override
                                : own_directory(&problem) + "/espeak-ng-data";
    if (!problem.empty()) {
      std::fprintf(stderr, "TV_ENG32.DLL: %s\n", problem.c_str());
      return;
    }
    // eSpeak NG falls back to $ESPEAK_DATA_PATH, ~/espeak-ng-data and a
    // built-in path when the directory given is not one: never let it.
    // It trusts its data blindly, and damaged data crashes it.
    if (!is_directory(dir) || !data_is_whole(dir)) return;
    // An unknown variant would be ignored without a word: each voice's
    // variants must be there.
    for (const persona &p : personas)
      for (const char *variant : {p.variant, p.whisper_variant})
        if (!is_regular_file(dir + "/voices/!v/" + variant)) return;
    espeak_ng_InitializePath(dir.c_str());
    const char *chosen = nullptr;
    espeak_Info(&chosen);
    if (chosen == nullptr || dir != chosen) return;
    espeak_ng_ERROR_CONTEXT context = nullptr;
    if (espeak_ng_Initialize(&context) != ENS_OK) {
      espeak_ng_ClearErrorContext(&context);
      return;
    }
    if (espeak_ng_InitializeOutput(ENOUTPUT_MODE_SYNCHRONOUS, 0, nullptr) !=
        ENS_OK)
      return;
    espeak_SetSynthCallback(synth_callback);
    if (!set_voice(voice_name(settings{}), 1, true)) return;
    espeak_ready = true;
  });
  return espeak_ready;
}

int effective_rate(const settings &s) {
  return s.rate_set ? s.rate : personas[s.voice].rate;
}

double stretch_factor(const settings &s) {
  const int rate = effective_rate(s);
  const double slow =
      rate < slowest_synth_rate ? double(rate) / slowest_synth_rate : 1.0;
  return slow * (1.0 + s.fast / 100.0);
}

// A constant F0 replaces the intonation for monotone speech; 0 when not
// used.
int const_f0(const settings &s) {
  if (s.style != 2) return 0;
  return s.pitch_hz > 0 ? s.pitch_hz : int(std::lround(personas[s.voice].f0));
}

// Whether the baseline is beyond espeakPITCH for the voice, so that the
// voice's own pitch must be scaled to reach it (a new segment).
bool needs_own_voice(const settings &s) {
  return s.style != 2 && s.pitch_hz > 0 &&
         pitch_for(personas[s.voice], s.pitch_hz) < 0;
}

// Whether a pitch change can go inline from settings s on.
bool pitch_inline(const settings &s) {
  return const_f0(s) == 0 && !needs_own_voice(s);
}

// A baseline above the voice's own raises the level: eSpeak NG scales the
// noise of whisper in proportion to the F0, and the fewer, stronger
// harmonics of a higher voice meet the formants with higher peaks.  Above
// the voice's own pitch the volume falls back by the ratio of the two
// pitches when whispering and by its fourth root otherwise, which keeps
// level and peaks about where they are at the voice's own pitch.
double pitch_gain(const settings &s) {
  const double own = personas[s.voice].f0;
  if (s.pitch_hz <= own) return 1.0;
  const double ratio = own / s.pitch_hz;
  return s.style == 1 ? ratio : std::pow(ratio, 0.25);
}

// espeakVOLUME for the settings: the voice's own volume at full level.
int volume_of(const settings &s) {
  return static_cast<int>(std::lround(personas[s.voice].volume * pitch_gain(s) *
                                      (16 - s.attenuation) / 16));
}

// The pause after each word in word-by-word mode, ms.
constexpr int word_pause_ms = 150;

// The longest phoneme-input word that eSpeak NG reads whole, bytes.
constexpr std::size_t max_phoneme_word = 99;

// Splits a text into segments, one eSpeak NG call each, and tells the
// caller about each segment and each pause.  Commands that eSpeak NG can
// follow inside a call (rate, pitch, amplitude) become its inline commands
// when `inline_commands` is set; the others end the segment.
class planner {
 public:
  using segment_fn = std::function<bool(const settings &, const std::string &)>;
  using silence_fn = std::function<bool(int ms)>;

  planner(bool inline_commands, segment_fn on_segment, silence_fn on_silence)
      : inline_(inline_commands),
        on_segment_(std::move(on_segment)),
        on_silence_(std::move(on_silence)) {}

  // False when a callback asked to stop.
  bool run(std::string_view text) {
    command_reader reader{text, 0};
    piece pc;
    for (;;) {
      read_piece(&reader, &pc);
      if (pc.kind == piece::end) break;
      if (pc.kind == piece::text) {
        has_words_ =
            has_words_ || std::any_of(pc.run.begin(), pc.run.end(), [](char c) {
              return static_cast<unsigned char>(c) > ' ';
            });
        if (cur_.phonemes)
          append_phonemes(pc.run);
        else
          append_run(&text_, pc.run, cur_.email);
      } else if (!command(pc.letter, pc.value)) {
        return false;
      }
    }
    return flush();
  }

 private:
  bool flush() {
    bool ok = true;
    if (has_words_) ok = on_segment_(start_, text_);
    text_.clear();
    has_words_ = false;
    start_ = cur_;
    word_bytes_ = 0;
    return ok;
  }

  // Phoneme input is copied through, each word cut after its first
  // max_phoneme_word bytes, the most that eSpeak NG reads of one.  "]]"
  // would end it early, and is split.
  void append_phonemes(std::string_view run) {
    std::string plain;
    append_run(&plain, run, false);
    for (char c : plain) {
      if (static_cast<unsigned char>(c) <= ' ') {
        word_bytes_ = 0;
      } else if (word_bytes_ == max_phoneme_word) {
        continue;
      } else if (c == ']' && word_bytes_ > 0 && text_.back() == ']') {
        text_.push_back(' ');
        word_bytes_ = 1;
      } else {
        ++word_bytes_;
      }
      text_.push_back(c);
    }
  }

  void add_inline(int value, char letter) {
    if (!inline_) return;
    text_ += " \x01" + std::to_string(value) + letter + " ";
  }

  bool command(char letter, int value) {
    settings next = cur_;
    bool boundary = false;
    int pause_ms = -1;
    switch (letter) {
      case 'V':
        if (value > 9) return true;  // no such voice: ignored
        next.voice = value;
        boundary = next.voice != cur_.voice;
        break;
      case 't':
        if (value > 9) return true;
        next.voice = value;
        boundary = true;
        break;
      case 'r': {
        next.rate = std::clamp(value, 50, 400);
        next.rate_set = true;
        boundary = stretch_factor(next) != stretch_factor(cur_);
        break;
      }
      case 'p':
        next.pitch_hz = std::clamp(value, 50, 400);
        boundary = !pitch_inline(next) || !pitch_inline(start_);
        break;
      case 'a': next.attenuation = std::min(value, 16); break;
      case 's':
        pause_ms = value * 10;
        boundary = true;
        break;
      case 'f':
        next.fast = value;
        boundary = next.fast != cur_.fast;
        break;
      case 'c':
        if (value > 2) return true;
        next.style = value;
        boundary = next.style != cur_.style;
        break;
      case 'P':
        if (value > 1) return true;
        next.mode = value;
        boundary = next.mode != cur_.mode;
        break;
      case 'I':
        if (value > 1) return true;
        next.phonemes = value == 1;
        boundary = next.phonemes != cur_.phonemes;
        break;
      case 'X':
        if (value > 1) return true;
        next.email = value == 1;
        break;
      default: return true;
    }
    if ((cur_.phonemes || cur_.mode == 0) &&
        (letter == 'r' || letter == 'p' || letter == 'a'))
      boundary = true;  // no inline commands in phoneme input or word mode
    if (!has_words_)
      boundary = true;  // nothing said yet: set it for the whole segment
    if (boundary) {
      if (!flush()) return false;
      cur_ = next;
      start_ = next;
    } else {
      cur_ = next;
      switch (letter) {
        case 'r':
          add_inline(std::max(cur_.rate, slowest_synth_rate), 'S');
          break;
        case 'p':
          add_inline(pitch_for(personas[cur_.voice], cur_.pitch_hz), 'P');
          add_inline(volume_of(cur_), 'A');  // the level follows the pitch
          break;
        case 'a': add_inline(volume_of(cur_), 'A'); break;
        default: break;
      }
    }
    if (pause_ms >= 0 && !on_silence_(pause_ms)) return false;
    if (letter == 't') {
      const std::string intro =
          std::string("Hello, I am ") + personas[value].name + ". ";
      append_run(&text_, intro, false);
      has_words_ = true;
    }
    return true;
  }

  const bool inline_;
  segment_fn on_segment_;
  silence_fn on_silence_;
  settings cur_;            // at the current position
  settings start_;          // at the start of the current segment
  std::string text_;        // the current segment's text
  bool has_words_ = false;  // whether text_ has more than blanks and commands
  std::size_t word_bytes_ = 0;  // of the phoneme-input word being copied
};

// The blank-separated words of a segment.
std::vector<std::string_view> words_of(std::string_view text) {
  std::vector<std::string_view> words;
  std::size_t i = 0;
  while (i < text.size()) {
    while (i < text.size() && static_cast<unsigned char>(text[i]) <= ' ') ++i;
    std::size_t j = i;
    while (j < text.size() && static_cast<unsigned char>(text[j]) > ' ') ++j;
    if (j > i) words.push_back(text.substr(i, j - i));
    i = j;
  }
  return words;
}

// Sets voice and every parameter for one eSpeak NG call, for synthesis or
// for translation only: values set inside an earlier call's text would
// otherwise persist.
bool apply_settings(const settings &s, bool for_synthesis) {
  const persona &p = personas[s.voice];
  int pitch = p.pitch;
  int f0 = const_f0(s);
  // The voice's pitch line scaled by k scales its median F0 by about k,
  // intonation and all: at espeakPITCH of its own, it speaks at pitch_hz.
  const bool own_pitch = needs_own_voice(s);
  const double scale = own_pitch ? s.pitch_hz / p.f0 : 1;
  if (!set_voice(voice_name(s), scale, for_synthesis)) return false;
  if (own_pitch) {
    if (loaded_scale != scale)
      f0 = s.pitch_hz;  // not reachable so: a flat pitch at the baseline
  } else if (s.pitch_hz > 0 && f0 == 0) {
    pitch = pitch_for(p, s.pitch_hz);
  }
  espeak_ng_SetParameter(espeakWORDGAP, 0, 0);
  espeak_ng_SetParameter(espeakRATE,
                         std::max(effective_rate(s), slowest_synth_rate), 0);
  espeak_ng_SetParameter(espeakPITCH, pitch, 0);
  espeak_ng_SetParameter(espeakRANGE, f0 > 0 ? 0 : p.range, 0);
  espeak_ng_SetParameter(espeakVOLUME, volume_of(s), 0);
  espeak_ng_SetConstF0(f0);
  return true;
}

// What eSpeak NG is given for one part of a segment: its text, and the
// flags of the call.
struct espeak_text {
  std::string text;
  unsigned flags;
};

espeak_text espeak_text_of(const settings &s, std::string_view part) {
  if (!s.phonemes) return {std::string(part), espeakCHARS_AUTO};
  return {"[[" + std::string(part) + "]]", espeakCHARS_AUTO | espeakPHONEMES};
}

// Splits the text into segments and hands each part that eSpeak NG is to
// speak to `say`, with its settings: the whole segment, or in word-by-word
// mode each word, followed by its pause.  `begin` runs before each segment.
// False when one of the functions returned false.
bool speak_parts(
    std::string_view text, const std::function<bool(const settings &)> &begin,
    const std::function<bool(const settings &, std::string_view)> &say,
    const std::function<bool(int ms)> &silence) {
  planner plan(
      true,
      [&](const settings &s, const std::string &segment) {
        if (!begin(s)) return false;
        if (s.mode != 0) return say(s, segment);
        for (const std::string_view word : words_of(segment)) {
          if (!say(s, word) || !silence(word_pause_ms)) return false;
        }
        return true;
      },
      silence);
  return plan.run(text);
}

}  // namespace

bool initialise() {
  std::lock_guard<std::mutex> lock(espeak_mutex);
  return ensure_espeak();
}

void use_data_directory(const std::string &path) {
  std::lock_guard<std::mutex> lock(espeak_mutex);
  data_override = path;
}

int pitch_for(const persona &p, double hz) {
  const double r = hz / p.f50;
  if (!(r >= pitch_ratio[0] && r <= pitch_ratio[10])) return -1;
  for (int i = 0; i < 10; ++i) {
    if (r <= pitch_ratio[i + 1]) {
      const double t = std::log(r / pitch_ratio[i]) /
                       std::log(pitch_ratio[i + 1] / pitch_ratio[i]);
      return static_cast<int>(
          std::lround(pitch_step[i] + t * (pitch_step[i + 1] - pitch_step[i])));
    }
  }
  return 99;
}

render_result render(std::string_view text, const audio_target &target) {
  std::lock_guard<std::mutex> lock(espeak_mutex);
  if (!ensure_espeak()) return render_result::failed;
  const target_scope scope(target);
  // the noise of whisper and breath, as in a fresh process
  espeak_ng_SetRandSeed(1);
  bool failed = false;
  const bool finished = speak_parts(
      text, [&](const settings &s) { return target.speed(stretch_factor(s)); },
      [&](const settings &s, std::string_view part) {
        if (!apply_settings(s, true)) {
          failed = true;
          return false;
        }
        const espeak_text t = espeak_text_of(s, part);
        const espeak_ng_STATUS st =
            espeak_ng_Synthesize(t.text.c_str(), t.text.size() + 1, 0,
                                 POS_CHARACTER, 0, t.flags, nullptr, nullptr);
        if (target_stopped) return false;
        if (st != ENS_OK) {
          failed = true;
          return false;
        }
        return true;
      },
      [&](int ms) { return target.silence(ms); });
  if (target_error)
    std::rethrow_exception(std::exchange(target_error, nullptr));
  if (failed) return render_result::failed;
  return finished ? render_result::done : render_result::stopped;
}

bool translate_only(std::string_view text) {
  std::lock_guard<std::mutex> lock(espeak_mutex);
  if (!ensure_espeak()) return false;
  bool ok = true;
  speak_parts(
      text, [](const settings &) { return true; },
      [&](const settings &s, std::string_view part) {
        if (!apply_settings(s, false)) {
          ok = false;
          return false;
        }
        const espeak_text t = espeak_text_of(s, part);
        const void *p = t.text.c_str();
        while (p != nullptr)
          espeak_TextToPhonemes(&p, static_cast<int>(t.flags), 0);
        return true;
      },
      [](int) { return true; });
  return ok;
}

bool transcribe(std::string_view text, std::size_t limit, std::string *out) {
  std::lock_guard<std::mutex> lock(espeak_mutex);
  if (!ensure_espeak()) return false;
  out->clear();
  auto add_words = [out](std::string_view text) {
    for (const std::string_view word : words_of(text)) {
      if (!out->empty()) out->push_back(' ');
      out->append(word);
    }
  };
  bool ok = true;
  planner plan(
      false,
      [&](const settings &s, const std::string &segment) {
        if (s.phonemes) {
          add_words(segment);
        } else {
          if (!set_voice(voice_name(s), 1, false)) {
            ok = false;
            return false;
          }
          // Every clause is read, also past the limit: eSpeak NG keeps
          // the characters it read ahead for the next clause, and a text
          // left half read would begin the next transcription.
          const void *p = segment.c_str();
          while (p != nullptr) {
            const char *ph = espeak_TextToPhonemes(&p, espeakCHARS_AUTO, 0);
            if (ph != nullptr && out->size() <= limit) add_words(ph);
          }
        }
        return out->size() <= limit;
      },
      [](int) { return true; });
  plan.run(text);
  return ok;
}

}  // namespace orasay::engine
