/* TV_ENG32.DLL: the speech engine's six entry points, shared by the program,
 * our eSpeak NG engine and the recording test engine.  See LICENSE.
 *
 * A typical call sequence:
 *
 *     int32_t h = 0;
 *     if (tts_Open(-1, 0x30001, &h) != 0) ...      // default output, 8 kHz
 * A-law tts_CallBack(h, 1000, on_done, 0);           // on_done() runs once
 * speech ends tts_Speak(h, "Hello \x1b[007V world");        // returns at once;
 * speech goes on
 *     ... wait until on_done has run ...
 *     tts_Status(h, &status);                      // optional: did it play to
 * the end? tts_SaveFile(h, fd, "Hello", 0);             // WAV into fd, returns
 * when written tts_Close(h);
 *
 * Every entry point is a plain C function with the C calling convention and an
 * undecorated name; every integer is 32 bits.  Each returns TTS_OK (0) on
 * success and one of the nonzero tts_status codes below on failure.  No entry
 * point is reentrant for one handle; the program calls them from one thread.
 *
 * The Linux engine (eSpeak NG) reads these escape commands in the text: ESC,
 * '[', one or more decimal digits (values above 999 read as 999) and a
 * command letter; the program writes them as blank, ESC, '[', three digits,
 * letter, blank.  Each holds from its position to the end of the text or the
 * next command of its letter; every text starts from the defaults (voice
 * peter, rate 170, the voice's own pitch, full level, normal style and mode,
 * phoneme input and e-mail mode off).  Malformed and unknown sequences are
 * dropped whole, never spoken, as terminals read them: control sequences
 * (ESC '[' ... final byte, "ESC[1;31m"), control strings (ESC and one of
 * ] P X ^ _, such as a window title "ESC]0;title BEL") up to BEL, CAN, SUB
 * or the next ESC (so their terminator ESC '\' too), and other escape
 * sequences of two or three bytes ("ESC c", "ESC ( B").  An ESC before a
 * blank or a byte that begins none of these is dropped alone.
 *   V n  voice: 0 peter, 1 sidney, 2 eddie, 3 douglas, 4 biff, 5 amos,
 *        6 melvin, 7 alex (male), 8 wanda, 9 julia (female); 10 or more is
 *        ignored.  Starts a new clause.  Each voice has its own rate (145 to
 *        190 words a minute; peter 170) until an r command sets one.
 *   r n  rate in words per minute, 50-400 (below 90 slowed down by
 *        time-stretching, pitch kept).
 *   p n  baseline pitch in Hz, 50-400.  Within the voice's natural range
 *        it changes at the next word; beyond it the voice's own pitch is
 *        scaled to reach it, which starts a new clause.  No file is written.
 *        Above the voice's own pitch the volume is lowered a little, so
 *        that the level stays about where it was.
 *   a n  attenuation: level (16 - n) / 16 of full level; 16 is silent.
 *   s n  a pause of exactly n x 10 ms at that point; ends the clause.
 *   f n  speed-up by n per cent on top of the rate, pitch kept.
 *   c n  style: 0 normal, 1 whisper, 2 monotone (flat F0 at the baseline).
 *   P n  mode: 0 word by word (each word said alone, then 150 ms of
 *        silence), 1 normal.
 *   I n  1: what follows is eSpeak NG phoneme mnemonics, as tts_Phoneme
 *        writes them, each word cut after its first 99 bytes (tts_Phoneme
 *        shows the cut words); 0: text.
 *   X n  1: e-mail mode, the symbols @ . / : - _ inside addresses and URLs
 *        read as words ("at", "dot", "slash", ...); 0: off.
 *   t k  (the test text's ESC '[' k 't') voice k introduces itself by name.
 *
 * Text reaches the synthesiser as it is, but for what its buffers cannot
 * hold: a run of more than 80 dotted letters ("U.S.A.U.S.A...") is
 * spelt as several abbreviations; suffixes stripped beyond 200 bytes of
 * phonemes ("x's's's...") add no phonemes; the reading of a number ends
 * where its phonemes outgrow 200 bytes (a long decimal part, "1.2345...",
 * or a long chain of them, "1.101.770.418..."); a language switch in
 * phoneme input ("_^_fr", at the start of a word or inside one) whose
 * name is longer than 11 bytes, or names no phoneme table, says nothing.
 * Phoneme input goes on as phoneme input however long it is.
 *
 * The voices read English.  Words in a script that eSpeak NG reads in its
 * own language (Korean, Hindi and the other Indic scripts but Telugu and
 * Oriya, Georgian, Armenian) are skipped, since the engine has only
 * English data, and so are dotted abbreviations of their letters, such
 * as Georgian "\u10d0.\u10d1.", with their dots; letters of the other
 * scripts are named as English names them (Greek and Cyrillic letters by
 * name, "Chinese letter", "Thai letter" and the letter's code, ...), also
 * in a dotted abbreviation.  eSpeak NG writes nothing to the host's
 * standard output or error; the engine itself writes one line there only
 * when it cannot open its data (see Windows below).
 *
 * Data: the synthesiser (eSpeak NG 1.52, linked in) reads its data from the
 * directory espeak-ng-data beside this library's own file, never from a
 * system path, the environment or the working directory.  Its manifest,
 * espeak-ng-data/orasay-manifest, lists every file with its size and hash
 * and closes with their number; tts_Open gives TTS_ERR_SYNTH when a file is
 * missing or differs, when the manifest is cut short, or when a file that it
 * does not list lies in voices/ or lang/, where eSpeak NG looks for voices
 * (names beginning with '.' excepted, which it passes over).  Files and
 * phonemes never touch the sound server.  The process's locale is left as
 * the host program set it.
 *
 * Windows: the same engine, 32-bit, playing through winmm's wave mapper
 * where Linux plays through the sound server (PulseAudio or PipeWire).
 * eSpeak NG opens its data with the ANSI file functions: a folder whose name
 * the ANSI code page cannot spell, or longer than 200 bytes, is reached
 * through its short (8.3) name; without one tts_Open writes one line
 * "TV_ENG32.DLL: cannot open its data in ..." on stderr and gives
 * TTS_ERR_SYNTH.  The wave device is closed after the callback, on a thread
 * of its own: a device that takes longer than 150 ms to close (a stalled
 * one may never come back) delays neither the callback nor tts_Close by
 * more than that, and is left to close by itself.
 *
 * Threads: all synthesis in the process is serialised, so while one handle
 * speaks, tts_SaveFile and tts_Phoneme on other handles wait for its text
 * to be synthesised (about as long as the speech lasts).
 */
