// Markup translator: an automaton over the bytes of the working text that
// finds {{keyword value}} markup and writes engine commands over it.
// See LICENSE.
#include "parse.h"

#include <cstdint>
#include <cstring>

namespace {

// The last name value read by s2s, zero-terminated.
char attr[20];
// The last command built by constructCommand; byte 8 stays zero.
char comm[9];

constexpr char kEsc = 27;
constexpr int kMaxName = sizeof attr - 1;

// Returns the decimal value of the digits in [begin, end), wrapping modulo
// 2^32 as 32-bit arithmetic does; the caller's clamps act on the result.
int32_t s2n(const char *begin, const char *end) {
  uint32_t value = 0;
  for (const char *p = begin; p != end; ++p)
    value = value * 10u + static_cast<uint32_t>(*p - '0');
  return static_cast<int32_t>(value);
}

// Copies the letters in [begin, end), at most kMaxName of them, into attr.
void s2s(const char *begin, const char *end) {
  const size_t n = static_cast<size_t>(end - begin);
  std::memcpy(attr, begin, n);
  attr[n] = '\0';
}

// Encodes letter and value (0 or more, capped at 999) into comm.
void constructCommand(char letter, int32_t value) {
  if (value > 999) value = 999;
  comm[0] = ' ';
  comm[1] = kEsc;
  comm[2] = '[';
  for (int i = 5; i >= 3; --i) {
    comm[i] = static_cast<char>('0' + value % 10);
    value /= 10;
  }
  comm[6] = letter;
  comm[7] = ' ';
}

// Blanks the span from start - 1 through end - 1 (first opening brace to last
// closing brace) and writes comm over its first eight bytes, copying up to the
// first zero byte of comm and zero-filling the rest of the eight.
void writeCommand(char *start, char *end) {
  char *span = start - 1;
  std::memset(span, ' ', static_cast<size_t>(end - span));
  bool ended = false;
  for (int i = 0; i < 8; ++i) {
    ended = ended || comm[i] == '\0';
    span[i] = ended ? '\0' : comm[i];
  }
}

// ORDER KEYWORDS: the keywords, their commands and value mappings.
enum class Value { number, name };

struct Keyword {
  char letter;
  Value kind;
  int32_t low, high;      // clamp of a number value
  const char *names[10];  // name values, index = command value
};

// One keyword to a line, in the order of KeywordId.
// clang-format off
enum KeywordId { email, fast, pause, phoneme, pitch, rate, speakmode, style,
                 voice, volume };

constexpr int32_t kNoLimit = INT32_MAX;

const Keyword keywords[] = {
    {'X', Value::name, 0, 0, {"off", "on"}},
    {'f', Value::number, 0, kNoLimit, {}},
    {'s', Value::number, 0, 250, {}},
    {'I', Value::name, 0, 0, {"off", "on"}},
    {'p', Value::number, 50, 400, {}},
    {'r', Value::number, 50, 250, {}},
    {'P', Value::name, 0, 0, {"word", "normal"}},
    {'c', Value::name, 0, 0, {"normal", "whisper", "monotone"}},
    {'V', Value::name, 0, 0, {"peter", "sidney", "eddie", "douglas", "biff",
                              "amos", "melvin", "alex", "wanda", "julia"}},
    {'a', Value::number, 0, 16, {}},
};
// clang-format on

// Builds the command of a matched number value; volume counts down from 16.
void number_command(KeywordId id, const char *begin, const char *end) {
  const Keyword &kw = keywords[id];
  int32_t value = s2n(begin, end);
  if (value < kw.low) value = kw.low;
  if (value > kw.high) value = kw.high;
  if (id == volume) value = 16 - value;
  constructCommand(kw.letter, value);
}

// Builds the command of a matched name value; false when the name is not
// one of the keyword's (the markup then stays as it was).
bool name_command(KeywordId id, const char *begin, const char *end) {
  if (end - begin > kMaxName) return false;
  s2s(begin, end);
  const Keyword &kw = keywords[id];
  for (int i = 0; i < 10 && kw.names[i]; ++i) {
    if (std::strcmp(attr, kw.names[i]) == 0) {
      constructCommand(kw.letter, i);
      return true;
    }
  }
  return false;
}

// The scanner's states, each named for what has been read so far.
enum class State {
  text,      // outside markup
  open,      // "{{" and blanks
  p,         // "{{p"
  s,         // "{{s"
  v,         // "{{v"
  vo,        // "{{vo"
  spell,     // inside a keyword whose remaining letters are known
  keyword,   // a whole keyword: one blank must follow
  gap,       // keyword and blanks: the value must start
  number,    // inside a number value
  name,      // inside a name value
  trailing,  // value and blanks: more blanks or the first closing brace
  close,     // first closing brace: the second must follow
};

inline bool is_digit(char c) { return c >= '0' && c <= '9'; }
inline bool is_lower(char c) { return c >= 'a' && c <= 'z'; }

}  // namespace

