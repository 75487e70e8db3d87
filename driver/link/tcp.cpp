// SPDX-License-Identifier: LGPL-2.1-or-later
#include "tcp.h"

#include "tcp_socket.h"

#include <cstdlib>

namespace termina::link {

TcpLink::~TcpLink() { close(); }

uint16_t TcpLink::connect(const std::string& host, const std::string& port) {
  active_ = true;
  auto fail = [this](uint16_t code, bool libraryStarted) {
    if (sock_ != kNoSocket) {
      sock::close(sock_);
      sock_ = kNoSocket;
    }
    if (libraryStarted) sock::releaseLibrary();
    active_ = false;
    connected_ = false;
    return code;
  };
  if (!sock::startLibrary()) return fail(80, false);

  uint32_t address = 0;
  if (!sock::resolve(host, address)) return fail(80, true);
  const auto portNumber = static_cast<uint16_t>(std::strtoul(port.c_str(), nullptr, 10));

  int error = 0;
  sock_ = sock::open(error);
  if (sock_ == kNoSocket) return fail(static_cast<uint16_t>(error), true);
  if (!sock::setReceiveTimeout(sock_, kReceiveTimeoutMs)) return fail(80, true);
  if (!sock::connectWithin(sock_, address, portNumber, kConnectTimeoutMs)) return fail(80, true);
  connected_ = true;
  return 0;
}

void TcpLink::close() {
  if (connected_) {
    if (sock_ != kNoSocket) sock::close(sock_);
    sock_ = kNoSocket;
    sock::releaseLibrary();
    connected_ = false;
  }
  active_ = false;
}

std::size_t TcpLink::send(const uint8_t* data, std::size_t n) {
  return sock_ == kNoSocket ? 0 : sock::send(sock_, data, n);
}

std::size_t TcpLink::receive(uint8_t* buf, std::size_t max, int ms) {
  if (sock_ == kNoSocket) return 0;
  return sock::receive(sock_, buf, max, ms < 0 ? 0 : ms > kReceiveTimeoutMs ? kReceiveTimeoutMs : ms);
}

}  // namespace termina::link
