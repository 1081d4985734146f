#include "PropertyListDate.h"

#include <array>
#include <charconv>
#include <cmath>
#include <cstdint>

namespace foundation::plist_detail {
namespace {

constexpr std::int64_t kSecondsPerDay = 86400;
constexpr std::int64_t kMinimumYear = -9999;
constexpr std::int64_t kMaximumYear = 9999;

// Days since 1970-01-01 of a proleptic Gregorian date, and back (H. Hinnant's algorithms):
// exact for every year we accept, without the 32-bit or time_t limits of the C library.
std::int64_t daysFromCivil(std::int64_t year, std::int64_t month, std::int64_t day) {
    year -= month <= 2 ? 1 : 0;
    const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
    const std::int64_t yearOfEra = year - era * 400;
    const std::int64_t dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const std::int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;
}

struct Civil {
    std::int64_t year;
    std::int64_t month;
    std::int64_t day;
};

Civil civilFromDays(std::int64_t days) {
    days += 719468;
    const std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const std::int64_t dayOfEra = days - era * 146097;
    const std::int64_t yearOfEra =
        (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const std::int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const std::int64_t monthIndex = (5 * dayOfYear + 2) / 153;
    const std::int64_t day = dayOfYear - (153 * monthIndex + 2) / 5 + 1;
    const std::int64_t month = monthIndex < 10 ? monthIndex + 3 : monthIndex - 9;
    return {yearOfEra + era * 400 + (month <= 2 ? 1 : 0), month, day};
}

bool isLeapYear(std::int64_t year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

std::int64_t daysInMonth(std::int64_t year, std::int64_t month) {
    static constexpr std::array<std::int64_t, 12> kDays = {31, 28, 31, 30, 31, 30,
                                                           31, 31, 30, 31, 30, 31};
    return month == 2 && isLeapYear(year) ? 29 : kDays[static_cast<std::size_t>(month - 1)];
}

const double kEarliest = static_cast<double>(daysFromCivil(kMinimumYear, 1, 1) * kSecondsPerDay);
const double kLatest = static_cast<double>(daysFromCivil(kMaximumYear + 1, 1, 1) * kSecondsPerDay);

void appendNumber(std::string& out, std::int64_t value, int width) {
    std::array<char, 24> digits{};
    const auto result = std::to_chars(digits.data(), digits.data() + digits.size(), value);
    const auto length = static_cast<int>(result.ptr - digits.data());
    out.append(static_cast<std::size_t>(width > length ? width - length : 0), '0');
    out.append(digits.data(), result.ptr);
}

// Reads exactly `count` digits at `text[at]`.
std::optional<std::int64_t> digitsAt(std::string_view text, std::size_t at, std::size_t count) {
    if (at + count > text.size()) {
        return std::nullopt;
    }
    std::int64_t value = 0;
    for (std::size_t i = at; i < at + count; ++i) {
        if (text[i] < '0' || text[i] > '9') {
            return std::nullopt;
        }
        value = value * 10 + (text[i] - '0');
    }
    return value;
}

}  // namespace

std::optional<std::string> dateText(const Date& date) {
    const double time = date.timeIntervalSince1970;
    if (!std::isfinite(time) || time < kEarliest || time >= kLatest) {
        return std::nullopt;
    }
    double whole = std::floor(time);
    double fraction = time - whole;  // exact: both lie within one unit of each other
    // A fraction too small to change the sum is not written: the text reads back the same.
    if (fraction >= 1.0 || (whole != 0.0 && whole + fraction == whole)) {
        whole = fraction >= 1.0 ? whole + 1.0 : whole;
        fraction = 0.0;
    }
    const auto seconds = static_cast<std::int64_t>(whole);
    const std::int64_t days =
        (seconds >= 0 ? seconds : seconds - (kSecondsPerDay - 1)) / kSecondsPerDay;
    const std::int64_t secondOfDay = seconds - days * kSecondsPerDay;
    const Civil civil = civilFromDays(days);

    std::string out;
    out.reserve(32);
    if (civil.year < 0) {
        out += '-';
    }
    appendNumber(out, civil.year < 0 ? -civil.year : civil.year, 4);
    out += '-';
    appendNumber(out, civil.month, 2);
    out += '-';
    appendNumber(out, civil.day, 2);
    out += 'T';
    appendNumber(out, secondOfDay / 3600, 2);
    out += ':';
    appendNumber(out, secondOfDay / 60 % 60, 2);
    out += ':';
    appendNumber(out, secondOfDay % 60, 2);
    if (fraction > 0.0) {
        // The shortest fixed notation that reads back as the same double: "0.25" -> ".25".
        std::array<char, 400> digits{};
        const auto result = std::to_chars(digits.data(), digits.data() + digits.size(), fraction,
                                          std::chars_format::fixed);
        const std::string_view text(digits.data(),
                                    static_cast<std::size_t>(result.ptr - digits.data()));
        if (result.ec == std::errc() && text.starts_with("0.")) {
            out += text.substr(1);
        }
    }
    out += 'Z';
    return out;
}

std::optional<Date> dateFromText(std::string_view text) {
    const bool negative = text.starts_with('-');
    const std::size_t yearAt = negative ? 1 : 0;
    // "YYYY-MM-DDTHH:MM:SS" then an optional fraction and the closing "Z".
    if (text.size() < yearAt + 20 || text[yearAt + 4] != '-' || text[yearAt + 7] != '-' ||
        text[yearAt + 10] != 'T' || text[yearAt + 13] != ':' || text[yearAt + 16] != ':' ||
        text.back() != 'Z') {
        return std::nullopt;
    }
    const auto year = digitsAt(text, yearAt, 4);
    const auto month = digitsAt(text, yearAt + 5, 2);
    const auto day = digitsAt(text, yearAt + 8, 2);
    const auto hour = digitsAt(text, yearAt + 11, 2);
    const auto minute = digitsAt(text, yearAt + 14, 2);
    const auto second = digitsAt(text, yearAt + 17, 2);
    if (!year || !month || !day || !hour || !minute || !second) {
        return std::nullopt;
    }
    const std::int64_t signedYear = negative ? -*year : *year;
    // A leap second (":60") is taken as the first second of the next minute.
    if (*month < 1 || *month > 12 || *day < 1 || *day > daysInMonth(signedYear, *month) ||
        *hour > 23 || *minute > 59 || *second > 60) {
        return std::nullopt;
    }
    double fraction = 0.0;
    const std::string_view rest = text.substr(yearAt + 19, text.size() - yearAt - 20);
    if (!rest.empty()) {
        if (rest.size() < 2 || rest.size() > 390 || rest[0] != '.' ||
            !digitsAt(rest, 1, 1).has_value()) {
            return std::nullopt;
        }
        for (const char c : rest.substr(1)) {
            if (c < '0' || c > '9') {
                return std::nullopt;
            }
        }
        const std::string number = "0" + std::string(rest);
        const auto result = std::from_chars(number.data(), number.data() + number.size(), fraction,
                                            std::chars_format::fixed);
        if (result.ec != std::errc() || result.ptr != number.data() + number.size()) {
            return std::nullopt;
        }
    }
    const std::int64_t seconds = daysFromCivil(signedYear, *month, *day) * kSecondsPerDay +
                                 *hour * 3600 + *minute * 60 + *second;
    return Date{static_cast<double>(seconds) + fraction};
}

}  // namespace foundation::plist_detail
