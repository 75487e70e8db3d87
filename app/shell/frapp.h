// SPDX-License-Identifier: GPL-3.0-or-later
// CFRApp: the application object.  Runs the main window modally; the
// program ends when it closes.
#pragma once

class ShellWiring;

class CFRApp {
 public:
  int Run(int argc, char** argv, ShellWiring& wiring);
};
