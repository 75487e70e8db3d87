// SPDX-License-Identifier: LGPL-2.1-or-later
// TCP link seam: the stream socket to a network gateway in front of the
// register.  The connection rules are in tcp.cpp, the socket primitives of
// each platform behind tcp_socket.h (tcp_posix.cpp, tcp_win32.cpp).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace termina::link {

class TcpLink {
 public:
  TcpLink() = default;
  ~TcpLink();
  TcpLink(const TcpLink&) = delete;
  TcpLink& operator=(const TcpLink&) = delete;

  // Connects to host:port.  A host beginning with a digit is taken as a
  // dotted IPv4 address, anything else is looked up by name (first IPv4
  // address).  Receive time-out 5000 ms; the connect itself may take at
  // most 2000 ms.  Returns 0, 80 for any failure of look-up, options or
  // connect, or the socket error number (cut to 16 bits) when no socket
  // could be created.  On failure everything opened is closed again and
  // the link is inactive.
  uint16_t connect(const std::string& host, const std::string& port);

  // Closes the socket when connected; always leaves the link inactive.
  void close();

  bool active() const { return active_; }
  bool connected() const { return connected_; }

  // Sends all bytes; returns how many the socket took.
  std::size_t send(const uint8_t* data, std::size_t n);

  // Receives up to max bytes, waiting at most ms (at most the receive
  // time-out; 0: only what has already arrived); a receive interrupted by
  // a signal is retried.  0 on time-out, error or a closed connection.
  std::size_t receive(uint8_t* buf, std::size_t max, int ms = kReceiveTimeoutMs);

  static constexpr int kReceiveTimeoutMs = 5000;
  static constexpr int kConnectTimeoutMs = 2000;

 private:
  // A socket descriptor or a Winsock SOCKET, held as an integer.
  static constexpr std::intptr_t kNoSocket = -1;
  std::intptr_t sock_ = kNoSocket;
  bool active_ = false;
  bool connected_ = false;
};

}  // namespace termina::link
