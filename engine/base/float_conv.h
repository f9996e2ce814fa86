#pragma once

// The engine's clamped float-to-int truncations (see platform/float_conv.h).
#include "platform/float_conv.h"

using platform::trunc_to_int;
using platform::trunc_to_int64;
