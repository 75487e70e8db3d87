// SPDX-License-Identifier: LGPL-2.1-or-later
// Events, sleeps and deadlines for the link layer and the tools.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace termina::sys {

// An event that stays signalled until reset; every waiter is released while
// it is set.  Safe to use from several threads.
class ManualResetEvent {
 public:
  explicit ManualResetEvent(bool signalled);
  ManualResetEvent(const ManualResetEvent&) = delete;
  ManualResetEvent& operator=(const ManualResetEvent&) = delete;

  void set();
  void reset();
  void wait();
  // True when the event was (or became) signalled within ms; a negative
  // time is taken as 0.
  bool waitFor(std::chrono::milliseconds ms);
  bool isSet() const;

 private:
  mutable std::mutex mutex_;
  std::condition_variable cv_;
  bool signalled_;
};

// Sleeps ms milliseconds; 0 yields the processor once.
void sleepMs(unsigned ms);

// A point in time on the monotonic clock, unaffected by clock changes.
class Deadline {
 public:
  explicit Deadline(std::chrono::milliseconds fromNow);
  bool expired() const;
  // Time left, rounded up, so it is 0 exactly when expired() is true.
  std::chrono::milliseconds remaining() const;

 private:
  std::chrono::steady_clock::time_point at_;
};

}  // namespace termina::sys
