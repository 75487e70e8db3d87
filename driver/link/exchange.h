// SPDX-License-Identifier: LGPL-2.1-or-later
// The exchange over the open channel: request frames out, replies in, with
// the ACK/ENQ handshake and the patience counter.  Every failure is thrown
// as the bare uint16_t result code.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace termina::link {

// The request frame for a body with the driver's password and packet id.
std::string BuildFrame(std::string_view body);

// Serial: discard pending input, write the frame, advance the packet id.
// TCP: wrap the frame in the envelope and send it.  16 when the channel does
// not take every byte (or the frame is too long for the envelope).
void SendFrame(std::string_view frame);

// Writes bytes as they are (serial: pending input discarded first; TCP: no
// envelope); the packet id does not move.  16 when not every byte is taken.
// `isFrame`: the bytes are a whole request frame, traced as one.
void WriteRawBytes(const void* data, std::size_t count, bool isFrame = false);

// One byte within the read time-out, else 17.
uint8_t ReadByte();

// Waits for the long-reply event, then writes ENQ (serial: without purging
// input; TCP: bare).  16 when the write fails.
void SendEnq();

// Collects a reply with the normal patience (TRMATMOUT silent waits).
// keepWhole: return the frame from STX through the checksum; otherwise the
// text between the skipped head and ETX.  toAnsi: convert 866 -> 1251.
std::string ReadReply(bool keepWhole, bool toAnsi);

// ReadReply for a reply whose first byte has already been read.
std::string ReadReplyFrom(std::optional<uint8_t> first, bool keepWhole, bool toAnsi);

// Collects a reply with twice the patience, guarding SendEnq with the
// long-reply event; returns the register's result code.
uint16_t ReadLongReply();

// SendFrame(BuildFrame(body)), ReadReply(false, true); the result code is
// returned and `body` is replaced by the reply fields.
uint16_t Exchange(std::string& body);

// SendFrame(BuildFrame(body)), ReadLongReply().
uint16_t ExchangeLong(std::string_view body);

// Part before the first FS, removed with the FS from the front of `text`;
// "" and `text` unchanged when it holds no FS.
std::string NextField(std::string& text);

}  // namespace termina::link
