// SPDX-License-Identifier: GPL-3.0-or-later
// The simulator's state file loader.  A file either loads or is refused
// as a whole (the model keeps what it had); what a loaded model saves loads
// again into a fresh model and saves to the same text, so a save and load
// cycle loses nothing.
#include "fuzz_check.h"
#include "model.h"

#include <cstddef>
#include <cstdint>
#include <string>

using namespace termina::sim;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  const std::string text = size ? std::string(reinterpret_cast<const char*>(data), size) : std::string();
  RegisterModel model{Config{}};
  const std::string before = model.serialize();
  if (!model.deserialize(text)) {
    FUZZ_CHECK(model.serialize() == before);
    return 0;
  }
  const std::string saved = model.serialize();
  RegisterModel again{Config{}};
  FUZZ_CHECK(again.deserialize(saved));
  FUZZ_CHECK(again.serialize() == saved);
  FUZZ_CHECK(again.state().version == model.state().version);
  return 0;
}