#ifndef ORASAY_TV_ENG32_H
#define ORASAY_TV_ENG32_H

#include <stdint.h>

#if defined(_WIN32)
#define ORASAY_TTS_CALL __cdecl
#else
#define ORASAY_TTS_CALL
#endif

#if defined(ORASAY_TTS_BUILDING_ENGINE)
#if defined(_WIN32)
#define ORASAY_TTS_API __declspec(dllexport)
#else
#define ORASAY_TTS_API __attribute__((visibility("default")))
#endif
#else
#define ORASAY_TTS_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Result codes of the entry points.  ORDER TTS_STATUS */
enum tts_status {
  TTS_OK = 0,
  TTS_ERR_HANDLE = 1,   /* the handle is not open */
  TTS_ERR_ARGUMENT = 2, /* bad format word, file format, pointer or text */
  TTS_ERR_BUSY = 3,     /* the handle is still speaking */
  TTS_ERR_AUDIO = 4,    /* no sound server, or playback failed */
  TTS_ERR_WRITE = 5,    /* writing the audio file failed (disk full, ...) */
  TTS_ERR_SYNTH = 6,    /* the synthesiser failed */
  TTS_ERR_INTERNAL = 7, /* out of memory or another unexpected failure */
  TTS_ERR_TOO_LONG = 8  /* more audio than a WAV file can hold (4 GiB) */
};

