#pragma once

// Reading a script run's error record, as the engine judges and logs it.

#include <cstdint>

#include <PellinFoundation/Value.h>

namespace uninstall_detail {

// A run wrote its error into the record.
bool isFilled(const foundation::Dictionary& errorInfo);

// The record's error number as a number's short value: its low 16 bits read as a two's
// complement number, so 32768 becomes -32768. A missing or non-numeric number is 0.
std::int16_t errorNumber(const foundation::Dictionary& errorInfo);

// The record's error message; no value when it has none.
foundation::Value errorMessage(const foundation::Dictionary& errorInfo);

}  // namespace uninstall_detail
