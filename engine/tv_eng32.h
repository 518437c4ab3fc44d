/* TV_ENG32.DLL: the speech engine's six entry points, shared by the program,
 * our eSpeak NG engine and the recording test engine.  See LICENSE.
 *
 * A typical call sequence:
 *
 *     int32_t h = 0;
 *     if (tts_Open(-1, 0x30001, &h) != 0) ...      // default output, 8 kHz A-law
 *     tts_CallBack(h, 1000, on_done, 0);           // on_done() runs once speech ends
 *     tts_Speak(h, "Hello \x1b[007V world");        // returns at once; speech goes on
 *     ... wait until on_done has run ...
 *     tts_SaveFile(h, fd, "Hello", 0);             // WAV into fd, returns when written
 *     tts_Close(h);
 *
 * Every entry point is a plain C function with the C calling convention and an
 * undecorated name; every integer is 32 bits.  Each returns TTS_OK (0) on
 * success and one of the nonzero tts_status codes below on failure.  No entry
 * point is reentrant for one handle; the program calls them from one thread.
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
  TTS_ERR_INTERNAL = 7  /* out of memory or another unexpected failure */
};

/* Called once, without arguments, when the speech started by tts_Speak has
 * ended.  It may run on a thread of the engine, and even before tts_Speak has
 * returned. */
typedef void(ORASAY_TTS_CALL *tts_done_callback)(void);

/* Opens an engine handle.
 * device: -1 for the default sound output.
 * format_word: bits 0-15 the sampling rate (0: 11025 Hz, 1: 8000 Hz); bits
 *   16 and 17 both set (0x30000): A-law, both clear: 16-bit PCM.  Any other
 *   value gives TTS_ERR_ARGUMENT.
 * handle: receives a positive handle; must not be null.
 * Several handles may be open at once. */
ORASAY_TTS_API int ORASAY_TTS_CALL tts_Open(int32_t device, int32_t format_word,
                                            int32_t *handle);

/* Stops any speech of the handle, waits for the engine's thread and frees the
 * handle.  TTS_ERR_HANDLE for a handle that is not open. */
ORASAY_TTS_API int ORASAY_TTS_CALL tts_Close(int32_t handle);

/* Starts speaking the zero-terminated text with its escape commands and
 * returns while the speech goes on.  The callback registered by tts_CallBack
 * runs when the last sample has been played.  TTS_ERR_AUDIO (and no callback)
 * when the sound output cannot be opened; TTS_ERR_BUSY while the handle is
 * still speaking. */
ORASAY_TTS_API int ORASAY_TTS_CALL tts_Speak(int32_t handle, const char *text);

/* Writes the phoneme transcription of the text, zero-terminated, into
 * phonemes[0 .. capacity - 1].  *status becomes 1 when the transcription was
 * cut (at a word boundary) to fit, else 0.  capacity must be at least 1. */
ORASAY_TTS_API int ORASAY_TTS_CALL tts_Phoneme(int32_t handle, const char *text,
                                               char *phonemes, int32_t capacity,
                                               int32_t *status);

/* Registers the end-of-speech callback of the handle.  event and user are
 * accepted and not used. */
ORASAY_TTS_API int ORASAY_TTS_CALL tts_CallBack(int32_t handle, int32_t event,
                                                tts_done_callback callback,
                                                int32_t user);

/* Renders the text into the open file `file` (a descriptor on POSIX, an HFILE
 * on Windows) and returns when the whole file has been written; the file is
 * left open.  format: 0 WAV, 1 raw (headerless), 2 AU; the codec and sampling
 * rate are those given to tts_Open.  TTS_ERR_WRITE when a write fails. */
ORASAY_TTS_API int ORASAY_TTS_CALL tts_SaveFile(int32_t handle, int32_t file,
                                                const char *text,
                                                int32_t format);

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
    default: return "unknown engine error";
  }
}

#ifdef __cplusplus
}
#endif

#endif /* ORASAY_TV_ENG32_H */
