// SPDX-License-Identifier: LGPL-2.1-or-later
// Serial port seam.  serial_posix.cpp implements it on a terminal device,
// serial_win32.cpp on a Windows COM port; the build picks one.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace termina::link {

class SerialPort {
 public:
  SerialPort() = default;
  ~SerialPort();
  SerialPort(const SerialPort&) = delete;
  SerialPort& operator=(const SerialPort&) = delete;

  // Opens an existing device for reading and writing, exclusively, and
  // sets the line: the given baud rate, 8 data bits, no parity, raw
  // binary transfer, XON/XOFF output flow control off.  Stop bits,
  // hardware handshake, modem control lines and input flow control stay as
  // the port had them.  False on failure (errorText() says why).
  bool open(const std::string& path, unsigned baud);
  void close();
  bool isOpen() const { return handle_ != kNone; }
  // The system's text for the last failure of open().
  std::string errorText() const;

  // Waits at most timeoutMs for input and reads what is there, up to max
  // bytes.  0 means nothing arrived in time (or the port failed).
  std::size_t read(uint8_t* buf, std::size_t max, int timeoutMs);

  // Writes the bytes; the whole write must finish within timeoutMs.
  // Returns the number of bytes the port took.
  std::size_t write(const uint8_t* data, std::size_t n, int timeoutMs);

  // Discards input received but not yet read.
  void purgeInput();

 private:
  // A file descriptor, or a Windows handle held as an integer.
  static constexpr std::intptr_t kNone = -1;
  std::intptr_t handle_ = kNone;
  int error_ = 0;
};

// Maps a configured speed to the baud rate used: 2400, 4800, 9600, 38400,
// 57600 and 115200 are taken as they are, anything else runs at 19200.
inline unsigned lineSpeed(unsigned configured) {
  switch (configured) {
    case 2400:
    case 4800:
    case 9600:
    case 38400:
    case 57600:
    case 115200: return configured;
    default: return 19200;
  }
}

}  // namespace termina::link
