// SPDX-License-Identifier: LGPL-2.1-or-later
// Logo upload and memory blocks: transfers larger than one frame.
#include "command.h"
#include "frame.h"
#include "paths.h"

#include <fstream>
#include <vector>

using namespace termina;
using namespace termina::cmd;

namespace {

constexpr std::size_t kBlock = 32;   // bytes per memory frame
constexpr std::size_t kPiece = 256;  // bytes per logo stream write

}  // namespace

namespace termina::cmd {

uint16_t loadLogo(const std::string& hostFile) {
  {
    Body clear(0xE3);
    run(clear);
  }
  std::ifstream file(hostFile, std::ios::binary);
  if (!file) link::raiseCode(3);
  std::vector<char> data(1, static_cast<char>(link::ESC));
  data.insert(data.end(), std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
  if (data.size() == 1) return 0;  // empty file: nothing to upload after the clear
  const std::size_t n = data.size();

  // The header goes out as raw bytes: the register answers it with a bare
  // ACK before the stream, not with a reply frame.
  std::string header = link::BuildFrame(Body(0xE2).num(static_cast<long long>(n)).str());
  link::WriteRawBytes(header.data(), header.size(), true);

  uint16_t code;
  uint8_t answer = link::ReadByte();
  if (answer == link::ACK) {
    std::size_t pos = 0;
    for (; pos + kPiece <= n; pos += kPiece) link::WriteRawBytes(data.data() + pos, kPiece);
    link::WriteRawBytes(data.data() + pos, n - pos);
    auto rt = link::splitResult(link::ReadReply(false, true));
    code = rt ? rt->code : 7;
  } else if (answer == link::STX) {
    // The register refused the upload with a reply frame: its code.
    auto rt = link::splitResult(link::ReadReplyFrom(answer, false, true));
    code = rt && rt->code != 0 ? rt->code : 16;
  } else {
    code = 16;  // neither ACK nor a reply: the stream was not taken
  }
  link::raiseIfError(code);
  return code;
}

}  // namespace termina::cmd

extern "C" {

uint16_t TRMA_CALLEE TRMA_ClearLogo(void) {
  try {
    Body body(0xE3);
    return run(body);
  } catch (uint16_t code) { return code; }
}

uint16_t TRMA_LoadLogo(TRMA_LOGO_NAME* path) { return loadLogo(paths::hostPath(text(path))); }

uint16_t TRMA_ReadMemBlock(uint16_t area, uint16_t address, uint16_t count, uint8_t* out) {
  uint16_t code = 0;
  bool missing = false;
  for (std::size_t done = 0; done < count;) {
    std::size_t n = std::min<std::size_t>(kBlock, count - done);
    Body body(0xE1);
    body.num(area).num(static_cast<long long>(address) + static_cast<long long>(done)).num(static_cast<long long>(n));
    code = run(body);
    if (code == 0) {
      // The digits must all be there: decoding a short block would
      // hand the caller bytes the register never sent.
      std::string_view digits = body.str();
      digits = digits.substr(0, digits.find('\x1C'));
      if (digits.size() < 2 * n) link::raiseCode(17);
      link::decodeHexPairs(digits, out + done, n);
    } else {
      std::fill(out + done, out + done + n, uint8_t{0});
      missing = true;
    }
    done += n;
  }
  return missing ? 64 : code;
}

uint16_t TRMA_ReadBlock(uint16_t area, uint16_t address, uint16_t count, uint8_t* data) {
  const std::string hex = link::encodeHex(data, count);
  uint16_t code = 0;
  for (std::size_t done = 0; done < count;) {
    std::size_t n = std::min<std::size_t>(kBlock, count - done);
    Body body(0xE7);
    body.num(area).num(static_cast<long long>(address) + static_cast<long long>(done)).num(static_cast<long long>(n));
    body.field(std::string_view(hex).substr(2 * done, 2 * n));
    code = run(body);
    done += n;
  }
  return code;
}

}  // extern "C"
