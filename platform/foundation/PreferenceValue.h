// One stored preference: a boolean, 64-bit integer, double, string, bytes, date, array or
// dictionary, kept with its type so that a boolean never turns into a number on the way back.
#pragma once

#include <QByteArray>
#include <QString>

#include <concepts>
#include <cstdint>
#include <map>
#include <variant>
#include <vector>

namespace qv {

class PreferenceValue;
using PreferenceArray = std::vector<PreferenceValue>;
using PreferenceDictionary = std::map<QString, PreferenceValue>;

// A point in time as seconds since 1970-01-01 00:00 UTC, fractions kept exactly.
struct PreferenceDate {
    double secondsSince1970 = 0;
    bool operator==(const PreferenceDate&) const = default;
};

enum class PreferenceType { Absent, Bool, Integer, Double, String, Bytes, Date, Array, Dictionary };

class PreferenceValue {
public:
    PreferenceValue() = default;  // absent
    PreferenceValue(bool value) : value_(value) {}
    template <std::integral T>
        requires(!std::same_as<T, bool>)
    PreferenceValue(T value) : value_(static_cast<std::int64_t>(value))
    {
    }
    PreferenceValue(double value) : value_(value) {}
    PreferenceValue(QString value) : value_(std::move(value)) {}
    PreferenceValue(const char* utf8) : value_(QString::fromUtf8(utf8)) {}
    PreferenceValue(QByteArray bytes) : value_(std::move(bytes)) {}
    PreferenceValue(PreferenceDate date) : value_(date) {}
    PreferenceValue(PreferenceArray array) : value_(std::move(array)) {}
    PreferenceValue(PreferenceDictionary dictionary) : value_(std::move(dictionary)) {}

    PreferenceType type() const { return static_cast<PreferenceType>(value_.index()); }
    bool isAbsent() const { return type() == PreferenceType::Absent; }
    // The value when it is of type T (bool, std::int64_t, double, QString, QByteArray,
    // PreferenceDate, PreferenceArray, PreferenceDictionary); null otherwise.
    template <class T>
    const T* get() const
    {
        return std::get_if<T>(&value_);
    }

    bool operator==(const PreferenceValue&) const = default;

private:
    // In the order of PreferenceType.
    std::variant<std::monostate, bool, std::int64_t, double, QString, QByteArray, PreferenceDate,
                 PreferenceArray, PreferenceDictionary>
        value_;
};

}  // namespace qv
