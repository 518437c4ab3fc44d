// Fuzz target of the engine's reading of a text: the escape-command reader
// and the preparation of plain runs for the synthesiser, over arbitrary
// bytes.  See LICENSE.
//
// Checked:
//   - the reader ends, moves forward with every piece, and keeps returning
//     the end once it has returned it;
//   - a text piece is a non-empty part of the input that holds no ESC, so no
//     byte of an escape sequence is ever spoken;
//   - a command has a known letter and a value from 0 to 999;
//   - a prepared run holds no control byte but tab, line feed and carriage
//     return, so no input byte can act as one of eSpeak NG's own commands.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "text.h"

namespace {

void check(bool ok) {
  if (!ok) std::abort();
}

void check_prepared(std::string_view run, bool email) {
  std::string out;
  orasay::engine::append_run(&out, run, email);
  for (const char c : out) {
    const auto u = static_cast<unsigned char>(c);
    check(u >= 32 || c == '\t' || c == '\n' || c == '\r');
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  using orasay::engine::piece;
  const std::string_view text(reinterpret_cast<const char *>(data), size);
  orasay::engine::command_reader reader{text, 0};
  piece p;
  for (size_t count = 0;; ++count) {
    check(count <= size);
    const size_t before = reader.pos;
    orasay::engine::read_piece(&reader, &p);
    if (p.kind == piece::end) break;
    check(reader.pos > before && reader.pos <= size);
    if (p.kind == piece::text) {
      check(!p.run.empty());
      check(p.run.data() >= text.data() + before &&
            p.run.data() + p.run.size() <= text.data() + reader.pos);
      check(p.run.find('\x1b') == std::string_view::npos);
      check_prepared(p.run, false);
      check_prepared(p.run, true);
    } else {
      check(p.letter != 0 && std::strchr("VrpasfcPIXt", p.letter) != nullptr);
      check(p.value >= 0 && p.value <= 999);
    }
  }
  orasay::engine::read_piece(&reader, &p);
  check(p.kind == piece::end);
  return 0;
}
