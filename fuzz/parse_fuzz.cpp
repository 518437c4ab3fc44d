// Fuzz target of the markup translator: parse over arbitrary bytes, checked
// against the translator's contract.  See LICENSE.
//
// The input, with a zero byte appended, is the working text; parse sees it up
// to its first zero byte.  After parse:
//   - the text has kept its length, and nothing from its terminator on has
//     changed;
//   - every changed byte lies in a rewritten span: a markup of the input that
//     now holds a well-formed eight-byte command (blank, ESC, '[', three
//     digits, a letter of "XfsIprPcVa", blank) followed by blanks, and the
//     command is the one its keyword and value call for;
//   - no markup that should have been rewritten is left as it was.
// A rewritten span begins with '{' in the input and with a blank in the
// output, so the first changed byte at or after the end of the previous span
// is the start of the next one: walking the text from left to right finds
// every span without guessing.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "parse.h"

namespace {

// ORDER KEYWORDS: the markup language, restated independently of parse.cpp.
struct Keyword {
  const char *name;
  char letter;
  bool number;            // a number value, else a name value
  int32_t low, high;      // clamp of a number value
  const char *names[11];  // name values, index = command value; null ends
};

const Keyword keywords[] = {
    {"email", 'X', false, 0, 0, {"off", "on"}},
    {"fast", 'f', true, 0, 999, {}},
    {"pause", 's', true, 0, 250, {}},
    {"phoneme", 'I', false, 0, 0, {"off", "on"}},
    {"pitch", 'p', true, 50, 400, {}},
    {"rate", 'r', true, 50, 250, {}},
    {"speakmode", 'P', false, 0, 0, {"word", "normal"}},
    {"style", 'c', false, 0, 0, {"normal", "whisper", "monotone"}},
    {"voice",
     'V',
     false,
     0,
     0,
     {"peter", "sidney", "eddie", "douglas", "biff", "amos", "melvin", "alex",
      "wanda", "julia"}},
    {"volume", 'a', true, 0, 16, {}},
};

// A markup found in the input.
struct Markup {
  size_t length = 0;       // from the first '{' through the last '}'
  bool rewritten = false;  // a number, or a name in the keyword's list
  char letter = 0;
  int32_t value = 0;  // what the command's three digits must say
};

// Matches the markup grammar at p: "{{", blanks, keyword, one or more
// blanks, value, blanks, "}}", where a blank is byte 32 alone.  Returns
// false when p does not start a markup.
bool match_markup(const char *p, Markup *m) {
  const char *q = p;
  if (q[0] != '{' || q[1] != '{') return false;
  q += 2;
  while (*q == ' ') ++q;
  const Keyword *kw = nullptr;
  for (const Keyword &k : keywords) {
    const size_t len = std::strlen(k.name);
    if (std::strncmp(q, k.name, len) == 0 && q[len] == ' ') {
      kw = &k;
      q += len;
      break;
    }
  }
  if (!kw) return false;
  while (*q == ' ') ++q;
  const char *value = q;
  if (kw->number) {
    while (*q >= '0' && *q <= '9') ++q;
  } else {
    while (*q >= 'a' && *q <= 'z') ++q;
  }
  const char *value_end = q;
  if (value_end == value) return false;
  while (*q == ' ') ++q;
  if (q[0] != '}' || q[1] != '}') return false;
  m->length = static_cast<size_t>(q + 2 - p);
  m->letter = kw->letter;
  if (kw->number) {
    uint32_t n = 0;  // long digit runs wrap modulo 2^32, then clamp
    for (const char *d = value; d != value_end; ++d)
      n = n * 10u + static_cast<uint32_t>(*d - '0');
    int32_t v = static_cast<int32_t>(n);
    if (v < kw->low) v = kw->low;
    if (v > kw->high) v = kw->high;
    if (kw->letter == 'a') v = 16 - v;  // volume counts down
    m->value = v;
    m->rewritten = true;
  } else {
    const size_t len = static_cast<size_t>(value_end - value);
    for (int i = 0; kw->names[i]; ++i) {
      if (std::strlen(kw->names[i]) == len &&
          std::memcmp(kw->names[i], value, len) == 0) {
        m->value = i;
        m->rewritten = true;
      }
    }
  }
  return true;
}

[[noreturn]] void fail(const char *what, size_t at) {
  std::fprintf(stderr, "parse_fuzz: %s at byte %zu\n", what, at);
  std::abort();
}

// True when cmd holds blank, ESC, '[', three digits, a command letter and a
// blank.
bool well_formed_command(const char *cmd) {
  if (cmd[0] != ' ' || cmd[1] != 27 || cmd[2] != '[' || cmd[7] != ' ')
    return false;
  for (int i = 3; i < 6; ++i)
    if (cmd[i] < '0' || cmd[i] > '9') return false;
  return cmd[6] != '\0' && std::strchr("XfsIprPcVa", cmd[6]) != nullptr;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  std::vector<char> in(size + 1, '\0');
  if (size) std::memcpy(in.data(), data, size);
  std::vector<char> out = in;
  parse(out.data());

  const size_t n = std::strlen(in.data());
  if (std::memchr(out.data(), '\0', n) != nullptr)
    fail("the text became shorter", n);
  if (std::memcmp(in.data() + n, out.data() + n, size + 1 - n) != 0)
    fail("the terminator or a byte after it changed", n);

  size_t i = 0;
  while (i < n) {
    Markup m;
    const bool markup = match_markup(in.data() + i, &m);
    if (in[i] == out[i]) {
      if (markup && m.rewritten) fail("markup left unconverted", i);
      ++i;
      continue;
    }
    if (!markup) fail("byte changed outside any markup", i);
    if (!m.rewritten) fail("markup with an unknown name changed", i);
    if (!well_formed_command(out.data() + i))
      fail("rewritten span without a well-formed command", i);
    char expected[9];
    std::snprintf(expected, sizeof expected, " \x1b[%03d%c ", m.value,
                  m.letter);
    if (std::memcmp(out.data() + i, expected, 8) != 0)
      fail("wrong command for the markup", i);
    for (size_t j = i + 8; j < i + m.length; ++j)
      if (out[j] != ' ') fail("rewritten span not blank after the command", j);
    i += m.length;
  }
  return 0;
}
