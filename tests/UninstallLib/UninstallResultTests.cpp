#include <UninstallLib/UninstallResult.h>

#include <gtest/gtest.h>

#include <type_traits>

namespace {

TEST(UninstallResult, ANewRecordIsZeroAndItsFieldsHoldTheirFullRange) {
    UninstallResult result;
    EXPECT_EQ(result.error_result(), 0);
    EXPECT_EQ(result.error_number(), 0);
    result.setError_result(INT64_MIN);
    result.setError_number(-32768);
    EXPECT_EQ(result.error_result(), INT64_MIN);
    EXPECT_EQ(result.error_number(), -32768);
    static_assert(std::is_same_v<decltype(result.error_result()), std::int64_t>);
    static_assert(std::is_same_v<decltype(result.error_number()), std::int16_t>);
}

}  // namespace
