// SPDX-License-Identifier: GPL-3.0-or-later
// Timing of a serial line at a given rate, 8N1: every byte takes ten bit
// times on the wire.  The simulator's transports (a pseudo-terminal, a local
// socket) move bytes at memory speed; with pacing on, what the simulator
// writes is released no earlier than it would have finished crossing a real
// line, and what it reads is accounted the same way, so that no answer
// starts before the request could have arrived.
//
// One LinePacing belongs to one connection and is used by its serving thread
// only.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>

namespace termina::sim {

class LinePacing {
 public:
  using Clock = std::chrono::steady_clock;

  explicit LinePacing(unsigned baud = 0) { setBaud(baud); }

  // 0 turns pacing off.  A change takes effect with the next bytes.
  void setBaud(unsigned baud);
  unsigned baud() const { return baud_; }
  bool enabled() const { return baud_ != 0; }

  // Time n bytes take on the line (10 bits each); zero when pacing is off.
  Clock::duration wireTime(size_t n) const;

  // n bytes were read at `now`: they finish arriving n byte times after the
  // later of `now` and the end of the bytes received before them.
  void received(size_t n, Clock::time_point now = Clock::now());
  // When everything received so far has finished arriving.
  Clock::time_point inputDone() const { return inputDone_; }

  // Starts the transmission of n bytes: they go out back to back from the
  // later of `now`, the end of the input received so far (the simulator
  // answers only what it has fully heard) and the end of the previous
  // output.
  void beginSend(size_t n, Clock::time_point now = Clock::now());
  // When byte `index` (0-based) of the current transmission has crossed the
  // line completely.
  Clock::time_point dueAt(size_t index) const;
  // How many bytes from `index` on have crossed the line by `now` (at most
  // the rest of the transmission; 0 when byte `index` is still on its way).
  size_t dueFrom(size_t index, Clock::time_point now = Clock::now()) const;

  // Sleeps until `t` with microsecond precision, or until `wakeFd` (when
  // >= 0) becomes readable.  Returns false when woken by `wakeFd`.
  static bool sleepUntil(Clock::time_point t, int wakeFd);

 private:
  unsigned baud_ = 0;
  Clock::time_point inputDone_{};
  Clock::time_point sendStart_{};
  size_t sendCount_ = 0;
  Clock::time_point outputDone_{};
};

}  // namespace termina::sim
