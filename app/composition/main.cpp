// SPDX-License-Identifier: GPL-3.0-or-later
#include "frapp.h"
#include "program_wiring.h"

int main(int argc, char** argv) {
  ProgramWiring wiring;
  CFRApp app;
  return app.Run(argc, argv, wiring);
}
