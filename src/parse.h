// Markup translator: rewrites {{keyword value}} markup into engine commands.
// See LICENSE.
#ifndef ORASAY_PARSE_H
#define ORASAY_PARSE_H

// Rewrites, in place, every well-formed markup {{keyword value}} of the
// zero-terminated text into the engine's eight-byte escape command (blank,
// ESC, '[', three digits, command letter, blank) followed by blanks up to the
// end of the markup.  Every other byte, malformed markup and markup with an
// unknown name value included, is left as it was; the text keeps its length.
// Not reentrant: the translator keeps its last command in a static buffer.
void parse(char *text);

#endif  // ORASAY_PARSE_H
