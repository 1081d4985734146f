#pragma once

#include <compare>
#include <cstdint>
#include <limits>
#include <map>
#include <string>
#include <string_view>
#include <type_traits>
#include <variant>
#include <vector>

#include <PellinFoundation/Export.h>

namespace foundation {

// A point in time, kept with its fractional seconds, as property lists store dates.
struct PELLIN_EXPORT Date {
    double timeIntervalSince1970 = 0.0;

    static Date now();
    // Seconds between 1970-01-01 and 2001-01-01, the reference date of property lists.
    static constexpr double kReferenceDateOffset = 978307200.0;
    double timeIntervalSinceReferenceDate() const {
        return timeIntervalSince1970 - kReferenceDateOffset;
    }
    static Date fromReferenceDate(double seconds) { return Date{seconds + kReferenceDateOffset}; }
    friend auto operator<=>(const Date&, const Date&) = default;
};

using Data = std::vector<std::uint8_t>;

class Value;
using Array = std::vector<Value>;
using Dictionary = std::map<std::string, Value, std::less<>>;

// One property-list value: Boolean, integer, real, text, date, data, list, dictionary, or no
// value at all (the default). Integers are kept as signed 64-bit numbers, except those above
// INT64_MAX, which other programs may store and which are kept as unsigned 64-bit numbers: an
// integer has exactly one of integer() and unsignedInteger().
class PELLIN_EXPORT Value {
  public:
    enum class Kind { None, Boolean, Integer, Real, Text, Date, Data, Array, Dictionary };

    Value() = default;
    Value(bool b) : storage_(b) {}
    template <class T>
    requires(std::is_integral_v<T> && !std::is_same_v<T, bool> && !std::is_same_v<T, char>)
        Value(T i) {
        if constexpr (std::is_unsigned_v<T> && sizeof(T) >= sizeof(std::int64_t)) {
            if (static_cast<std::uint64_t>(i) >
                static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) {
                storage_ = static_cast<std::uint64_t>(i);
                return;
            }
        }
        storage_ = static_cast<std::int64_t>(i);
    }
    Value(double d) : storage_(d) {}
    Value(std::string s) : storage_(std::move(s)) {}
    Value(std::string_view s) : storage_(std::string(s)) {}
    Value(const char* s) : storage_(std::string(s)) {}
    Value(foundation::Date d) : storage_(d) {}
    Value(foundation::Data d) : storage_(std::move(d)) {}
    Value(foundation::Array a) : storage_(std::move(a)) {}
    Value(foundation::Dictionary d) : storage_(std::move(d)) {}

    Kind kind() const {
        return std::holds_alternative<std::uint64_t>(storage_)
                   ? Kind::Integer
                   : static_cast<Kind>(storage_.index());
    }
    bool isNone() const { return kind() == Kind::None; }
    explicit operator bool() const = delete;  // ambiguous: "has a value" or "is true"?

    // Typed views; nullptr when the value is of another kind.
    const bool* boolean() const { return std::get_if<bool>(&storage_); }
    const std::int64_t* integer() const { return std::get_if<std::int64_t>(&storage_); }
    // Only for an integer above INT64_MAX.
    const std::uint64_t* unsignedInteger() const { return std::get_if<std::uint64_t>(&storage_); }
    const double* real() const { return std::get_if<double>(&storage_); }
    const std::string* text() const { return std::get_if<std::string>(&storage_); }
    const foundation::Date* date() const { return std::get_if<foundation::Date>(&storage_); }
    const foundation::Data* data() const { return std::get_if<foundation::Data>(&storage_); }
    const foundation::Array* array() const { return std::get_if<foundation::Array>(&storage_); }
    const foundation::Dictionary* dictionary() const {
        return std::get_if<foundation::Dictionary>(&storage_);
    }
    // For the one owner of a dictionary value that changes it in place; nullptr otherwise.
    foundation::Dictionary* mutableDictionary() {
        return std::get_if<foundation::Dictionary>(&storage_);
    }
    bool isNumber() const { return boolean() || integer() || unsignedInteger() || real(); }

    // The text that "%@" prints, in Foundation's style: "(null)" for no value, 1 and 0 for
    // Booleans, "2024-03-05 09:05:03 +0000" for dates, "{length = 3, bytes = 0x010203}" for data,
    // "( ... )" and "{ key = value; }" for lists and dictionaries.
    std::string description() const;

    PELLIN_EXPORT friend bool operator==(const Value& a, const Value& b);

  private:
    // In the order of Kind; the unsigned integer, of kind Integer, comes last.
    std::variant<std::monostate, bool, std::int64_t, double, std::string, foundation::Date,
                 foundation::Data, foundation::Array, foundation::Dictionary, std::uint64_t>
        storage_;
};

PELLIN_EXPORT std::string_view kindName(Value::Kind kind);

}  // namespace foundation
