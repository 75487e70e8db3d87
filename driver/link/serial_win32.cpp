// SPDX-License-Identifier: LGPL-2.1-or-later
// The serial port on Windows: a COM device opened exclusively, its line set
// through the device control block and its time-outs through COMMTIMEOUTS.
// The device is opened for overlapped I/O: Windows runs the synchronous
// reads and writes of one handle one after another, and a CAN written by a
// second thread must not wait behind a read that is waiting for the line.
#include "serial.h"

#include <windows.h>

#include <algorithm>

namespace termina::link {

namespace {

HANDLE handleOf(std::intptr_t h) { return reinterpret_cast<HANDLE>(h); }

// The read limit the port is given at open: a read of one byte returns as
// soon as the byte is there, or after this many milliseconds with nothing.
constexpr DWORD kReadLimitMs = 500;

COMMTIMEOUTS timeouts(DWORD readMs, DWORD writeMs) {
  COMMTIMEOUTS t{};
  t.ReadIntervalTimeout = 0;  // no limit between bytes
  t.ReadTotalTimeoutMultiplier = 0;
  t.ReadTotalTimeoutConstant = readMs;
  t.WriteTotalTimeoutMultiplier = 0;
  t.WriteTotalTimeoutConstant = writeMs;
  return t;
}

// One read or write, waited for to its end (the port's time-outs end it);
// the number of bytes moved.
DWORD transfer(HANDLE h, bool writing, void* buf, DWORD n) {
  OVERLAPPED ov{};
  ov.hEvent = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
  if (!ov.hEvent) return 0;
  DWORD done = 0;
  BOOL ok = writing ? ::WriteFile(h, buf, n, &done, &ov) : ::ReadFile(h, buf, n, &done, &ov);
  if (!ok && ::GetLastError() == ERROR_IO_PENDING) ok = ::GetOverlappedResult(h, &ov, &done, TRUE);
  ::CloseHandle(ov.hEvent);
  return ok ? done : 0;
}

// Bytes received and not yet read, 0 when the port cannot tell.
DWORD pendingInput(HANDLE h) {
  DWORD errors = 0;
  COMSTAT st{};
  return ::ClearCommError(h, &errors, &st) ? st.cbInQue : 0;
}

}  // namespace

SerialPort::~SerialPort() { close(); }

std::string SerialPort::errorText() const {
  char* text = nullptr;
  const DWORD n =
      ::FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                       nullptr, static_cast<DWORD>(error_), 0, reinterpret_cast<char*>(&text), 0, nullptr);
  std::string out = n && text ? std::string(text, n) : "error " + std::to_string(error_);
  if (text) ::LocalFree(text);
  while (!out.empty() && (out.back() == '\n' || out.back() == '\r' || out.back() == ' ')) out.pop_back();
  return out;
}

bool SerialPort::open(const std::string& path, unsigned baud) {
  close();
  // No sharing, existing devices only.
  HANDLE h = ::CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED,
                           nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    error_ = static_cast<int>(::GetLastError());
    return false;
  }
  auto fail = [&] {
    error_ = static_cast<int>(::GetLastError());
    ::CloseHandle(h);
    return false;
  };
  // Only the rate, the character format, binary mode and XON/XOFF output
  // change; stop bits, handshake and the control lines stay as they were.
  DCB dcb{};
  dcb.DCBlength = sizeof dcb;
  if (!::GetCommState(h, &dcb)) return fail();
  dcb.BaudRate = lineSpeed(baud);
  dcb.ByteSize = 8;
  dcb.Parity = NOPARITY;
  dcb.fParity = FALSE;
  dcb.fBinary = TRUE;
  dcb.fOutX = FALSE;
  if (!::SetCommState(h, &dcb)) return fail();
  COMMTIMEOUTS t = timeouts(kReadLimitMs, kReadLimitMs);
  if (!::SetCommTimeouts(h, &t)) return fail();
  handle_ = reinterpret_cast<std::intptr_t>(h);
  error_ = 0;
  return true;
}

void SerialPort::close() {
  if (handle_ != kNone) {
    ::CloseHandle(handleOf(handle_));
    handle_ = kNone;
  }
}

std::size_t SerialPort::read(uint8_t* buf, std::size_t max, int timeoutMs) {
  if (handle_ == kNone || max == 0) return 0;
  HANDLE h = handleOf(handle_);
  DWORD got = 0;
  // What has arrived already is taken at once, without waiting.
  if (DWORD ready = pendingInput(h)) {
    const DWORD n = static_cast<DWORD>(std::min<std::size_t>(ready, max));
    if ((got = transfer(h, false, buf, n)) > 0) return got;
  }
  // Otherwise wait for one byte within the limit, then take what came
  // with it.
  const DWORD limit = timeoutMs > 0 ? static_cast<DWORD>(timeoutMs) : 1;
  if (limit != kReadLimitMs) {
    COMMTIMEOUTS t = timeouts(limit, kReadLimitMs);
    ::SetCommTimeouts(h, &t);
  }
  got = transfer(h, false, buf, 1);
  if (limit != kReadLimitMs) {
    COMMTIMEOUTS t = timeouts(kReadLimitMs, kReadLimitMs);
    ::SetCommTimeouts(h, &t);
  }
  if (got == 0) return 0;
  std::size_t total = got;
  if (DWORD more = total < max ? pendingInput(h) : 0) {
    const DWORD n = static_cast<DWORD>(std::min<std::size_t>(more, max - total));
    total += transfer(h, false, buf + total, n);
  }
  return total;
}

std::size_t SerialPort::write(const uint8_t* data, std::size_t n, int timeoutMs) {
  if (handle_ == kNone) return 0;
  HANDLE h = handleOf(handle_);
  const DWORD limit = timeoutMs > 0 ? static_cast<DWORD>(timeoutMs) : 1;
  if (limit != kReadLimitMs) {
    COMMTIMEOUTS t = timeouts(kReadLimitMs, limit);
    ::SetCommTimeouts(h, &t);
  }
  // The write limit covers the whole write, whatever its length.
  const DWORD done = transfer(h, true, const_cast<uint8_t*>(data), static_cast<DWORD>(n));
  if (limit != kReadLimitMs) {
    COMMTIMEOUTS t = timeouts(kReadLimitMs, kReadLimitMs);
    ::SetCommTimeouts(h, &t);
  }
  return done;
}

void SerialPort::purgeInput() {
  if (handle_ != kNone) ::PurgeComm(handleOf(handle_), PURGE_RXCLEAR);
}

}  // namespace termina::link
