// SPDX-License-Identifier: GPL-3.0-or-later
// Raw byte clients for the simulator's transports: a pty opened like a
// serial port, and a TCP socket.  Every read is bounded by a time-out.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace termina::sim::test {

using Bytes = std::vector<uint8_t>;

class WireClient {
 public:
  static WireClient pty(const std::string& path);
  static WireClient tcp(uint16_t port);
  WireClient(WireClient&& o) noexcept;
  WireClient& operator=(WireClient&&) = delete;
  ~WireClient();

  bool write(const Bytes& b);
  // Reads until a complete reply frame (STX .. ETX cs cs) has arrived after
  // any leading bytes, or the time-out; returns everything read.
  Bytes readReply(std::chrono::milliseconds timeout = std::chrono::milliseconds(3000));
  // Reads exactly n bytes or until the time-out.
  Bytes readN(size_t n, std::chrono::milliseconds timeout = std::chrono::milliseconds(3000));
  // Reads whatever arrives within the time.
  Bytes readFor(std::chrono::milliseconds time);
  // True when the peer closed the connection within the time-out.
  bool waitClosed(std::chrono::milliseconds timeout);
  int fd() const { return fd_; }

 private:
  explicit WireClient(int fd, bool tcp) : fd_(fd), tcp_(tcp) {}
  int readSome(uint8_t* buf, size_t n, int timeoutMs);
  int fd_;
  bool tcp_;
};

// The frame part of a reply: from the first STX on.
Bytes fromStx(const Bytes& b);
Bytes bytesOf(const std::string& s);
// Result code of a reply (digits at positions 4 and 5 after STX); -1 if none.
int resultOf(const Bytes& reply);
// Reply fields decoded from code page 866 to UTF-8.
std::vector<std::string> fieldsOf(const Bytes& reply);
// Request frame for a body given in UTF-8 (converted to code page 866).
Bytes request(const std::string& bodyUtf8, const std::string& password = "WKRD", uint8_t id = 0x20);

// The status request A0 with the empty password and packet id 0x20, inside
// its TCP envelope.
inline const Bytes kStatusTcp = {0x01, 0x07, 0x00, 0x02, 0x20, 0x41, 0x30, 0x03, 0x35, 0x32, 0x51};

// A path for a pty link of this test process in the test's temporary
// folder; `tag` tells the links of one process apart.
std::string linkPath(const std::string& tag);

}  // namespace termina::sim::test
