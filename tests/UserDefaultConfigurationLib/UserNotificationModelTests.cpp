#include <UserDefaultConfigurationLib/UserNotificationModel.h>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

using foundation::Date;
using foundation::Value;

namespace {

const Date kMonday{1709629503.25};
const Date kTuesday{1709715903.5};

}  // namespace

TEST(UserNotificationModel, ANewRecordHasBothPropertiesAbsent) {
    UserNotificationModel record;
    EXPECT_EQ(record.lastView(), std::nullopt);
    EXPECT_EQ(record.count(), std::nullopt);
    EXPECT_EQ(record.description(), "<UserNotificationModel: lastView=(null), count=(null)>");
    record.setLastView(kMonday);
    record.setCount(Value(3));
    EXPECT_EQ(record.description(),
              "<UserNotificationModel: lastView=2024-03-05 09:05:03 +0000, count=3>");
}

TEST(UserNotificationModel, ACountIsAlwaysANumber) {
    UserNotificationModel record;
    record.setCount(Value(2.5));
    EXPECT_EQ(record.count(), Value(2.5));
    record.setCount(Value("3"));
    EXPECT_EQ(record.count(), std::nullopt);
    record.setCount(Value(true));
    EXPECT_EQ(record.count(), Value(true));
    record.setCount(std::nullopt);
    EXPECT_EQ(record.count(), std::nullopt);
}

TEST(UserNotificationModel, ACopyIsIndependentOfItsOriginal) {
    UserNotificationModel original;
    original.setCount(Value(1));
    UserNotificationModel copy = original;
    copy.setCount(Value(2));
    copy.setLastView(kMonday);
    EXPECT_EQ(original.count(), Value(1));
    EXPECT_EQ(original.lastView(), std::nullopt);
    original = copy;
    EXPECT_EQ(original.count(), Value(2));
}

TEST(UserNotificationModel, ConcurrentReadersNeverSeeAHalfWrittenProperty) {
    UserNotificationModel record;
    const Value otherNumber(std::int64_t{1} << 50);
    std::atomic<bool> stop = false;
    std::atomic<int> torn = 0;
    std::vector<std::thread> readers;
    for (int i = 0; i < 2; ++i) {
        readers.emplace_back([&] {
            while (!stop) {
                const auto count = record.count();
                if (count && *count != Value(1) && *count != otherNumber) {
                    ++torn;
                }
                const auto date = record.lastView();
                if (date && *date != kMonday && *date != kTuesday) {
                    ++torn;
                }
            }
        });
    }
    for (int i = 0; i < 20000; ++i) {
        record.setCount(i % 2 ? Value(1) : otherNumber);
        record.setLastView(i % 2 ? kMonday : kTuesday);
        record.setCount(std::nullopt);
    }
    stop = true;
    for (auto& reader : readers) {
        reader.join();
    }
    EXPECT_EQ(torn, 0);
}
