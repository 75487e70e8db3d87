// SPDX-License-Identifier: GPL-3.0-or-later
// The trace line of an event: what it says of frames that are damaged,
// unusual or unknown, and the names of commands that share a code.
#include "trace.h"

#include <gtest/gtest.h>

namespace trace = termina::link::trace;

// What the line of an event says when the frame is not what it should be.
TEST(TraceFormat, DamagedAndUnusualFrames) {
  trace::Event e;
  e.dir = trace::Dir::In;
  e.kind = trace::Kind::Frame;
  e.since = std::chrono::milliseconds(1234);
  e.command = 0xA1;
  e.name = "ReadConfig";
  e.result = 0;
  e.fields = {"Касса \"1\"", "a\tb"};
  EXPECT_EQ(trace::format(e),
            "   1.234 <- A1 ReadConfig = 0 ok: Команда выполнена без ошибок \"Касса \\\"1\\\"\" \"a\\x09b\"");

  e.fields.clear();
  e.result = 1;  // the reasons of code 1 need a status query, which a trace never makes
  EXPECT_EQ(trace::format(e), "   1.234 <- A1 ReadConfig = 1 device_status: Неверный статус устройства");

  e.result = 0;
  e.checksumOk = false;
  e.line = std::string_view(
      "\x02\x20\x20\x20"
      "00\x03"
      "99",
      9);
  EXPECT_EQ(
      trace::format(e),
      "   1.234 <- A1 ReadConfig = 0 ok: Команда выполнена без ошибок (checksum wrong) [9] 02 20 20 20 30 30 03 39 "
      "39  |<STX>   00<ETX>99|");

  trace::Event garbage;
  garbage.dir = trace::Dir::Out;
  garbage.kind = trace::Kind::Frame;
  garbage.line = "xyz";
  EXPECT_EQ(trace::format(garbage), "   0.000 -> frame, not understood [3] 78 79 7A  |xyz|");

  EXPECT_STREQ(trace::commandName(0xA5, {"20"}), "GetFMLastData");
  EXPECT_STREQ(trace::commandName(0xA5, {"77"}), "Query");
  EXPECT_STREQ(trace::commandName(0x32, {"S", "x", "1"}), "DiscountTotal");
  EXPECT_EQ(trace::commandName(0x99, {}), nullptr);
}
