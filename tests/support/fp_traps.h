#pragma once

#include <cfenv>

namespace torvane_test {

// Traps division by zero and invalid operations for the lifetime of the
// object, so that an unguarded division in the simulation or the engine
// stops the test with SIGFPE instead of spreading infinities and NaNs.
class FpTraps {
public:
    FpTraps() : old_(fegetexcept())
    {
        feclearexcept(FE_ALL_EXCEPT);
        feenableexcept(FE_DIVBYZERO | FE_INVALID);
    }
    ~FpTraps()
    {
        fedisableexcept(FE_ALL_EXCEPT);
        feenableexcept(old_);
    }
    FpTraps(const FpTraps&) = delete;
    FpTraps& operator=(const FpTraps&) = delete;

private:
    int old_;
};

} // namespace torvane_test