/* Called once, without arguments, when the speech started by tts_Speak has
 * ended.  It may run on a thread of the engine, and even before tts_Speak has
 * returned. */
typedef void(ORASAY_TTS_CALL *tts_done_callback)(void);

/* Opens an engine handle.
 * device: -1 for the default sound output (the engine always uses the
 *   sound server's default output).
 * format_word: bits 0-15 the sampling rate (0: 11025 Hz, 1: 8000 Hz); bits
 *   16 and 17 both set (0x30000): A-law, both clear: 16-bit PCM.  Any other
 *   value gives TTS_ERR_ARGUMENT.
 * handle: receives a positive handle; must not be null.
 * Several handles may be open at once.  TTS_ERR_SYNTH when the synthesiser
 * cannot start (its data missing or damaged); it is started once per
 * process and stays up until the process ends. */
ORASAY_TTS_API int ORASAY_TTS_CALL tts_Open(int32_t device, int32_t format_word,
                                            int32_t *handle);

/* Stops any speech of the handle, waits for the engine's thread and frees the
 * handle.  Speech stopped this way does not call back.  Stopping takes at
 * most 200 ms (about 20 ms on Linux), even while the sound server holds back
 * the first block or has stopped answering; speech that still waits for
 * another handle's synthesis (see Threads above) stops once that is done.
 * TTS_ERR_HANDLE for a handle that is not open. */
ORASAY_TTS_API int ORASAY_TTS_CALL tts_Close(int32_t handle);

/* Starts speaking the zero-terminated text with its escape commands and
 * returns while the speech goes on.  The connection to the sound server is
 * made on the caller's thread; an engine thread then synthesises, plays,
 * waits until the server has played the last sample and runs the callback
 * registered by tts_CallBack.  The text is copied; the caller may free it at
 * once.  TTS_ERR_AUDIO (and no callback) when no sound server is reachable;
 * TTS_ERR_BUSY while the handle is still speaking; TTS_ERR_ARGUMENT for a
 * null text.  A playback failure after the start still ends with the
 * callback. */
ORASAY_TTS_API int ORASAY_TTS_CALL tts_Speak(int32_t handle, const char *text);

/* Writes the phoneme transcription of the text, zero-terminated, into
 * phonemes[0 .. capacity - 1]: eSpeak NG's ASCII mnemonics with stress marks,
 * words separated by single blanks, clause punctuation dropped.  Escape
 * commands are removed; voice, phoneme input and e-mail mode are honoured.
 * *status becomes 1 when the transcription was cut after the last whole word
 * that fits, else 0.  capacity must be at least 1; text, phonemes and status
 * must not be null (TTS_ERR_ARGUMENT).  TTS_ERR_BUSY while the handle
 * speaks.  A transcription can be many times longer than its text ("777"
 * gives 31 bytes). */
ORASAY_TTS_API int ORASAY_TTS_CALL tts_Phoneme(int32_t handle, const char *text,
                                               char *phonemes, int32_t capacity,
                                               int32_t *status);

/* Registers the end-of-speech callback of the handle, replacing an earlier
 * one; null removes it.  event and user are accepted and not used.  The
 * callback runs on the engine's speaking thread, once per tts_Speak that
 * returned TTS_OK, unless tts_Close stopped the speech first. */
ORASAY_TTS_API int ORASAY_TTS_CALL tts_CallBack(int32_t handle, int32_t event,
                                                tts_done_callback callback,
                                                int32_t user);

