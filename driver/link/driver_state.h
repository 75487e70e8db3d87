// SPDX-License-Identifier: LGPL-2.1-or-later
// A session's driver state: the channel (serial port or TCP link), the
// data-exchange password, the packet id and the long-reply event, with the
// session's patience, the deadline of its running call and its trace sink.
// The original interface works on the default session, created when the
// library loads and closed when it unloads; the session interface binds its
// own sessions to the calling thread for the length of a call (SessionScope),
// and the link layer works on whichever state() gives.  Commands on one
// session run one at a time; the only calls that may overlap a running
// command are the raw control-byte writes (CAN), so the read-ahead buffer
// that both the reader and a purge touch is the one piece kept under a lock.
#pragma once

#include "event.h"
#include "serial.h"
#include "tcp.h"
#include "trace.h"

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>

namespace termina::link {

class Channel {
 public:
  SerialPort serial;
  TcpLink tcp;

  // TCP mode: the link's active flag is set.
  bool tcpMode() const { return tcp.active(); }

  // One byte, waiting at most waitMs, and never longer than a full read
  // wait: 500 ms (serial) or the socket's receive time-out (TCP); -1 waits
  // the full read wait.  Bytes beyond the first that one system call
  // brought are kept for the next calls.
  std::optional<uint8_t> readByte(int waitMs = -1);

  // The longest single read wait of the channel.
  int fullWaitMs() const { return tcpMode() ? TcpLink::kReceiveTimeoutMs : kSerialTimeoutMs; }

  // TCP: everything that has already arrived (read-ahead included), read
  // without waiting and taken off the link.
  std::string takeArrived();

  // Serial: discards pending input (read-ahead included) when asked, then
  // writes with the 500 ms write limit.  TCP: sends the bytes as they are.
  // Returns the number of bytes taken.
  std::size_t write(const uint8_t* data, std::size_t n, bool purgeFirst);

  void purgeInput();
  void closeSerial();
  void closeAll();

  static constexpr int kSerialTimeoutMs = 500;

  // A request went out (at owedSince) whose reply has not been collected
  // whole: the call ended early (its deadline, a broken exchange).  The
  // register may still send that reply, so it is waited out before the next
  // request.  Only the thread running the session's call touches it;
  // closing clears it.
  bool replyOwed = false;
  std::chrono::steady_clock::time_point owedSince{};
  void owe() {
    replyOwed = true;
    owedSince = std::chrono::steady_clock::now();
  }

 private:
  std::mutex lock_;
  std::array<uint8_t, 256> ahead_{};
  std::size_t aheadPos_ = 0;
  std::size_t aheadLen_ = 0;
};

struct DriverState {
  Channel channel;
  std::string password;  // at most kMaxPassword characters
  uint8_t packetId = 0x20;
  sys::ManualResetEvent longReply{true};
  // Silent read waits before 48; 0 follows TRMATMOUT.
  unsigned patience = 0;
  // The running call's overall limit; none for the original interface.
  std::optional<sys::Deadline> deadline;
  // Receives the session's exchange events decoded; none by default.
  std::atomic<trace::Sink*> sink{nullptr};
  // The trace's start, and the request the next reply answers.
  std::chrono::steady_clock::time_point traceEpoch = std::chrono::steady_clock::now();
  int traceCommand = -1;
  const char* traceName = nullptr;
  bool traceSecretReply = false;  // the awaited reply carries a password

  static constexpr std::size_t kMaxPassword = 59;
  void setPassword(std::string_view text) { password = std::string(text.substr(0, kMaxPassword)); }
};

// The session bound to the calling thread, else the default session.
DriverState& state();
// The default session: the one the original interface's functions use.
DriverState& defaultState();
// The session bound to the calling thread, or null.
DriverState* boundSession();

// Binds a session to the calling thread until the scope ends.
class SessionScope {
 public:
  explicit SessionScope(DriverState& s);
  ~SessionScope();
  SessionScope(const SessionScope&) = delete;
  SessionScope& operator=(const SessionScope&) = delete;

 private:
  DriverState* previous_;
};

}  // namespace termina::link
