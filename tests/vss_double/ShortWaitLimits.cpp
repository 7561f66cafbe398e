// Linked into the tests' build of the 64-bit host: every wait limit is one second, set before
// WinMain, so that the tests of a library that never answers end quickly.
#include "WaitLimits.h"

namespace {

struct ShortWaitLimits {
    ShortWaitLimits() { SetShadowWaitLimitForTesting(1000); }
} g_shortWaitLimits;

}  // namespace
