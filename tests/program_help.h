// The help screen of the orasay program, byte for byte: what its option
// table, usage line, description and empty epilog print.
#ifndef ORASAY_TESTS_PROGRAM_HELP_H
#define ORASAY_TESTS_PROGRAM_HELP_H

inline constexpr char program_help[] =
    "Usage: orasay [options] \"text\"\n"
    "\n"
    "Speak to audio file or to speaker using Centigram's TruVoice TTS "
    "synthesizer.\n"
    "\n"
    "    -h, --help                show this help message and exit\n"
    "    -f, --filename=<str>      output to audio file\n"
    "    -a, --format=<int>        audio file format (0: wav, 1: raw, 2: au)\n"
    "    -c, --codec=<int>         audio codec (0: pcm, 1: a-law)\n"
    "    -s, --samplerate=<int>    audio sampling rate (0: 11khz, 1: 8khz)\n"
    "    -m, --test                turn on test mode. overrides text input\n"
    "    -v, --verbose             turn on verbose mode. display text and "
    "phoneme stream to standard output\n"
    "\n";

#endif  // ORASAY_TESTS_PROGRAM_HELP_H