/* Renders the text into the open file `file` (a descriptor on POSIX, an HFILE
 * on Windows) and returns when the whole file has been written; the file is
 * left open, also when writing failed, and positioned after the audio file.
 * format: 0 WAV, 1 raw (headerless; 16-bit little-endian for PCM), 2 AU; any
 * other value gives TTS_ERR_ARGUMENT.  The audio is mono, with the codec and
 * sampling rate given to tts_Open.  Files are written as the audio comes, in
 * memory that stays flat however long the audio, from the file's position
 * (from its end when that position is past its start).  Where a header
 * cannot be written again at the end (a pipe, a terminal, a file opened for
 * appending: O_APPEND, or on Windows a handle that may append and not
 * write), WAV and AU headers give their lengths as unknown (0xFFFFFFFF, as
 * audio tools stream them), and an odd number of A-law bytes in a WAV file
 * gets no pad byte.
 * TTS_ERR_WRITE when the descriptor cannot be written or a write fails
 * (disk full, /dev/full, a pipe without reader: no SIGPIPE);
 * TTS_ERR_TOO_LONG when a WAV file would hold more than its 32-bit lengths
 * can say (about 4 GiB: 54 hours at 11025 Hz); TTS_ERR_INTERNAL when memory
 * ran out.  What was written before a failure is left as it is. */
ORASAY_TTS_API int ORASAY_TTS_CALL tts_SaveFile(int32_t handle, int32_t file,
                                                const char *text,
                                                int32_t format);

/* How the speech of the last tts_Speak of the handle ended, in *status:
 * TTS_OK when it was played to its end (or no speech was started yet),
 * TTS_ERR_BUSY while it goes on, TTS_ERR_AUDIO when playback failed (the
 * sound server went away, or stopped taking audio for longer than the audio
 * still queued plus a few seconds), TTS_ERR_SYNTH or TTS_ERR_INTERNAL when
 * its synthesis failed.  Speech stopped by tts_Close gives no status.
 * Optional: the six entry points above are the whole contract, and a
 * program looks this one up by name and does without it when it is absent.
 * Returns TTS_ERR_HANDLE for a handle that is not open, TTS_ERR_ARGUMENT
 * for a null status. */
ORASAY_TTS_API int ORASAY_TTS_CALL tts_Status(int32_t handle, int32_t *status);

/* Pointer types for callers that look the entry points up at run time. */
typedef int(ORASAY_TTS_CALL *tts_Open_fn)(int32_t, int32_t, int32_t *);
typedef int(ORASAY_TTS_CALL *tts_Close_fn)(int32_t);
typedef int(ORASAY_TTS_CALL *tts_Speak_fn)(int32_t, const char *);
typedef int(ORASAY_TTS_CALL *tts_Phoneme_fn)(int32_t, const char *, char *,
                                             int32_t, int32_t *);
typedef int(ORASAY_TTS_CALL *tts_CallBack_fn)(int32_t, int32_t,
                                              tts_done_callback, int32_t);
typedef int(ORASAY_TTS_CALL *tts_SaveFile_fn)(int32_t, int32_t, const char *,
                                              int32_t);
typedef int(ORASAY_TTS_CALL *tts_Status_fn)(int32_t, int32_t *);

/* A short English text for a result code.  ORDER TTS_STATUS */
static inline const char *tts_status_text(int status) {
  switch (status) {
    case TTS_OK: return "success";
    case TTS_ERR_HANDLE: return "invalid engine handle";
    case TTS_ERR_ARGUMENT: return "invalid argument";
    case TTS_ERR_BUSY: return "engine is busy speaking";
    case TTS_ERR_AUDIO: return "sound output unavailable";
    case TTS_ERR_WRITE: return "writing the audio file failed";
    case TTS_ERR_SYNTH: return "speech synthesis failed";
    case TTS_ERR_INTERNAL: return "internal engine error";
    case TTS_ERR_TOO_LONG: return "too much audio for a WAV file";
    default: return "unknown engine error";
  }
}

#ifdef __cplusplus
}
#endif

#endif /* ORASAY_TV_ENG32_H */
