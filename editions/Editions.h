// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The two programs' layouts; each program links only its own.

#include "monitor/Edition.h"

namespace editions {

// Meters in a row across the top.
const monitor::Edition &crestdial();
// Meters in a column down the left, buttons along the top, numeric read-outs.
const monitor::Edition &flankdial();

} // namespace editions
