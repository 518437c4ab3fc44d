// orasay's binding to the speech engine TV_ENG32.DLL: the loaded library,
// its six entry points, the engine handle and the end-of-speech flag.
// See LICENSE.
#ifndef ORASAY_ORASAY_H
#define ORASAY_ORASAY_H

#include <cstdint>

#include "platform.h"
#include "tv_eng32.h"

namespace orasay {

// ORDER ENTRY POINTS
extern tts_SaveFile_fn _tts_SaveFile;
extern tts_CallBack_fn _tts_CallBack;
extern tts_Open_fn _tts_Open;
extern tts_Close_fn _tts_Close;
extern tts_Speak_fn _tts_Speak;
extern tts_Phoneme_fn _tts_Phoneme;
extern tts_Status_fn _tts_Status;  // optional: null when the engine lacks it

extern HMODULE engineLib;  // null when the engine could not be loaded
extern int32_t tts_handle;
extern int err;       // result of the phoneme request
extern bool is_done;  // set once, by make_callback

// The engine's test text: ten commands ESC [ k t, k = 0..9.
extern const char test[41];

// The end-of-speech callback: sets is_done and wakes the waiting thread.
void ORASAY_TTS_CALL make_callback(void);

}  // namespace orasay

#endif  // ORASAY_ORASAY_H
