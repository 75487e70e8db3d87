// SPDX-License-Identifier: GPL-3.0-or-later
// What the agent needs of the operating system, behind one seam: stop
// signals, private files written whole, random bytes, the local clock.
// platform_posix.cpp is the Linux side; a Windows service supplies its own.
#pragma once

#include <cstddef>
#include <ctime>
#include <optional>
#include <string>

namespace termina::agent::platform {

// Blocks the stop signals (SIGINT, SIGTERM) in the calling thread and every
// thread it starts afterwards; call first in main.
void prepareStopSignals();
// Waits until a stop is asked for; returns the signal's number.
int waitForStop();

// The whole file, or nullopt when it cannot be read.
std::optional<std::string> readFile(const std::string& path);
// Writes the file through a temporary file in its folder and a rename,
// readable and writable by its owner only; the folder is made when
// missing.  False with errorText on failure.
bool writePrivateFile(const std::string& path, const std::string& content, std::string& errorText);
// Makes the folder of a file (and its parents) when missing.
bool makeParentFolder(const std::string& path, std::string& errorText);

// Bytes from the system's random source; false when it fails.
bool randomBytes(void* out, std::size_t count);

// The local civil time of a moment.
std::tm localTime(std::time_t t);

}  // namespace termina::agent::platform
