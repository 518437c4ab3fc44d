// Option parser and usage/help printer: argparse.h.
// See LICENSE.
#include "argparse.h"

#include <assert.h>
#include <errno.h>
#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <cstdlib>

// The one way the parser ends the process. A fuzz build defines this to the
// name of a function of its own that unwinds instead, so a run can go on
// after an exit; it must not return.
#ifndef ORASAY_ARGPARSE_EXIT
#define ORASAY_ARGPARSE_EXIT std::exit
#else
[[noreturn]] void ORASAY_ARGPARSE_EXIT(int status);
#endif

namespace {

// Handling bits: in which form the option was met.
constexpr int ARGPARSE_NEGATED = 1;    // its "no-" form
constexpr int ARGPARSE_LONG_FORM = 2;  // by its long name

// Returned by the option lookups when no record matches.
constexpr int no_such_option = -2;

[[noreturn]] void argparse_exit(int status) {
  ORASAY_ARGPARSE_EXIT(status);
  std::abort();  // a replacement exit function must not return
}

// 0 if str begins with the whole of prefix; otherwise prefix's byte minus
// str's byte, as unsigned chars, where they first differ.
int prefix_cmp(const char *str, const char *prefix) {
  for (;; ++str, ++prefix) {
    if (*prefix == '\0') return 0;
    if (*str != *prefix)
      return static_cast<unsigned char>(*prefix) -
             static_cast<unsigned char>(*str);
  }
}

// The position in str just behind prefix, or null if str does not begin
// with the whole of prefix.
const char *prefix_skip(const char *str, const char *prefix) {
  if (prefix_cmp(str, prefix) != 0) return nullptr;
  return str + strlen(prefix);
}

// Warns about records of an unknown type; the table is used as it is.
void argparse_options_check(const argparse_option *options) {
  for (; options->type != ARGPARSE_TYPE_END; ++options) {
    if (static_cast<unsigned>(options->type) > ARGPARSE_TYPE_STRING)
      fprintf(stderr, "wrong option type: %d", options->type);
  }
}

// Reports a bad or missing value of option, named as its record names it
// in the form that how tells, and ends the process with status 1.
[[noreturn]] void argparse_error(argparse *self, const argparse_option *option,
                                 const char *reason, int how) {
  (void)self;
  if (how & ARGPARSE_LONG_FORM)
    fprintf(stderr, "error: option `--%s` %s\n", option->long_name, reason);
  else
    fprintf(stderr, "error: option `-%c` %s\n", option->short_name, reason);
  argparse_exit(1);
}

// The value text of the option being handled: the pending text if there
// is one (consumed), else the next argument whatever it looks like.
const char *fetch_value(argparse *self, const argparse_option *option,
                        int how) {
  if (self->pending_value != nullptr) {
    const char *text = self->pending_value;
    self->pending_value = nullptr;
    return text;
  }
  if (self->remaining > 1) {
    --self->remaining;
    ++self->cursor;
    return *self->cursor;
  }
  argparse_error(self, option, "requires a value", how);
}

// Stores option's value into the caller's variable, if it has one, then
// runs its callback. Returns the callback's result, or 0 without one.
int argparse_getvalue(argparse *self, const argparse_option *option, int how) {
  if (option->value != nullptr) {
    switch (option->type) {
      case ARGPARSE_TYPE_BOOLEAN: {
        int *counter = static_cast<int *>(option->value);
        if (how & ARGPARSE_NEGATED)
          --*counter;
        else if (*counter < INT_MAX)
          ++*counter;
        if (*counter < 0) *counter = 0;  // the "no-" form stops at 0
        break;
      }
      case ARGPARSE_TYPE_BIT: {
        int *bits = static_cast<int *>(option->value);
        if (how & ARGPARSE_NEGATED)
          *bits &= ~static_cast<int>(option->data);
        else
          *bits |= static_cast<int>(option->data);
        break;
      }
      case ARGPARSE_TYPE_INTEGER: {
        const char *text = fetch_value(self, option, how);
        char *end = nullptr;
        errno = 0;
        long long number = strtoll(text, &end, 0);
        // The variable is a 32-bit int whatever the width of long: clamp
        // as a 32-bit strtol would and report the same range error.
        if (number > INT_MAX) {
          number = INT_MAX;
          errno = ERANGE;
        } else if (number < INT_MIN) {
          number = INT_MIN;
          errno = ERANGE;
        }
        *static_cast<int *>(option->value) = static_cast<int>(number);
        if (errno == ERANGE)
          argparse_error(self, option, "numerical result out of range", how);
        if (*end != '\0')
          argparse_error(self, option, "expects an integer value", how);
        break;
      }
      case ARGPARSE_TYPE_FLOAT: {
        const char *text = fetch_value(self, option, how);
        char *end = nullptr;
        errno = 0;
        *static_cast<float *>(option->value) = strtof(text, &end);
        if (errno == ERANGE)
          argparse_error(self, option, "numerical result out of range", how);
        if (*end != '\0')
          argparse_error(self, option, "expects a numerical value", how);
        break;
      }
      case ARGPARSE_TYPE_STRING:
        *static_cast<const char **>(option->value) =
            fetch_value(self, option, how);
        break;
      default:
        // END, HEADING and unknown types have nowhere to store a value.
        assert(option->value == nullptr && "option type stores no value");
        break;
    }
  }
  if (option->callback != nullptr) return option->callback(self, option);
  return 0;
}

// Handles the first letter of pending_value, the rest of a short-option
// cluster, and leaves the letters behind it pending. Returns -2 when no
// record has that letter, else the value handler's result.
int argparse_short_opt(argparse *self, const argparse_option *options) {
  for (; options->type != ARGPARSE_TYPE_END; ++options) {
    if (options->short_name == *self->pending_value) {
      const char *rest = self->pending_value + 1;
      self->pending_value = *rest != '\0' ? rest : nullptr;
      return argparse_getvalue(self, options, 0);
    }
  }
  return no_such_option;
}

// Handles the current argument as "--name", "--name=value" or
// "--no-name". Returns -2 when no record matches, else the value
// handler's result.
int argparse_long_opt(argparse *self, const argparse_option *options) {
  const char *name = *self->cursor + 2;
  self->pending_value = nullptr;
  for (; options->type != ARGPARSE_TYPE_END; ++options) {
    if (options->long_name == nullptr) continue;
    int how = ARGPARSE_LONG_FORM;
    const char *rest = prefix_skip(name, options->long_name);
    if (rest == nullptr) {
      if (options->flags & ARGPARSE_OPTION_NO_NEGATION) continue;
      if (options->type != ARGPARSE_TYPE_BOOLEAN &&
          options->type != ARGPARSE_TYPE_BIT)
        continue;
      const char *negated = prefix_skip(name, "no-");
      if (negated == nullptr) continue;
      rest = prefix_skip(negated, options->long_name);
      if (rest == nullptr) continue;
      how |= ARGPARSE_NEGATED;
    }
    if (*rest != '\0') {
      if (*rest != '=') continue;  // a longer name: --verbosely
      self->pending_value = rest + 1;
    }
    return argparse_getvalue(self, options, how);
  }
  return no_such_option;
}

// Reports the current argument as unknown and prints the help; ends the
// process unless the caller asked to go on.
void argparse_unknown(argparse *self) {
  fprintf(stderr, "error: unknown option `%s`\n", *self->cursor);
  argparse_usage(self);
  if (!(self->flags & ARGPARSE_NO_EXIT_ON_UNKNOWN)) argparse_exit(1);
}

}  // namespace

