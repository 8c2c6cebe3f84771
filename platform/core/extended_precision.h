#pragma once
// Arithmetic that must come out the same to the last bit, whatever some library or the system
// may have set. The x87 unit's precision is part of each thread's state: Linux starts every
// thread at 64 bits of mantissa, Windows at 53, so each thread that relies on it sets it itself.

#include <cfenv>
#include <cstdint>

// The x87 control word: the precision field (bits 8-9) and the rounding field (bits 10-11).
// Read and written with the unit's own instructions, the same with glibc and with MinGW (which
// has no <fpu_control.h>).
using X87ControlWord = std::uint16_t;
inline constexpr X87ControlWord kX87PrecisionMask = 0x0300;
inline constexpr X87ControlWord kX87Precision64 = 0x0300;
inline constexpr X87ControlWord kX87Precision53 = 0x0200;
inline constexpr X87ControlWord kX87RoundingMask = 0x0C00;

inline X87ControlWord x87_control_word() {
    X87ControlWord word = 0;
    __asm__ __volatile__("fnstcw %0" : "=m"(word));
    return word;
}

inline void set_x87_control_word(X87ControlWord word) {
    __asm__ __volatile__("fldcw %0" : : "m"(word));
}

// Puts the x87 unit in 64-bit-mantissa precision and both units in round-to-nearest for the
// lifetime of the object, and restores the former state.
class ExtendedPrecision {
public:
    ExtendedPrecision() : rounding_(std::fegetround()), control_(x87_control_word()) {
        set_x87_control_word(
            X87ControlWord((control_ & ~(kX87PrecisionMask | kX87RoundingMask)) | kX87Precision64));
        std::fesetround(FE_TONEAREST);
    }
    ~ExtendedPrecision() {
        std::fesetround(rounding_);
        set_x87_control_word(control_);
    }
    ExtendedPrecision(const ExtendedPrecision&) = delete;
    ExtendedPrecision& operator=(const ExtendedPrecision&) = delete;

private:
    int rounding_;
    X87ControlWord control_;
};
