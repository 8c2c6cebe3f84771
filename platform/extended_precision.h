#pragma once
// Arithmetic that must come out the same to the last bit, whatever some library may have set.

#include <cfenv>
#include <fpu_control.h>

// Puts the x87 unit in 64-bit-mantissa precision and both units in round-to-nearest for the
// lifetime of the object, and restores the former state.
class ExtendedPrecision {
public:
    ExtendedPrecision() : rounding_(std::fegetround()) {
        _FPU_GETCW(control_);
        const fpu_control_t wanted = static_cast<fpu_control_t>(
            (control_ & ~(_FPU_EXTENDED | _FPU_RC_ZERO)) | _FPU_EXTENDED);
        _FPU_SETCW(wanted);
        std::fesetround(FE_TONEAREST);
    }
    ~ExtendedPrecision() {
        std::fesetround(rounding_);
        _FPU_SETCW(control_);
    }
    ExtendedPrecision(const ExtendedPrecision&) = delete;
    ExtendedPrecision& operator=(const ExtendedPrecision&) = delete;

private:
    int rounding_;
    fpu_control_t control_;
};
