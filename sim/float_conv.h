#pragma once

// The simulation's clamped float-to-int truncations, under the names its code
// uses (see platform/float_conv.h): toward zero, clamped to the target's
// range, NaN gives 0.
#include "platform/float_conv.h"

inline constexpr auto& TruncClamped = platform::trunc_clamped;
inline constexpr auto& TruncToInt = platform::trunc_to_int;
