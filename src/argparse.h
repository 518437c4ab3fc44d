// Option parser: turns the argument vector into values in the caller's
// variables, driven by a table of argparse_option records, and prints the
// usage and help text from the same table. See LICENSE.
//
// A typical caller:
//
//   int verbose = 0;
//   const char *file = nullptr;
//   const argparse_option options[] = {
//       {ARGPARSE_TYPE_BOOLEAN, 'h', "help", nullptr, "show this help",
//        argparse_help_cb, 0, ARGPARSE_OPTION_NO_NEGATION},
//       {ARGPARSE_TYPE_STRING, 'f', "filename", &file, "output file"},
//       {ARGPARSE_TYPE_BOOLEAN, 'v', "verbose", &verbose, "talk more"},
//       {},  // ARGPARSE_TYPE_END
//   };
//   const char *const usages[] = {"prog [options] text", nullptr};
//   argparse state;
//   argparse_init(&state, options, usages, 0);
//   argparse_describe(&state, "\nWhat prog does.", "");
//   int left = argparse_parse(&state, argc, argv);  // argv[0..left-1]
//
// A bad command line never comes back as a result: the parser writes one
// "error: " line on stderr and ends the process with status 1.
#ifndef ORASAY_ARGPARSE_H
#define ORASAY_ARGPARSE_H

#include <stdint.h>

#if defined(_WIN32)
#define ORASAY_ARGPARSE_API
#else
#define ORASAY_ARGPARSE_API __attribute__((visibility("default")))
#endif

extern "C" {

struct argparse;
struct argparse_option;

// Run after an option's value has been handled. Returns 0; the parser
// reserves -2 for "no such option", so a callback returning -2 makes its
// option be reported as unknown. A callback may end the process.
typedef int (*argparse_callback)(argparse *self, const argparse_option *option);

// Option type codes (argparse_option::type). ORDER ARGPARSE TYPES
enum {
  ARGPARSE_TYPE_END = 0,      // ends the table; other fields unread
  ARGPARSE_TYPE_HEADING = 1,  // a heading row in the help; value null
  ARGPARSE_TYPE_BOOLEAN = 2,  // int counter, "no-" form counts down
  ARGPARSE_TYPE_BIT = 3,      // int, bits of data set ("no-": cleared)
  ARGPARSE_TYPE_INTEGER = 4,  // int, 32-bit signed, base 0
  ARGPARSE_TYPE_FLOAT = 5,    // float
  ARGPARSE_TYPE_STRING = 6,   // const char *, into the argument vector
};

// Option flags (argparse_option::flags).
enum {
  ARGPARSE_OPTION_NO_NEGATION = 1,  // no "no-" form even for BOOLEAN/BIT
};

// Parser flags (argparse::flags).
enum {
  ARGPARSE_OPTIONS_FIRST = 1,       // stop at the first non-option argument
  ARGPARSE_NO_EXIT_ON_UNKNOWN = 2,  // report an unknown option, drop it, go on
};

// One row of the caller's option table; a row of type 0 ends the table.
// The parser never writes to the table.
struct argparse_option {
  int type;                    // ARGPARSE_TYPE_*
  char short_name;             // letter after "-"; 0 = none
  const char *long_name;       // name after "--"; null = none
  void *value;                 // caller's variable; null = callback only
  const char *help;            // help text, or the heading of a heading row
  argparse_callback callback;  // null = none
  intptr_t data;               // the bit mask of a BIT option
  int flags;                   // ARGPARSE_OPTION_*
};

// Parser state. The caller owns it and every text it points to; the
// working fields from remaining on belong to the one argparse_parse run.
struct argparse {
  const argparse_option *options;
  const char *const *usages;  // null-terminated list; null = none
  int flags;                  // ARGPARSE_OPTIONS_FIRST, ..._NO_EXIT_ON_UNKNOWN
  const char *description;    // printed after the usage lines; null = none
  const char *epilog;         // printed after the option rows; null = none
  int remaining;              // arguments from cursor to the end
  const char **cursor;        // the argument being looked at
  const char **out;           // where left-over arguments are gathered
  int kept_count;             // non-option arguments gathered so far
  const char *pending_value;  // rest of a short cluster, or text after "="
};

// Clears *self, then stores the table, the usage list and the parser
// flags. Returns 0.
ORASAY_ARGPARSE_API int argparse_init(argparse *self,
                                      const argparse_option *options,
                                      const char *const *usages, int flags);

// Stores the description and epilog for the help text; either may be null.
ORASAY_ARGPARSE_API void argparse_describe(argparse *self,
                                           const char *description,
                                           const char *epilog);

// Parses argv[1..argc-1] once, storing each option's value as it is met.
// Returns n, the number of arguments left over: argv[0..n-1] then hold
// the non-option arguments in order followed by the unparsed tail, and
// argv[n] is null. argv[0] is never read and always overwritten. Errors
// and help requests end the process.
ORASAY_ARGPARSE_API int argparse_parse(argparse *self, int argc,
                                       const char **argv);

// Writes the usage lines, description, option rows and epilog on stdout.
ORASAY_ARGPARSE_API void argparse_usage(argparse *self);

// Option callbacks: print the help; the first then ends the process with
// status 0, the second returns 0 and lets parsing go on.
[[noreturn]] ORASAY_ARGPARSE_API int argparse_help_cb(
    argparse *self, const argparse_option *option);
ORASAY_ARGPARSE_API int argparse_help_cb_no_exit(argparse *self,
                                                 const argparse_option *option);

}  // extern "C"

#endif  // ORASAY_ARGPARSE_H
