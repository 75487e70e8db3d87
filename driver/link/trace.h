// Exchange trace: when TERMINA_TRACE names a file, every event on the line
// (frame sent, reply received, ACK, ENQ, CAN, raw bytes, time-out, raised
// code) is appended to it as one line: a timestamp, the direction, the bytes
// in hexadecimal and their text decoded from code page 866.  Off unless the
// variable is set; a file that cannot be written is skipped silently.
#pragma once

#include <cstdint>
#include <string_view>

namespace termina::link::trace {

enum class Dir { Out, In, Note };

// Re-reads TERMINA_TRACE (done at load and by every port check).
void configure();

// True when a trace file is configured; callers test it before building
// anything to trace, so the trace costs nothing when off.
bool enabled();

void bytes(Dir dir, std::string_view what, std::string_view data);
void note(std::string_view what);

}  // namespace termina::link::trace