void parse(char *text) {
  State state = State::text;
  char *cursor = text;
  char *marker = nullptr;  // the second opening brace of the attempt
  char *value_begin = nullptr;
  char *value_end = nullptr;
  KeywordId id = email;
  const char *rest = nullptr;  // letters of the keyword still to read

  // Ends the attempt without touching the text; the scan resumes at its
  // second brace, which may itself begin a markup.
  auto fail = [&] {
    cursor = marker;
    state = State::text;
  };
  // Chooses a keyword whose letters from `remaining` on are still to come.
  auto spell = [&](KeywordId k, const char *remaining) {
    id = k;
    rest = remaining;
    state = *rest ? State::spell : State::keyword;
  };

  for (;;) {
    const char c = *cursor;
    switch (state) {
      case State::text:
        // Nothing but "{{" starts a markup: skip to the next brace at once.
        cursor = std::strchr(cursor, '{');
        if (!cursor) return;
        if (cursor[1] == '{') {
          marker = cursor + 1;
          state = State::open;
          cursor += 2;
        } else {
          cursor += 1;
        }
        continue;
      case State::open:
        switch (c) {
          case ' ': break;
          case 'e': spell(email, "mail"); break;
          case 'f': spell(fast, "ast"); break;
          case 'p': state = State::p; break;
          case 'r': spell(rate, "ate"); break;
          case 's': state = State::s; break;
          case 'v': state = State::v; break;
          default: fail(); continue;
        }
        break;
      case State::p:
        switch (c) {
          case 'a': spell(pause, "use"); break;
          case 'h': spell(phoneme, "oneme"); break;
          case 'i': spell(pitch, "tch"); break;
          default: fail(); continue;
        }
        break;
      case State::s:
        switch (c) {
          case 'p': spell(speakmode, "eakmode"); break;
          case 't': spell(style, "yle"); break;
          default: fail(); continue;
        }
        break;
      case State::v:
        if (c != 'o') {
          fail();
          continue;
        }
        state = State::vo;
        break;
      case State::vo:
        switch (c) {
          case 'i': spell(voice, "ce"); break;
          case 'l': spell(volume, "ume"); break;
          default: fail(); continue;
        }
        break;
      case State::spell:
        if (c != *rest) {
          fail();
          continue;
        }
        if (*++rest == '\0') state = State::keyword;
        break;
      case State::keyword:
        if (c != ' ') {
          fail();
          continue;
        }
        state = State::gap;
        break;
      case State::gap:
        if (c == ' ') break;
        if (keywords[id].kind == Value::number ? is_digit(c) : is_lower(c)) {
          value_begin = cursor;
          state =
              keywords[id].kind == Value::number ? State::number : State::name;
          break;
        }
        fail();
        continue;
      case State::number:
      case State::name:
        if (state == State::number ? is_digit(c) : is_lower(c)) break;
        if (c != ' ' && c != '}') {
          fail();
          continue;
        }
        value_end = cursor;
        state = c == ' ' ? State::trailing : State::close;
        break;
      case State::trailing:
        if (c == ' ') break;
        if (c != '}') {
          fail();
          continue;
        }
        state = State::close;
        break;
      case State::close: {
        if (c != '}') {
          fail();
          continue;
        }
        char *end = cursor + 1;
        if (keywords[id].kind == Value::number) {
          number_command(id, value_begin, value_end);
          writeCommand(marker, end);
        } else if (name_command(id, value_begin, value_end)) {
          writeCommand(marker, end);
        }
        cursor = end;
        state = State::text;
        continue;
      }
    }
    ++cursor;
  }
}
