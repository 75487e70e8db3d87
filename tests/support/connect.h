// SPDX-License-Identifier: GPL-3.0-or-later
// Connecting a test's driver to its simulated register.  On a loaded
// machine the simulator's thread may not get to answer the presence probe
// within the driver's 500 ms read limit, or the settling of the password
// within a small patience; what a test checks starts after the connection,
// so the connection is made with the driver's default patience and tried
// again a few times before its failure counts.
#pragma once

#include "termina1.h"

#include <cstdint>

namespace termina::test {

// TRMA_CheckPort(false) until it succeeds, at most `attempts` times; the
// code of the last failure is thrown as the driver throws it.  TRMATMOUT is
// `patience` afterwards.
inline void checkPortPatiently(int patience, int attempts = 5) {
  TRMATMOUT = 10;
  for (int attempt = 1;; ++attempt) {
    try {
      TRMA_CheckPort(false);
      break;
    } catch (uint16_t) {
      if (attempt >= attempts) {
        TRMATMOUT = patience;
        throw;
      }
    }
  }
  TRMATMOUT = patience;
}

}  // namespace termina::test
