// SPDX-License-Identifier: LGPL-2.1-or-later
#include "exchange.h"

#include "codepage.h"
#include "driver_state.h"
#include "errors.h"
#include "event.h"
#include "frame.h"
#include "termina1.h"
#include "trace.h"

#include <algorithm>

namespace termina::link {

namespace {

// The session's deadline for this call: 259 once it has passed.
void checkDeadline() {
  const DriverState& s = state();
  if (s.deadline && s.deadline->expired()) raiseCode(kDeadlinePassed);
}

// A serial read wait, cut short by the call's deadline.
int serialWaitMs() {
  const DriverState& s = state();
  if (!s.deadline) return Channel::kSerialTimeoutMs;
  auto left = s.deadline->remaining().count();
  return static_cast<int>(std::min<long long>(Channel::kSerialTimeoutMs, std::max<long long>(left, 1)));
}

// After a silent read wait: a serial wait that the deadline cut short ran
// into it (the last millisecond must not turn into a burst of ENQs), and
// any wait may have outlasted it.
void afterSilence(int waitedMs) {
  const DriverState& s = state();
  if (!s.deadline) return;
  if (!s.channel.tcpMode() && waitedMs < Channel::kSerialTimeoutMs) raiseCode(kDeadlinePassed);
  checkDeadline();
}

// Patience counter of one reply wait: every silent read wait costs one
// step; an ACK starts the count again.
class Patience {
 public:
  explicit Patience(unsigned factor) : factor_(factor) {}
  void restart() { count_ = 0; }
  // Counts one step; throws 48 when the limit is passed.
  void step() {
    ++count_;
    unsigned limit = state().patience ? state().patience : static_cast<unsigned>(TRMATMOUT);
    if (count_ > factor_ * limit) raiseCode(48);
  }

