/* Compiles eSpeak NG's phoneme tables, its intonations and the dictionaries
 * of the given languages into a data directory; a build-time tool.
 * See LICENSE.
 *   orasay_espeak_compile DATA_DIR PHSOURCE_DIR DICTSOURCE_DIR LANGUAGE...
 * DATA_DIR must hold lang/ and voices/ already. */
#include <espeak-ng/espeak_ng.h>
#include <stdio.h>
#include <stdlib.h>

/* Prints eSpeak NG's message for a failed step and ends the program. */
static void check(espeak_ng_STATUS status, espeak_ng_ERROR_CONTEXT *context,
                  const char *step) {
  if (status == ENS_OK) return;
  fprintf(stderr, "orasay_espeak_compile: %s failed: ", step);
  espeak_ng_PrintStatusCodeMessage(status, stderr, *context);
  exit(1);
}

int main(int argc, char **argv) {
  if (argc < 5) {
    fprintf(stderr,
            "usage: %s DATA_DIR PHSOURCE_DIR DICTSOURCE_DIR LANGUAGE...\n",
            argv[0]);
    return 2;
  }
  const char *data = argv[1], *phsource = argv[2];
  char dictsource[4096];
  snprintf(dictsource, sizeof dictsource, "%s/", argv[3]);

  espeak_ng_InitializePath(data);
  espeak_ng_ERROR_CONTEXT context = NULL;
  check(espeak_ng_CompileIntonationPath(phsource, data, stdout, &context),
        &context, "compiling the intonations");
  check(
      espeak_ng_CompilePhonemeDataPath(22050, phsource, data, stdout, &context),
      &context, "compiling the phonemes");
  check(espeak_ng_Initialize(&context), &context, "initialising");
  for (int i = 4; i < argc; ++i) {
    /* The dictionary compiler takes its language's rules from the voice. */
    check(espeak_ng_SetVoiceByName(argv[i]), &context, argv[i]);
    check(espeak_ng_CompileDictionary(dictsource, argv[i], stdout, 0, &context),
          &context, "compiling a dictionary");
  }
  return 0;
}
