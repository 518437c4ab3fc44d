// Text and escape commands: splits a text into plain runs and the engine's
// escape commands.  See LICENSE.
#ifndef ORASAY_ENGINE_TEXT_H
#define ORASAY_ENGINE_TEXT_H

#include <string>
#include <string_view>

namespace orasay::engine {

// One piece of a text: a run of plain text, or one escape command.
struct piece {
  enum kind_type { end, text, command } kind = end;
  std::string_view run;  // kind text: the bytes of the run, never empty
  char letter = 0;       // kind command: one of "VrpasfcPIXt"
  int value = 0;         // kind command: the decimal value, at most 999
};

// The reader's state: the text and the position of the next unread byte.
struct command_reader {
  std::string_view text;
  std::size_t pos = 0;
};

// An escape command is ESC '[' one or more decimal digits and a command
// letter; the program writes it as blank, ESC, '[', three digits, letter,
// blank, and its test text as ESC '[' digit 't'.  Values above 999 read as
// 999.  Every other escape sequence is dropped whole, read as terminals
// read them: a control sequence (ESC '[', bytes 0x20-0x3F, one final byte
// 0x40-0x7E: "ESC[1;31m"); a control string (ESC and one of ] P X ^ _,
// as for a window title "ESC]0;title BEL") up to and with BEL, CAN or SUB,
// or up to the next ESC (its terminator ESC '\' is itself dropped as
// the next sequence); any other sequence (ESC, bytes 0x21-0x2F, one final
// byte 0x30-0x7E: "ESC c", "ESC ( B").  A sequence cut short by another
// byte is dropped up to that byte, and an ESC followed by none of these
// alone.  So none of their bytes is ever spoken.
//
// Returns the next piece of the text in *out; kind end once the text is
// used up, and from then on.
void read_piece(command_reader *self, piece *out);

// Appends the run to *out as text for the synthesiser: control bytes other
// than tab, line feed and carriage return become blanks, so that no byte of
// the text can act as one of eSpeak NG's own inline commands (byte 1).  In
// e-mail mode the symbols of addresses and URLs are spelled out as words
// ("at", "dot", "slash", ...); a full stop is spelled only when a non-blank
// byte follows it, so sentence ends stay sentence ends.
void append_run(std::string *out, std::string_view run, bool email);

}  // namespace orasay::engine

#endif  // ORASAY_ENGINE_TEXT_H
