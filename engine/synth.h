// Synthesis: the ten voices, the speech settings that the escape commands
// change, and eSpeak NG driven segment by segment.  See LICENSE.
#ifndef ORASAY_ENGINE_SYNTH_H
#define ORASAY_ENGINE_SYNTH_H

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

namespace orasay::engine {

// eSpeak NG's fixed output rate, Hz.
constexpr int synth_rate = 22050;

// One voice of the V command.  ORDER PERSONAS
struct persona {
  const char *name;             // as it introduces itself
  const char *voice;            // eSpeak NG voice
  const char *variant;          // its variant for normal speech
  const char *whisper_variant;  // its variant for whispering
  int pitch;                    // espeakPITCH, 0-99
  int range;                    // espeakRANGE, 0-99
  int rate;                     // words per minute
  double f50;                   // median F0 at espeakPITCH 50, Hz
  double f0;                    // median F0 at its own pitch, Hz
  int volume;                   // espeakVOLUME at full level, 0-100
};
extern const persona personas[10];

// The settings that escape commands change; they hold from a command's
// position to the next command of the same letter or the end of the text.
struct settings {
  int voice = 0;   // V: index into personas
  int rate = 170;  // r: words per minute, 50-400
  bool rate_set = false;
  int pitch_hz = 0;       // p: baseline pitch in Hz, 0 for the voice's own
  int attenuation = 0;    // a: 0 full level ... 16 silent
  int fast = 0;           // f: speed-up in percent, 0-999
  int style = 0;          // c: 0 normal, 1 whisper, 2 monotone
  int mode = 1;           // P: 0 word by word, 1 normal
  bool phonemes = false;  // I: phoneme input
  bool email = false;     // X: e-mail mode
};

// Where synthesis delivers its audio.  Each function returns false to stop
// the rendering (a failed write, or speech cancelled).
struct audio_target {
  // 16-bit mono samples at synth_rate.
  std::function<bool(const short *samples, std::size_t count)> samples;
  // Exactly `ms` milliseconds of silence at this point of the output.
  std::function<bool(int ms)> silence;
  // Time-stretch factor (>1 faster, pitch kept) for the samples that follow.
  std::function<bool(double factor)> speed;
};

enum class render_result { done, stopped, failed };

// Initialises eSpeak NG, once per process, from the data directory
// espeak-ng-data beside the file that holds the engine; false when it
// cannot start (its data missing or damaged, ...).
bool initialise();

// Makes the first initialisation read its data from `path` instead; for
// programs that link the engine's stages themselves (fuzz targets).
void use_data_directory(const std::string &path);

// Speaks the text with its escape commands into the target, from the
// default settings of a new handle.  Serialised with every other use of
// eSpeak NG in the process.  `failed` when eSpeak NG cannot be initialised
// or refuses the text; `stopped` when a target function returned false.
render_result render(std::string_view text, const audio_target &target);

// Hands the text to eSpeak NG's translator as render() hands it over,
// segment by segment with the same settings, but has each part translated
// into phonemes and dropped, not synthesised: render()'s way through
// eSpeak NG's text handling without the cost of synthesis, for fuzzing.
// False when eSpeak NG cannot be initialised.
bool translate_only(std::string_view text);

// Writes the phoneme transcription of the text in eSpeak NG's ASCII
// mnemonics into *out: words separated by single blanks, the escape
// commands honoured where they change it (voice, phoneme input, e-mail
// mode) and otherwise removed.  Stops translating once *out is longer than
// `limit` bytes.  False when eSpeak NG cannot be initialised.
bool transcribe(std::string_view text, std::size_t limit, std::string *out);

// The espeakPITCH value that gives the voice a median F0 of `hz`, or -1
// when the voice cannot reach it that way.
int pitch_for(const persona &p, double hz);

}  // namespace orasay::engine

#endif  // ORASAY_ENGINE_SYNTH_H