 private:
  unsigned factor_;
  unsigned count_ = 0;
};

// Reads bytes into the collector until the reply is complete.  A silent
// read wait calls onSilence (which sends ENQ) and counts one patience step;
// an ACK restarts the count and pauses 100 ms.
template <class OnSilence>
void collect(ReplyCollector& reply, Patience& patience, OnSilence onSilence) {
  Channel& ch = state().channel;
  patience.step();
  for (;;) {
    checkDeadline();
    const int wait = serialWaitMs();
    std::optional<uint8_t> b = ch.readByte(wait);
    if (!b) {
      trace::emit(trace::Dir::Note, trace::Kind::Silence, "silence, collected so far", reply.buffer());
      afterSilence(wait);
      onSilence();
      patience.step();
      continue;
    }
    switch (reply.feed(*b)) {
      case ReplyCollector::Step::Ack:
        trace::emit(trace::Dir::In, trace::Kind::Ack, "ACK", std::string_view("\x06", 1));
        patience.restart();
        sys::sleepMs(100);
        break;
      case ReplyCollector::Step::More: break;
      case ReplyCollector::Step::Complete:
        trace::emit(trace::Dir::In, trace::Kind::Frame, "reply", reply.buffer(), reply.buffer());
        return;
      case ReplyCollector::Step::Overflow:
        trace::emit(trace::Dir::In, trace::Kind::Raw, "reply too long, dropped", reply.buffer());
        raiseCode(48);
    }
  }
}

void requireChecksum(const std::string& reply) {
  if (!replyChecksumOk(reply)) raiseCode(7);
}

}  // namespace

std::string BuildFrame(std::string_view body) {
  DriverState& s = state();
  return buildFrame(body, s.password, s.packetId);
}

void SendFrame(std::string_view frame) {
  DriverState& s = state();
  Channel& ch = s.channel;
  if (ch.tcpMode()) {
    auto env = wrapEnvelope(frame);
    if (!env) {
      trace::emit(trace::Dir::Note, trace::Kind::Raw, "frame too long for the TCP envelope", frame);
      raiseCode(16);
    }
    trace::emit(trace::Dir::Out, trace::Kind::Frame, "frame (TCP envelope)", *env, frame);
    if (ch.write(reinterpret_cast<const uint8_t*>(env->data()), env->size(), false) != env->size()) raiseCode(16);
    return;
  }
  trace::emit(trace::Dir::Out, trace::Kind::Frame, "frame", frame, frame);
  if (ch.write(reinterpret_cast<const uint8_t*>(frame.data()), frame.size(), true) != frame.size()) raiseCode(16);
  s.packetId = nextPacketId(s.packetId);
}

void WriteRawBytes(const void* data, std::size_t count, bool isFrame) {
  Channel& ch = state().channel;
  if (isFrame) {
    std::string_view frame(static_cast<const char*>(data), count);
    trace::emit(trace::Dir::Out, trace::Kind::Frame, "frame", frame, frame);
  } else {
    std::string_view bytes(static_cast<const char*>(data), count);
    const char only = count == 1 ? bytes[0] : 0;
    const trace::Kind kind = only == static_cast<char>(CAN)   ? trace::Kind::Can
                             : only == static_cast<char>(ENQ) ? trace::Kind::Enq
                                                              : trace::Kind::Raw;
    trace::emit(trace::Dir::Out, kind, "raw", bytes);
  }
  if (ch.write(static_cast<const uint8_t*>(data), count, true) != count) raiseCode(16);
}

uint8_t ReadByte() {
  checkDeadline();
  const int wait = serialWaitMs();
  std::optional<uint8_t> b = state().channel.readByte(wait);
  if (!b) {
    trace::emit(trace::Dir::Note, trace::Kind::Silence, "no byte within the read time-out", {});
    afterSilence(wait);
    raiseCode(17);
  }
  trace::emit(trace::Dir::In, *b == ACK ? trace::Kind::Ack : trace::Kind::Raw, "byte",
              std::string_view(reinterpret_cast<const char*>(&*b), 1));
  return *b;
}

void SendEnq() {
  DriverState& s = state();
  if (s.deadline) {
    if (!s.longReply.waitFor(s.deadline->remaining())) raiseCode(kDeadlinePassed);
  } else {
    s.longReply.wait();
  }
  trace::emit(trace::Dir::Out, trace::Kind::Enq, "ENQ", std::string_view("\x05", 1));
  const uint8_t enq = ENQ;
  if (s.channel.write(&enq, 1, false) != 1) raiseCode(16);
}

std::string ReadReply(bool keepWhole, bool toAnsi) { return ReadReplyFrom(std::nullopt, keepWhole, toAnsi); }

std::string ReadReplyFrom(std::optional<uint8_t> first, bool keepWhole, bool toAnsi) {
  ReplyCollector reply;
  Patience patience(1);
  if (first) reply.feed(*first);
  collect(reply, patience, [] { SendEnq(); });
  requireChecksum(reply.buffer());
  std::string text = keepWhole ? reply.buffer() : stripReply(reply.buffer());
  return toAnsi ? cp::oemToAnsi(text) : text;
}

uint16_t ReadLongReply() {
  DriverState& s = state();
  ReplyCollector reply;
  Patience patience(2);
  // The event stays reset while the reply is being collected and is
  // signalled again on every way out, so a waiting ENQ is never stranded.
  struct Signal {
    sys::ManualResetEvent& e;
    ~Signal() { e.set(); }
  } signalOnExit{s.longReply};
  s.longReply.reset();
  collect(reply, patience, [&s] {
    s.longReply.set();
    SendEnq();
    s.longReply.reset();
  });
  s.longReply.set();
  requireChecksum(reply.buffer());
  auto rt = splitResult(stripReply(reply.buffer()));
  if (!rt) raiseCode(7);
  return rt->code;
}

uint16_t Exchange(std::string& body) {
  SendFrame(BuildFrame(body));
  std::string text = ReadReply(false, true);
  auto rt = splitResult(text);
  if (!rt) raiseCode(7);
  body = std::move(rt->fields);
  return rt->code;
}

uint16_t ExchangeLong(std::string_view body) {
  SendFrame(BuildFrame(body));
  return ReadLongReply();
}

std::string NextField(std::string& text) { return nextField(text); }

}  // namespace termina::link
