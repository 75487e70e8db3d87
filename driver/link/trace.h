// SPDX-License-Identifier: LGPL-2.1-or-later
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

// What an event is, for a session's sink (values as the session interface's
// trace kinds).
enum class Kind { Frame = 0, Enq = 1, Ack = 2, Can = 3, Raw = 4, Silence = 5, Failure = 6 };

// A session's receiver of its exchange events: `line` the bytes as they
// went over the line, `frame` the request or reply frame within them (empty
// when the event is no frame), `code` the code of a failure.
class Sink {
 public:
  virtual ~Sink() = default;
  virtual void event(Dir dir, Kind kind, std::string_view line, std::string_view frame, int code) = 0;
};

// Re-reads TERMINA_TRACE (done at load and by every port check).
void configure();

// True when a trace file is configured; callers test it before building
// anything to trace, so the trace costs nothing when off.
bool enabled();

void bytes(Dir dir, std::string_view what, std::string_view data);
void note(std::string_view what);

}  // namespace termina::link::trace
