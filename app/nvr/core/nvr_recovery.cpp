// SPDX-License-Identifier: GPL-3.0-or-later
#include "nvr_recovery.h"

#include <vector>

#include "driver_text.h"
#include "termina1.h"

namespace termina::app {
namespace {

// The driver's text for the code in a plain message; a code without text
// shows nothing.
void TellFailure(Interaction& ask, uint16_t code) {
  if (const auto text = ErrorText(code)) ask.Tell(*text);
}

void TellFileError(Interaction& ask, const char* text) {
  ask.Ask(Question{text, kNvrErrorTitle, Icon::Error, Buttons::OkCancel, Answer::Ok});
}

}  // namespace

uint16_t NvrRecoveryVersion() {
  uint16_t version = 0;
  // The query reports its failure by value.
  if (TRMA_GetVersion(&version) != 0) return 121;
  return version;
}

uint16_t ReadNvrRecord(NvrRecord& r) {
  // The driver stores each block as it arrives, so after a failure the
  // buffer holds the blocks before it and zeros after.
  std::vector<uint8_t> image(NvrImageLength(r.version), 0);
  uint16_t code = 0;
  try {
    code = TRMA_ReadMemBlock(kNvrArea, kNvrAddress, static_cast<uint16_t>(image.size()), image.data());
  } catch (uint16_t failure) { code = failure; }
  FillNvrRecord(r, image);
  return code;
}

uint16_t WriteNvrRecord(const NvrRecord& r) {
  std::vector<uint8_t> image = BuildNvrImage(r);
  try {
    // Despite its name the call stores the bytes into the register.
    TRMA_ReadBlock(kNvrArea, kNvrAddress, static_cast<uint16_t>(image.size()), image.data());
  } catch (uint16_t failure) { return failure; }
  return 0;
}

NvrOpening OpenNvrRecovery(Interaction& ask) {
  NvrOpening o{NewNvrRecord(NvrRecoveryVersion()), 0};
  o.failure = ReadNvrRecord(o.record);
  if (o.failure != 0) TellFailure(ask, o.failure);
  RecomputeNvrTotals(o.record);
  return o;
}

bool CommitNvrRecovery(const NvrRecord& r, Interaction& ask) {
  const uint16_t code = WriteNvrRecord(r);
  if (code == 0) return true;
  TellFailure(ask, code);
  return false;
}

bool SaveNvrRecord(const std::string& path, const NvrRecord& r, Interaction& ask) {
  if (SaveNvrFile(path, r)) return true;
  TellFileError(ask, kNvrFileWriteError);
  return false;
}

bool LoadNvrRecord(const std::string& path, NvrRecord& r, Interaction& ask) {
  if (LoadNvrFile(path, r)) return true;
  TellFileError(ask, kNvrFileReadError);
  return false;
}

}  // namespace termina::app
