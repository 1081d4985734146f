#pragma once

#include <cstdint>

// The outcome of one uninstall: a plain value record that the caller owns.
class UninstallResult {
  public:
    // 0: the removal succeeded, or there was nothing to remove. 1: the removal failed twice.
    std::int64_t error_result() const;
    void setError_result(std::int64_t error_result);

    // The failed removal's error number, narrowed to 16 bits; 0 whenever error_result is 0.
    std::int16_t error_number() const;
    void setError_number(std::int16_t error_number);

  private:
    std::int64_t error_result_ = 0;
    std::int16_t error_number_ = 0;
};
