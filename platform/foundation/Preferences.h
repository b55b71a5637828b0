// The user's preferences: typed values under string keys, with registered defaults, kept in a
// JSON file in the user's configuration folder. Main thread only.
#pragma once

#include "PreferenceValue.h"

#include <map>
#include <optional>
#include <string>

namespace qv {

class Preferences {
public:
    // Reads `folder`/preferences.json. A file that cannot be parsed is moved aside to
    // preferences.json.corrupt (or -2, -3… beside earlier copies) with a warning, and the
    // defaults serve. A file that exists but cannot be read is reported and never written:
    // the defaults serve and changes live in memory only. A value of a type this version does
    // not know is skipped with a warning and written back as it was.
    explicit Preferences(QString folder = defaultFolder());
    Preferences(const Preferences&) = delete;
    Preferences& operator=(const Preferences&) = delete;

    // $XDG_CONFIG_HOME/Quorvantelle; $XDG_CONFIG_HOME defaults to ~/.config.
    static QString defaultFolder();
    QString filePath() const;

    // Values answered for keys that hold nothing; never written to the file. A later
    // registration of the same key replaces the earlier one.
    void registerDefaults(const PreferenceDictionary& defaults);

    // The stored value, else the registered default, else an absent value.
    PreferenceValue objectForKey(const QString& key) const;
    // Stores `value` and writes the file when it changed; an absent value removes the key.
    void setObject(const QString& key, PreferenceValue value);
    void removeObject(const QString& key);

    // Typed reads with the usual conversions between numbers, booleans and strings.
    // Booleans: numbers are true when non-zero, strings when "yes" or "true" (any case) or
    // when they start with a non-zero integer; anything else is false.
    bool boolForKey(const QString& key) const;
    // Integers: doubles truncate toward zero (clamped), booleans give 0 or 1, strings their
    // leading integer; anything else 0.
    std::int64_t integerForKey(const QString& key) const;
    // Doubles: integers and booleans convert, strings that are a number in C notation too;
    // anything else 0.
    double doubleForKey(const QString& key) const;
    // Strings, and numbers in their shortest exact text; nothing for other types.
    std::optional<QString> stringForKey(const QString& key) const;
    std::optional<QByteArray> dataForKey(const QString& key) const;
    std::optional<PreferenceArray> arrayForKey(const QString& key) const;
    std::optional<PreferenceDictionary> dictionaryForKey(const QString& key) const;

private:
    void load();
    void save() const;

    QString folder_;
    PreferenceDictionary values_;
    PreferenceDictionary defaults_;
    std::map<QString, std::string> unknown_;  // JSON text of values of unknown types, by key
    bool readOnly_ = false;                   // the file exists but could not be read
};

}  // namespace qv
