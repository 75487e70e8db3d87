// SPDX-License-Identifier: GPL-3.0-or-later
#include "event.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace {

using namespace std::chrono_literals;
using termina::sys::Deadline;
using termina::sys::ManualResetEvent;

TEST(ManualResetEvent, StaysSetUntilResetAndTimesOutWhenClear) {
  ManualResetEvent e(true);
  EXPECT_TRUE(e.isSet());
  EXPECT_TRUE(e.waitFor(0ms));
  e.wait();  // returns at once
  EXPECT_TRUE(e.isSet()) << "waiting does not consume the signal";
  e.reset();
  EXPECT_FALSE(e.isSet());
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(e.waitFor(30ms));
  EXPECT_GE(std::chrono::steady_clock::now() - start, 30ms);
  EXPECT_FALSE(e.waitFor(-5ms));
}

TEST(ManualResetEvent, SetReleasesEveryWaiter) {
  ManualResetEvent e(false);
  std::atomic<int> released{0};
  std::thread a([&] { released += e.waitFor(10s) ? 1 : 0; });
  std::thread b([&] {
    e.wait();
    ++released;
  });
  std::this_thread::sleep_for(20ms);
  EXPECT_EQ(released.load(), 0);
  e.set();
  a.join();
  b.join();
  EXPECT_EQ(released.load(), 2);
}

TEST(Deadline, CountsDownToZero) {
  const Deadline past(0ms);
  EXPECT_TRUE(past.expired());
  EXPECT_EQ(past.remaining(), 0ms);
  const Deadline later(10s);
  EXPECT_FALSE(later.expired());
  EXPECT_GT(later.remaining(), 9s);
  EXPECT_LE(later.remaining(), 10s);
  const Deadline soon(20ms);
  termina::sys::sleepMs(0);
  termina::sys::sleepMs(25);
  EXPECT_TRUE(soon.expired());
  EXPECT_EQ(soon.remaining(), 0ms);
}

}  // namespace
