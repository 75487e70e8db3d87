// SPDX-License-Identifier: GPL-3.0-or-later
// Writing a file the user keeps (a settings file, an NVR backup) so that a
// failure never leaves a half-written file where a good one stood: the
// bytes go to a temporary file beside the target, which is then renamed
// over it.  Through a symbolic link the file it names is replaced, not the
// link; an existing file keeps its permissions.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace termina::app {

enum class ReplaceError { None, NotRegularFile, System };

// True when the whole file was written and renamed into place.  On failure
// nothing is left behind and `error` (when given) tells why; for System,
// `errorNumber` holds errno.
bool ReplaceFile(const std::string& path, std::span<const uint8_t> bytes, ReplaceError* error = nullptr,
                 int* errorNumber = nullptr);

}  // namespace termina::app
