// SPDX-License-Identifier: GPL-3.0-or-later
// The program's side of the driver boundary: the driver's declarations and
// the conversions of its texts (code page 1251) to and from UTF-8.  The
// driver calls themselves are made by the register sequences (core/).
#pragma once

#include "driver_text.h"
#include "termina1.h"

using termina::app::LocalDateTime;