extern "C" {

int argparse_init(argparse *self, const argparse_option *options,
                  const char *const *usages, int flags) {
  *self = argparse{};
  self->options = options;
  self->usages = usages;
  self->flags = flags;
  return 0;
}

void argparse_describe(argparse *self, const char *description,
                       const char *epilog) {
  self->description = description;
  self->epilog = epilog;
}

int argparse_parse(argparse *self, int argc, const char **argv) {
  self->remaining = argc - 1;
  self->cursor = argv + 1;
  self->out = argv;
  argparse_options_check(self->options);

  for (; self->remaining != 0; --self->remaining, ++self->cursor) {
    const char *arg = *self->cursor;
    self->pending_value = nullptr;
    if (arg[0] != '-' || arg[1] == '\0') {  // an operand, or a lone "-"
      if (self->flags & ARGPARSE_OPTIONS_FIRST) break;
      self->out[self->kept_count++] = arg;
      continue;
    }
    if (arg[1] != '-') {  // a cluster of short options
      self->pending_value = arg + 1;
      while (self->pending_value != nullptr) {
        if (argparse_short_opt(self, self->options) == no_such_option) {
          argparse_unknown(self);
          break;  // drop the rest of the cluster
        }
      }
      continue;
    }
    if (arg[2] == '\0') {  // "--" ends the options
      --self->remaining;
      ++self->cursor;
      break;
    }
    if (argparse_long_opt(self, self->options) == no_such_option)
      argparse_unknown(self);
  }

  // The unparsed tail follows the gathered operands. Both run forward and
  // the write position never passes the read position, so memmove's
  // overlap handling is all that is needed.
  memmove(self->out + self->kept_count, self->cursor,
          static_cast<size_t>(self->remaining) * sizeof *self->cursor);
  int left = self->kept_count + self->remaining;
  self->out[left] = nullptr;
  return left;
}

void argparse_usage(argparse *self) {
  if (self->usages != nullptr) {
    printf("Usage: %s\n", self->usages[0]);
    for (const char *const *usage = self->usages + 1;
         *usage != nullptr && **usage != '\0'; ++usage)
      printf("   or: %s\n", *usage);
  } else {
    printf("Usage:\n");
  }
  if (self->description != nullptr) printf("%s\n", self->description);
  printf("\n");

  // The help column: the widest left part, each rounded up to a multiple
  // of 4, behind the 4-blank indent. ORDER ARGPARSE PLACEHOLDERS
  size_t width = 0;
  for (const argparse_option *option = self->options;
       option->type != ARGPARSE_TYPE_END; ++option) {
    size_t len = 0;
    if (option->short_name != '\0') len += 2;
    if (option->short_name != '\0' && option->long_name != nullptr) len += 2;
    if (option->long_name != nullptr) len += strlen(option->long_name) + 2;
    if (option->type == ARGPARSE_TYPE_INTEGER ||
        option->type == ARGPARSE_TYPE_FLOAT ||
        option->type == ARGPARSE_TYPE_STRING)
      len += 6;
    len = (len + 3) / 4 * 4;
    if (len > width) width = len;
  }
  width += 4;

  for (const argparse_option *option = self->options;
       option->type != ARGPARSE_TYPE_END; ++option) {
    if (option->type == ARGPARSE_TYPE_HEADING) {
      printf("\n%s\n", option->help);
      continue;
    }
    size_t pos = 4;
    printf("    ");
    if (option->short_name != '\0') {
      printf("-%c", option->short_name);
      pos += 2;
    }
    if (option->short_name != '\0' && option->long_name != nullptr) {
      printf(", ");
      pos += 2;
    }
    if (option->long_name != nullptr) {
      printf("--%s", option->long_name);
      pos += strlen(option->long_name) + 2;
    }
    const char *placeholder = "";
    if (option->type == ARGPARSE_TYPE_INTEGER)
      placeholder = "=<int>";
    else if (option->type == ARGPARSE_TYPE_FLOAT)
      placeholder = "=<flt>";
    else if (option->type == ARGPARSE_TYPE_STRING)
      placeholder = "=<str>";
    printf("%s", placeholder);
    pos += strlen(placeholder);
    printf("%*s%s\n", static_cast<int>(width - pos + 2), "", option->help);
  }

  if (self->epilog != nullptr) printf("%s\n", self->epilog);
}

int argparse_help_cb_no_exit(argparse *self, const argparse_option *option) {
  (void)option;
  argparse_usage(self);
  return 0;
}

int argparse_help_cb(argparse *self, const argparse_option *option) {
  argparse_help_cb_no_exit(self, option);
  argparse_exit(0);
}

}  // extern "C"
