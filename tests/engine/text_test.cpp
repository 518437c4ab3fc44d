// Tests of the escape-command reader and of the text handed to the
// synthesiser.  See LICENSE.
#include "text.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using orasay::engine::append_run;
using orasay::engine::command_reader;
using orasay::engine::piece;
using orasay::engine::read_piece;

// The pieces of a text, written as T<run> and C<letter><value>.
std::string pieces(const std::string &text) {
  command_reader r{text, 0};
  std::string out;
  piece p;
  for (int guard = 0; guard < 100000; ++guard) {
    read_piece(&r, &p);
    if (p.kind == piece::end) return out;
    if (p.kind == piece::text)
      out += "T<" + std::string(p.run) + ">";
    else
      out += "C" + std::string(1, p.letter) + std::to_string(p.value);
  }
  return out + "(no end)";
}

struct row {
  const char *name;
  std::string text;
  std::string expected;
};

TEST(engine_text, reads_commands_and_runs) {
  const row rows[] = {
      {"empty", "", ""},
      {"plain", "hello world", "T<hello world>"},
      {"eight-byte command", "Hello \x1b[007V world", "T<Hello >CV7T< world>"},
      {"command at start", "\x1b[180r x", "Cr180T< x>"},
      {"command at end", "x \x1b[016a", "T<x >Ca16"},
      {"test text", "\x1b[0t\x1b[1t\x1b[9t", "Ct0Ct1Ct9"},
      {"every letter",
       "\x1b[1V\x1b[2r\x1b[3p\x1b[4a\x1b[5s\x1b[6f\x1b[1c\x1b[0P\x1b[1I"
       "\x1b[1X\x1b[3t",
       "CV1Cr2Cp3Ca4Cs5Cf6Cc1CP0CI1CX1Ct3"},
      {"leading zeros", "\x1b[0000100r", "Cr100"},
      {"value capped at 999", "\x1b[123456f", "Cf999"},
      {"adjacent commands", " \x1b[050r  \x1b[001c ", "T< >Cr50T<  >Cc1T< >"},
  };
  for (const row &r : rows) {
    SCOPED_TRACE(r.name);
    EXPECT_EQ(pieces(r.text), r.expected);
  }
}

TEST(engine_text, drops_malformed_sequences) {
  const row rows[] = {
      {"stray ESC", "a\x1b\x80", "T<a>T<\x80>"},
      {"two-byte sequence",
       "a\x1b"
       "b",
       "T<a>"},
      {"three-byte sequence", "a\x1b(Bb\x1b#", "T<a>T<b>"},
      {"window title to BEL", "a\x1b]0;title\x07z", "T<a>T<z>"},
      {"string to ESC backslash", "a\x1bPq#0;2\x1b\\z", "T<a>T<z>"},
      {"string cut by a command", "a\x1b]0;t\x1b[5rz", "T<a>Cr5T<z>"},
      {"string to the end", "a\x1b_apc", "T<a>"},
      {"ESC at end", "ab\x1b", "T<ab>"},
      {"ESC ESC", "\x1b\x1b[5r", "Cr5"},
      {"no digits", "a\x1b[Vb", "T<a>T<b>"},
      {"bracket at end", "a\x1b[", "T<a>"},
      {"digits at end", "a\x1b[12", "T<a>"},
      {"unknown letter dropped with it", "a\x1b[12Zb", "T<a>T<b>"},
      {"unknown lower-case letter", "a\x1b[12qb", "T<a>T<b>"},
      {"colour sequence dropped whole", "a\x1b[1;31mred\x1b[0m.",
       "T<a>T<red>T<.>"},
      {"private sequence", "a\x1b[?25lb", "T<a>T<b>"},
      {"blank inside a sequence", "a\x1b[12 qb", "T<a>T<b>"},
      {"sign", "a\x1b[-5r", "T<a>"},
      {"line end cuts a sequence", "a\x1b[12\nb", "T<a>T<\nb>"},
      {"ESC inside a sequence", "\x1b[1\x1b[2r", "Cr2"},
  };
  for (const row &r : rows) {
    SCOPED_TRACE(r.name);
    EXPECT_EQ(pieces(r.text), r.expected);
  }
}

TEST(engine_text, never_hangs_or_reads_out_of_bounds_on_any_byte) {
  std::string all;
  for (int b = 1; b < 256; ++b) {
    all.push_back(char(b));
    all += "\x1b[";
    all.push_back(char(b));
  }
  const std::string p = pieces(all);
  EXPECT_EQ(p.find("(no end)"), std::string::npos);
  EXPECT_EQ(p.find('\x1b'), std::string::npos);
}

TEST(engine_text, prepares_runs_for_the_synthesiser) {
  struct case_row {
    const char *name;
    std::string run;
    bool email;
    std::string expected;
  };
  const case_row rows[] = {
      {"plain", "Hello.", false, "Hello."},
      {"eSpeak's command byte is a blank",
       "a\x01"
       "50Sb",
       false, "a 50Sb"},
      {"controls become blanks", std::string("a\x02\x1f\tb\n", 6), false,
       "a \tb\n"},
      {"e-mail off", "a.b@c.org", false, "a.b@c.org"},
      {"address", "a.b@c.org", true, "a dot b at c dot org"},
      {"URL", "x.org/a_b-c:d", true,
       "x dot org slash a underscore b dash c colon d"},
      {"full stop before a blank stays", "ends. Next", true, "ends. Next"},
      {"full stop at the end stays", "ends.", true, "ends."},
  };
  for (const case_row &r : rows) {
    SCOPED_TRACE(r.name);
    std::string out;
    append_run(&out, r.run, r.email);
    // Collapse the blanks that spelling adds around words.
    std::string collapsed;
    for (char c : out)
      if (!(c == ' ' && !collapsed.empty() && collapsed.back() == ' '))
        collapsed.push_back(c);
    while (!collapsed.empty() && collapsed.back() == ' ') collapsed.pop_back();
    if (!collapsed.empty() && collapsed.front() == ' ') collapsed.erase(0, 1);
    EXPECT_EQ(collapsed, r.expected);
  }
}

}  // namespace
