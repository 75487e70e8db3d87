// SPDX-License-Identifier: GPL-3.0-or-later
// A check that holds in every build of the harnesses: a broken property
// prints what broke and aborts, which libFuzzer reports as a crash and the
// corpus replay as a failed test.
#pragma once

#include <cstdio>
#include <cstdlib>

#define FUZZ_CHECK(cond)                                                               \
  do {                                                                                 \
    if (!(cond)) {                                                                     \
      std::fprintf(stderr, "%s:%d: property broken: %s\n", __FILE__, __LINE__, #cond); \
      std::abort();                                                                    \
    }                                                                                  \
  } while (0)
