// SPDX-License-Identifier: LGPL-2.1-or-later
// Exchange trace: every event on the line (frame sent, reply received, ACK,
// ENQ, CAN, raw bytes, silence, failure) is decoded once into an Event and
// given, as one readable line, to the trace file named by TERMINA_TRACE
// ("-": standard error) and, as a record, to the session's sink.  Both are
// off by default, and nothing is decoded while both are off.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace termina::link::trace {

enum class Dir { Out, In, Note };

// What an event is (values as the session interface's trace kinds).
enum class Kind { Frame = 0, Enq = 1, Ack = 2, Can = 3, Raw = 4, Silence = 5, Failure = 6 };

// One event, decoded.
struct Event {
  Dir dir = Dir::Note;
  Kind kind = Kind::Raw;
  std::chrono::nanoseconds since{0};  // since the session opened (the library loaded)
  std::string_view what;              // the driver's own words for an event that is no frame
  std::string_view line;              // the bytes as they went over the line
  int command = -1;                   // a request's code; a reply: the code of the request it answers
  const char* name = nullptr;         // the command's name, when known
  int result = -1;                    // a reply's result code, a failure's code
  std::vector<std::string> fields;    // a frame's fields, UTF-8
  bool checksumOk = true;             // a reply's checksum
};

// A session's receiver of its events; `text` is the event's line.
class Sink {
 public:
  virtual ~Sink() = default;
  // Cheap test made before anything is decoded.
  virtual bool active() const = 0;
  virtual void event(const Event& e, const std::string& text) = 0;
};

// Re-reads TERMINA_TRACE (done at load and by every port check).
void configure();

// True when a trace file is configured.
bool enabled();

// Decodes one event of the calling thread's session (`frame`: the request
// or reply frame within `line`, empty when the event is no frame; `code`:
// a failure's code) and hands it on, when anything listens.
void emit(Dir dir, Kind kind, std::string_view what, std::string_view line, std::string_view frame = {}, int code = -1);

// A note of the driver's own, to the trace file only.
void note(std::string_view what);

// The name of a command, from its code and, for the query commands that
// take a selector, its first field; null for an unknown code.
const char* commandName(int command, const std::vector<std::string>& fields);

// The event as one line, without the line end: seconds since the start,
// the direction (-> out, <- in, -- note), then the command code and name,
// the result code with its name and text, and the fields in quotes; ENQ,
// ACK and CAN by name; other bytes in hexadecimal and as text.
std::string format(const Event& e);

}  // namespace termina::link::trace
