// Text and escape commands: splits a text into plain runs and the engine's
// escape commands.  See LICENSE.
#include "text.h"

#include <algorithm>
#include <cstring>

namespace orasay::engine {

namespace {

constexpr char esc = 27;
constexpr char bel = 7;
constexpr char can = 24;
constexpr char sub = 26;
constexpr const char *command_letters = "VrpasfcPIXt";

bool is_digit(char c) { return c >= '0' && c <= '9'; }

bool is_command_letter(char c) {
  return c != 0 && std::strchr(command_letters, c) != nullptr;
}

// What a symbol reads as in e-mail mode, or null for other bytes.
const char *spelled_symbol(char c) {
  switch (c) {
    case '@': return "at";
    case '.': return "dot";
    case '/': return "slash";
    case ':': return "colon";
    case '-': return "dash";
    case '_': return "underscore";
    default: return nullptr;
  }
}

}  // namespace

void read_piece(command_reader *self, piece *out) {
  enum class state {
    start,
    in_run,
    after_esc,
    in_sequence,
    in_escape,
    in_string
  };
  const std::string_view t = self->text;
  std::size_t p = self->pos;
  std::size_t run_begin = p;
  long value = 0;
  bool digits_only = true;  // the sequence so far is ESC '[' and digits
  bool any_digit = false;
  state st = state::start;
  *out = piece{};
  for (;;) {
    const bool at_end = p >= t.size();
    const char c = at_end ? 0 : t[p];
    const auto u = static_cast<unsigned char>(c);
    switch (st) {
      case state::start:
        if (at_end) {
          self->pos = p;
          return;
        }
        if (c == esc) {
          st = state::after_esc;
        } else {
          run_begin = p;
          st = state::in_run;
        }
        ++p;
        break;
      case state::in_run:
        if (at_end || c == esc) {  // the run ends before the ESC
          out->kind = piece::text;
          out->run = t.substr(run_begin, p - run_begin);
          self->pos = p;
          return;
        }
        ++p;
        break;
      case state::after_esc:
        // A blank is no intermediate byte here: an ESC typed before a blank
        // is a stray ESC, and the word after the blank stays whole.
        if (at_end || u <= 0x20 || u > 0x7E) {
          st = state::start;  // a stray ESC: dropped
        } else {
          ++p;
          if (c == '[') {
            st = state::in_sequence;
            value = 0;
            digits_only = true;
            any_digit = false;
          } else if (std::strchr("]PX^_", c) != nullptr) {
            st = state::in_string;  // OSC, DCS, SOS, PM, APC
          } else if (u <= 0x2F) {
            st = state::in_escape;  // an intermediate byte
          } else {
            st = state::start;  // ESC and a final byte ("ESC c")
          }
        }
        break;
      case state::in_sequence:
        // A control sequence as terminals read it: parameter and
        // intermediate bytes (0x20-0x3F), then one final byte (0x40-0x7E).
        // Only digits and a command letter make a command; any other
        // sequence is dropped whole.  A byte outside those ranges ends it
        // early, and is left for the next run.
        if (at_end || u < 0x20 || u > 0x7E) {
          st = state::start;
        } else if (u <= 0x3F) {
          if (is_digit(c)) {
            value = std::min(value * 10 + (c - '0'), 999L);
            any_digit = true;
          } else {
            digits_only = false;
          }
          ++p;
        } else {
          ++p;
          if (digits_only && any_digit && is_command_letter(c)) {
            out->kind = piece::command;
            out->letter = c;
            out->value = static_cast<int>(value);
            self->pos = p;
            return;
          }
          st = state::start;
        }
        break;
      case state::in_escape:
        // ESC, intermediate bytes (0x21-0x2F) and one final byte
        // (0x30-0x7E): "ESC ( B".  Another byte ends it early, as above.
        if (!at_end && u > 0x20 && u <= 0x7E) {
          ++p;
          if (u >= 0x30) st = state::start;
        } else {
          st = state::start;
        }
        break;
      case state::in_string:
        // A control string runs to BEL or to the next ESC, which begins its
        // terminator ESC '\' or another sequence; CAN and SUB cancel it.
        if (at_end || c == esc) {
          st = state::start;
        } else {
          ++p;
          if (c == bel || c == can || c == sub) st = state::start;
        }
        break;
    }
  }
}

void append_run(std::string *out, std::string_view run, bool email) {
  out->reserve(out->size() + run.size());
  for (std::size_t i = 0; i < run.size(); ++i) {
    const char c = run[i];
    const auto u = static_cast<unsigned char>(c);
    if (u < 32 && c != '\t' && c != '\n' && c != '\r') {
      out->push_back(' ');
      continue;
    }
    if (email) {
      const char *word = spelled_symbol(c);
      const bool next_blank =
          i + 1 >= run.size() || static_cast<unsigned char>(run[i + 1]) <= ' ';
      if (word != nullptr && !(c == '.' && next_blank)) {
        out->push_back(' ');
        out->append(word);
        out->push_back(' ');
        continue;
      }
    }
    out->push_back(c);
  }
}

}  // namespace orasay::engine
