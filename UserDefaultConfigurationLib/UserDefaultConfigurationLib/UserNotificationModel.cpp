#include "UserNotificationModel.h"

#include <utility>

#include <PellinFoundation/Format.h>

UserNotificationModel::UserNotificationModel(const UserNotificationModel& other)
    : lastView_(other.lastView()), count_(other.count()) {}

UserNotificationModel& UserNotificationModel::operator=(const UserNotificationModel& other) {
    if (this != &other) {
        setLastView(other.lastView());
        setCount(other.count());
    }
    return *this;
}

std::optional<foundation::Date> UserNotificationModel::lastView() const {
    std::lock_guard lock(lastViewMutex_);
    return lastView_;
}

void UserNotificationModel::setLastView(std::optional<foundation::Date> lastView) {
    std::lock_guard lock(lastViewMutex_);
    lastView_ = lastView;
}

std::optional<foundation::Value> UserNotificationModel::count() const {
    std::lock_guard lock(countMutex_);
    return count_;
}

void UserNotificationModel::setCount(std::optional<foundation::Value> count) {
    if (count && !count->isNumber()) {
        count.reset();
    }
    std::lock_guard lock(countMutex_);
    count_ = std::move(count);
}

std::string UserNotificationModel::description() const {
    const std::optional<foundation::Date> date = lastView();
    const std::optional<foundation::Value> number = count();
    return foundation::stringWithFormat("<UserNotificationModel: lastView=%@, count=%@>",
                                        date ? foundation::Value(*date) : foundation::Value(),
                                        number);
}
