// SPDX-License-Identifier: LGPL-2.1-or-later
// The Windows file system of the register tools.  On POSIX systems
// (paths_posix.cpp) it is mapped into one folder on the host: drive C: is
// root()/c, and COM ports are root()/dev/com<N> when such an entry exists (a
// symbolic link to a real or pseudo terminal), else the host's serial ports.
// On Windows (paths_win32.cpp) the paths are the system's own: root() is
// empty, hostPath() returns its argument and COM<N> is the device \\.\COM<N>.
#pragma once

#include <string>
#include <string_view>

namespace termina::paths {

// $TERMINA_ROOT when set and not empty, else $HOME/.local/share/termina.
// Read on every call, so a process may change it.
std::string root();

// "C:\\Program Files\\X" -> root()+"/c/Program Files/X": the drive letter
// lower-cased, backslashes turned into '/'.  A path without a drive letter
// only has its backslashes turned into '/'.
std::string hostPath(std::string_view windowsPath);

// The driver's configuration file, "C:\\Program Files\\Orvelsoft\\TERMINA.INI".
std::string iniPath();

// root()+"/dev/com<n>" when that entry exists (a symbolic link counts, even
// one whose target has gone, so that a vanished pseudo terminal is reported
// as missing instead of silently falling back to a real port), else
// "/dev/ttyS<n-1>".  Port numbers below 1 have no host port and always give
// the root()/dev entry.
std::string comDevice(int n);

// mkdir -p; true when the directory exists afterwards.
bool makeDirs(const std::string& dir);

}  // namespace termina::paths
