// SPDX-License-Identifier: GPL-3.0-or-later
#include "line_pacing.h"

#include <poll.h>
#include <sys/prctl.h>

#include <algorithm>
#include <cerrno>
#include <ctime>
#include <thread>

namespace termina::sim {

namespace {

// Nanoseconds that `count` bytes take at `baud`, 10 bits per byte, rounded
// up so that pacing never lets a byte through early.  Computed from the byte
// count each time, so long transmissions do not gather rounding errors.
std::chrono::nanoseconds bytesTime(size_t count, unsigned baud) {
  if (baud == 0 || count == 0) return std::chrono::nanoseconds(0);
  const unsigned long long bits = 10ULL * count;
  const unsigned long long ns = (bits * 1'000'000'000ULL + baud - 1) / baud;
  return std::chrono::nanoseconds(static_cast<long long>(ns));
}

}  // namespace

void LinePacing::setBaud(unsigned baud) { baud_ = baud; }

LinePacing::Clock::duration LinePacing::wireTime(size_t n) const {
  return std::chrono::duration_cast<Clock::duration>(bytesTime(n, baud_));
}

void LinePacing::received(size_t n, Clock::time_point now) {
  if (!enabled() || n == 0) return;
  inputDone_ = std::max(now, inputDone_) + wireTime(n);
}

void LinePacing::beginSend(size_t n, Clock::time_point now) {
  sendCount_ = n;
  if (!enabled()) {
    sendStart_ = now;
    return;
  }
  sendStart_ = std::max({now, inputDone_, outputDone_});
  outputDone_ = sendStart_ + wireTime(n);
}

LinePacing::Clock::time_point LinePacing::dueAt(size_t index) const { return sendStart_ + wireTime(index + 1); }

size_t LinePacing::dueFrom(size_t index, Clock::time_point now) const {
  if (index >= sendCount_) return 0;
  const size_t rest = sendCount_ - index;
  if (!enabled()) return rest;
  if (now < sendStart_) return 0;
  // Bytes completely on the other side by now: floor(elapsed / byte time),
  // checked against dueAt so that rounding cannot release one early.
  if (now >= dueAt(sendCount_ - 1)) return rest;
  const auto elapsed = std::chrono::duration_cast<std::chrono::nanoseconds>(now - sendStart_).count();
  size_t crossed = static_cast<size_t>(static_cast<unsigned long long>(elapsed) * baud_ / 10'000'000'000ULL);
  while (crossed > 0 && dueAt(crossed - 1) > now) --crossed;
  if (crossed <= index) return 0;
  return std::min(rest, crossed - index);
}

bool LinePacing::sleepUntil(Clock::time_point t, int wakeFd) {
  // The default timer slack of a thread (50 us) is more than half a byte
  // time at 115200 baud; a line emulator wants its wake-ups on time.
  thread_local bool slackSet = false;
  if (!slackSet) {
    ::prctl(PR_SET_TIMERSLACK, 1000UL, 0UL, 0UL, 0UL);
    slackSet = true;
  }
  // Even so a wake-up comes some tens of microseconds late (more under a
  // hypervisor): sleep until shortly before the time, then watch the clock
  // for the rest.
  constexpr auto kSpin = std::chrono::microseconds(50);
  for (;;) {
    const auto now = Clock::now();
    if (now >= t) return true;
    if (t - now <= kSpin) {
      while (Clock::now() < t) {}
      return true;
    }
    const auto left = std::chrono::duration_cast<std::chrono::nanoseconds>(t - kSpin - now).count();
    timespec ts{static_cast<time_t>(left / 1'000'000'000), static_cast<long>(left % 1'000'000'000)};
    pollfd p{wakeFd, POLLIN, 0};
    const int r = ::ppoll(wakeFd >= 0 ? &p : nullptr, wakeFd >= 0 ? 1 : 0, &ts, nullptr);
    if (r > 0) return false;
    if (r < 0 && errno != EINTR) {
      std::this_thread::sleep_until(t);
      return true;
    }
  }
}

}  // namespace termina::sim
