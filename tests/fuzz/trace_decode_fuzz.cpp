// SPDX-License-Identifier: GPL-3.0-or-later
// The exchange trace's frame decoder fed arbitrary bytes: the first input
// byte is the password length of a request, the rest the frame, decoded
// both as a request and as a reply.  Neither may read outside the bytes,
// and whatever they report must be in the frame: the codes in range, each
// field free of FS and no more fields than the frame has FS bytes plus one.
// The trace line made of each stays one line.
#include "frame.h"
#include "fuzz_check.h"
#include "trace.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string_view>

using namespace termina;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::size_t password = data[0] % 64;
  std::string_view frame(reinterpret_cast<const char*>(data + 1), size - 1);
  const auto separators = static_cast<std::size_t>(std::count(frame.begin(), frame.end(), static_cast<char>(link::FS)));

  link::DecodedFrame req = link::decodeRequest(frame, password);
  FUZZ_CHECK(req.result == -1);
  FUZZ_CHECK(req.command >= -1 && req.command <= 0xFF);
  if (req.command < 0) FUZZ_CHECK(req.fields.empty());
  FUZZ_CHECK(req.fields.size() <= separators + 1);

  link::DecodedFrame rep = link::decodeReply(frame);
  FUZZ_CHECK(rep.command == -1);
  FUZZ_CHECK(rep.result >= -1 && rep.result <= 0xFF);
  if (rep.result < 0) FUZZ_CHECK(rep.fields.empty());
  FUZZ_CHECK(rep.fields.size() <= separators + 1);

  for (const auto* d : {&req, &rep})
    for (const std::string& f : d->fields) FUZZ_CHECK(f.find(static_cast<char>(link::FS)) == std::string::npos);

  for (const auto* d : {&req, &rep}) {
    link::trace::Event e;
    e.kind = link::trace::Kind::Frame;
    e.dir = d == &req ? link::trace::Dir::Out : link::trace::Dir::In;
    e.line = frame;
    e.command = d->command;
    e.name = link::trace::commandName(req.command, req.fields);
    e.result = d->result;
    e.fields = d->fields;
    e.checksumOk = size % 2 == 0;
    const std::string line = link::trace::format(e);
    FUZZ_CHECK(line.find('\n') == std::string::npos && line.find('\r') == std::string::npos);
  }
  return 0;
}
