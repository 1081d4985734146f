#include "SharedDomain.h"

using foundation::Date;
using foundation::Dictionary;
using foundation::Value;
using pellin::test::storedInAnotherProcess;
using Lib = UserDefaultConfigurationLib;

namespace {

class NotificationRecords : public pellin::test::PellinDomainTest {};

const Date kMonday{1709629503.25};
const Date kTuesday{1709715903.5};

}  // namespace

TEST_F(NotificationRecords, AMessageNeverWrittenHasNoRecord) {
    EXPECT_EQ(Lib::getUserNotification("A"), nullptr);
    EXPECT_EQ(Lib::getUserNotification(""), nullptr);
}

TEST_F(NotificationRecords, AWrittenRecordHoldsExactlyDateAndCountAlreadyOnDisk) {
    Lib::setUserNotification("A", kMonday, Value(3));
    const Value expected(Dictionary{{"lastView", Value(kMonday)}, {"count", Value(3)}});
    EXPECT_EQ(stored("userNotification.A"), expected);
    EXPECT_EQ(storedInAnotherProcess("userNotification.A"),
              "{\n    count = 3;\n    lastView = \"2024-03-05 09:05:03 +0000\";\n}");
    const auto record = Lib::getUserNotification("A");
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(record->lastView(), kMonday);
    EXPECT_EQ(record->count(), Value(3));
}

TEST_F(NotificationRecords, AWriteReplacesTheWholeRecord) {
    store("userNotification.A",
          Value(Dictionary{
              {"lastView", Value(kMonday)}, {"count", Value(1)}, {"extra", Value("x")}}));
    Lib::setUserNotification("A", kTuesday, Value(2.5));
    EXPECT_EQ(stored("userNotification.A"),
              Value(Dictionary{{"lastView", Value(kTuesday)}, {"count", Value(2.5)}}));
    Lib::setUserNotification("A", kMonday, Value(7));
    const auto record = Lib::getUserNotification("A");
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(record->lastView(), kMonday);
    EXPECT_EQ(record->count(), Value(7));
}

TEST_F(NotificationRecords, MissingEntriesLeaveTheirPropertyAbsent) {
    store("userNotification.onlyCount", Value(Dictionary{{"count", Value(4)}}));
    auto record = Lib::getUserNotification("onlyCount");
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(record->lastView(), std::nullopt);
    EXPECT_EQ(record->count(), Value(4));

    store("userNotification.onlyDate", Value(Dictionary{{"lastView", Value(kMonday)}}));
    record = Lib::getUserNotification("onlyDate");
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(record->lastView(), kMonday);
    EXPECT_EQ(record->count(), std::nullopt);

    // Entries, but neither of the two: a record with both absent.
    store("userNotification.other", Value(Dictionary{{"seen", Value(true)}}));
    record = Lib::getUserNotification("other");
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(record->lastView(), std::nullopt);
    EXPECT_EQ(record->count(), std::nullopt);
}

TEST_F(NotificationRecords, ValuesOfTheWrongKindAreNoRecordOrNoProperty) {
    // Not a dictionary, or an empty one: no record.
    for (const Value& value : {Value("text"), Value(3), Value(kMonday), Value(Dictionary{}),
                               Value(foundation::Array{Value(1)})}) {
        store("userNotification.A", value);
        EXPECT_EQ(Lib::getUserNotification("A"), nullptr) << value.description();
        // Reading leaves the stored value alone.
        EXPECT_EQ(stored("userNotification.A"), value);
    }
    // Entries of another kind are left out; the rest of the record is kept.
    store("userNotification.B",
          Value(Dictionary{{"lastView", Value("yesterday")}, {"count", Value(5)}}));
    auto record = Lib::getUserNotification("B");
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(record->lastView(), std::nullopt);
    EXPECT_EQ(record->count(), Value(5));
    store("userNotification.B",
          Value(Dictionary{{"lastView", Value(kMonday)}, {"count", Value("five")}}));
    record = Lib::getUserNotification("B");
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(record->lastView(), kMonday);
    EXPECT_EQ(record->count(), std::nullopt);
}

TEST_F(NotificationRecords, RecordsOfDifferentMessagesAreIndependentKeys) {
    Lib::setUserNotification("A", kMonday, Value(1));
    Lib::setUserNotification("B", kTuesday, Value(2));
    Lib::setUserNotification("A", kTuesday, Value(3));
    const auto b = Lib::getUserNotification("B");
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(b->lastView(), kTuesday);
    EXPECT_EQ(b->count(), Value(2));
    // Not nested under a common dictionary; identifiers are used as given.
    EXPECT_TRUE(stored("userNotification").isNone());
    Lib::setUserNotification("news.2024 #1", kMonday, Value(9));
    EXPECT_EQ(Lib::getUserNotification("news.2024 #1")->count(), Value(9));
    EXPECT_EQ(Lib::getUserNotification("news.2024"), nullptr);
    // Removing one record's key leaves the others.
    Lib::removeKey("userNotification.A");
    EXPECT_EQ(Lib::getUserNotification("A"), nullptr);
    EXPECT_NE(Lib::getUserNotification("B"), nullptr);
}

TEST_F(NotificationRecords, AWriteWithoutDateOrNumberKeepsTheEarlierRecord) {
    Lib::setUserNotification("A", kMonday, Value(1));
    const Value before = stored("userNotification.A");
    Lib::setUserNotification("A", std::nullopt, Value(2));
    Lib::setUserNotification("A", kTuesday, std::nullopt);
    Lib::setUserNotification("A", kTuesday, Value("not a number"));
    EXPECT_EQ(stored("userNotification.A"), before);
    // Nor is a half record created where there was none.
    Lib::setUserNotification("new", std::nullopt, Value(2));
    EXPECT_TRUE(stored("userNotification.new").isNone());
}

TEST_F(NotificationRecords, RemovingTheDomainRemovesEveryRecord) {
    Lib::setUserNotification("A", kMonday, Value(1));
    Lib::setUserNotification("B", kMonday, Value(2));
    Lib::removePersistentDomain();
    EXPECT_EQ(Lib::getUserNotification("A"), nullptr);
    EXPECT_EQ(Lib::getUserNotification("B"), nullptr);
}
