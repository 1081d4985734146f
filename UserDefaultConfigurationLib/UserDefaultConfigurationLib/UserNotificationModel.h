#pragma once

// One message's notification record as the settings store hands it to a caller: when the user
// last viewed the message and a count. Either may be absent. The record is a copy, not a view:
// changing it does not change the store. Each property is read and written atomically, so a
// reader never sees a half-written value; the two are not updated together as one.

#include <mutex>
#include <optional>
#include <string>

#include <PellinFoundation/Value.h>

class UserNotificationModel {
  public:
    UserNotificationModel() = default;
    UserNotificationModel(const UserNotificationModel& other);
    UserNotificationModel& operator=(const UserNotificationModel& other);

    std::optional<foundation::Date> lastView() const;
    void setLastView(std::optional<foundation::Date> lastView);

    // Always a number (integer, real or Boolean) when present.
    std::optional<foundation::Value> count() const;
    // A value that is not a number leaves the count absent.
    void setCount(std::optional<foundation::Value> count);

    // "<UserNotificationModel: lastView=2024-03-05 09:05:03 +0000, count=3>", "(null)" for an
    // absent property.
    std::string description() const;

  private:
    mutable std::mutex lastViewMutex_;
    std::optional<foundation::Date> lastView_;
    mutable std::mutex countMutex_;
    std::optional<foundation::Value> count_;
};
