// SPDX-License-Identifier: LGPL-2.1-or-later
#include "event.h"

#include <thread>

namespace termina::sys {

ManualResetEvent::ManualResetEvent(bool signalled) : signalled_(signalled) {}

void ManualResetEvent::set() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    signalled_ = true;
  }
  cv_.notify_all();
}

void ManualResetEvent::reset() {
  std::lock_guard<std::mutex> lock(mutex_);
  signalled_ = false;
}

void ManualResetEvent::wait() {
  std::unique_lock<std::mutex> lock(mutex_);
  cv_.wait(lock, [this] { return signalled_; });
}

bool ManualResetEvent::waitFor(std::chrono::milliseconds ms) {
  if (ms.count() < 0) ms = std::chrono::milliseconds(0);
  std::unique_lock<std::mutex> lock(mutex_);
  return cv_.wait_for(lock, ms, [this] { return signalled_; });
}

bool ManualResetEvent::isSet() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return signalled_;
}

void sleepMs(unsigned ms) {
  if (ms == 0)
    std::this_thread::yield();
  else
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

Deadline::Deadline(std::chrono::milliseconds fromNow) : at_(std::chrono::steady_clock::now() + fromNow) {}

bool Deadline::expired() const { return std::chrono::steady_clock::now() >= at_; }

std::chrono::milliseconds Deadline::remaining() const {
  const auto left = at_ - std::chrono::steady_clock::now();
  if (left <= std::chrono::steady_clock::duration::zero()) return std::chrono::milliseconds(0);
  return std::chrono::ceil<std::chrono::milliseconds>(left);
}

}  // namespace termina::sys
