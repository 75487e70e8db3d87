// SPDX-License-Identifier: GPL-3.0-or-later
// The program's start on the window system: sets up the application (its
// style, the dialog fonts, the menu entry it belongs to), runs `body` with
// the command line's arguments joined by spaces, and returns its result.
#pragma once

#include <functional>
#include <string>

namespace tk {

int RunApplication(int argc, char** argv, const std::string& desktopName,
                   const std::function<int(const std::string& commandLine)>& body);

}  // namespace tk
