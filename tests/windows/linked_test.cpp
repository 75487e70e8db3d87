// SPDX-License-Identifier: GPL-3.0-or-later
// A caller linked against the import library (libTERMINA-1.dll.a) with the
// header, as a program built with the same compiler is: the names it imports
// must be the ones the library exports.  Without a register attached the
// calls that return their code instead of throwing are checked.
#include "termina1.h"

#include <cstdio>
#include <cstring>

int main() {
  int failures = 0;
  auto check = [&](bool ok, const char* what) {
    std::printf("%s: %s\n", ok ? "ok" : "FAILED", what);
    failures += ok ? 0 : 1;
  };
  uint16_t version = 0;
  const uint16_t code = TRMA_GetVersion(&version);
  check(code != 0 && version == 120, "TRMA_GetVersion without a register returns its code and reports 120");
  const uint16_t logo = TRMA_ClearLogo();
  check(logo == 16 || logo == 48, "TRMA_ClearLogo without a register returns 16 or 48");
  TRMA_CLIENTDISPLAYTEXT line1 = "a", line2 = "b";
  check(TRMA_ShowClientDisplayText(&line1, &line2) != 0,
        "TRMA_ShowClientDisplayText without a register returns its code");
  TRMA_ERROR_MESSAGE message{};
  TRMA_GetErrorMessage(19, &message);
  // "Регистратор не обнаружен" in code page 1251
  check(std::strcmp(message,
                    "\xD0\xE5\xE3\xE8\xF1\xF2\xF0\xE0\xF2\xEE\xF0 \xED\xE5 \xEE\xE1\xED\xE0\xF0\xF3\xE6\xE5\xED") == 0,
        "TRMA_GetErrorMessage(19)");
  check(TRMATMOUT == 10, "TRMATMOUT is imported with the value 10");
  std::printf("%s: %d failed\n", failures ? "FAILED" : "passed", failures);
  return failures ? 1 : 0;
}
