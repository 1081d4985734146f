#include <PellinFoundation/Value.h>

#include <gtest/gtest.h>

using foundation::Array;
using foundation::Data;
using foundation::Date;
using foundation::Dictionary;
using foundation::Value;

TEST(Value, DescriptionsFollowFoundation) {
    EXPECT_EQ(Value().description(), "(null)");
    EXPECT_EQ(Value(true).description(), "1");
    EXPECT_EQ(Value(0).description(), "0");
    EXPECT_EQ(Value(-12).description(), "-12");
    EXPECT_EQ(Value(0.5).description(), "0.5");
    EXPECT_EQ(Value("").description(), "");
    // 2024-03-05 09:05:03.042 UTC: fractions are not shown.
    EXPECT_EQ(Value(Date{1709629503.042}).description(), "2024-03-05 09:05:03 +0000");
    EXPECT_EQ(Value(Date{-2208988800.0}).description(), "1900-01-01 00:00:00 +0000");
    EXPECT_EQ(Value(Data{1, 2, 0xab}).description(), "{length = 3, bytes = 0x0102ab}");
    EXPECT_EQ(Value(Data(30, 0xff)).description(),
              "{length = 30, bytes = 0xffffffffffffffff ... ffffffff}");
}

TEST(Value, CollectionsAreDescribedWithNestedIndentation) {
    const Value list(Array{Value(1), Value("two words"), Value(Array{})});
    EXPECT_EQ(list.description(), "(\n    1,\n    \"two words\",\n    (\n    )\n)");
    const Value record(Dictionary{{"count", Value(3)}, {"lastView", Value(Date{1709629503.0})}});
    EXPECT_EQ(record.description(),
              "{\n    count = 3;\n    lastView = \"2024-03-05 09:05:03 +0000\";\n}");
}

TEST(Value, EqualityDistinguishesKindsAndContents) {
    EXPECT_EQ(Value(3), Value(std::int64_t{3}));
    EXPECT_NE(Value(1), Value(true));
    EXPECT_NE(Value(1), Value(1.0));
    EXPECT_NE(Value("1"), Value(1));
    EXPECT_EQ(Value(Dictionary{{"a", Value(1)}}), Value(Dictionary{{"a", Value(1)}}));
    EXPECT_NE(Value(Dictionary{{"a", Value(1)}}), Value(Dictionary{{"a", Value(2)}}));
    EXPECT_EQ(Value(), Value());
    EXPECT_TRUE(Value().isNone());
    EXPECT_EQ(Value(-1).integer() ? *Value(-1).integer() : 0, -1);
    EXPECT_EQ(Value(Date{1.25}).date()->timeIntervalSince1970, 1.25);
}
