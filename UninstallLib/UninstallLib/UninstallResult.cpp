#include "UninstallResult.h"

std::int64_t UninstallResult::error_result() const {
    return error_result_;
}

void UninstallResult::setError_result(std::int64_t error_result) {
    error_result_ = error_result;
}

std::int16_t UninstallResult::error_number() const {
    return error_number_;
}

void UninstallResult::setError_number(std::int16_t error_number) {
    error_number_ = error_number;
}
