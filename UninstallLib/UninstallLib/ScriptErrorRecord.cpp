#include "ScriptErrorRecord.h"

#include <cmath>

#include <PellinAppleScript/AppleScript.h>

namespace uninstall_detail {

namespace {

std::int16_t lowSixteenBits(std::int64_t number) {
    // Conversion to a narrower signed type keeps the low bits (two's complement, C++20).
    return static_cast<std::int16_t>(number);
}

}  // namespace

bool isFilled(const foundation::Dictionary& errorInfo) {
    return !errorInfo.empty();
}

std::int16_t errorNumber(const foundation::Dictionary& errorInfo) {
    const auto found = errorInfo.find(applescript::NSAppleScriptErrorNumber);
    if (found == errorInfo.end()) {
        return 0;
    }
    const foundation::Value& number = found->second;
    if (const std::int64_t* integer = number.integer()) {
        return lowSixteenBits(*integer);
    }
    if (const double* real = number.real()) {
        // Whole part first; a value no 64-bit integer can hold has no meaningful low bits.
        if (!std::isfinite(*real) || std::fabs(*real) >= 9.2e18) {
            return 0;
        }
        return lowSixteenBits(static_cast<std::int64_t>(*real));
    }
    if (const bool* boolean = number.boolean()) {
        return *boolean ? 1 : 0;
    }
    return 0;
}

foundation::Value errorMessage(const foundation::Dictionary& errorInfo) {
    const auto found = errorInfo.find(applescript::NSAppleScriptErrorMessage);
    return found == errorInfo.end() ? foundation::Value() : found->second;
}

}  // namespace uninstall_detail
