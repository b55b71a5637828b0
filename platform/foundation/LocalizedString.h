// User-visible text, looked up in the string table by its English wording. English is the
// only language shipped, so the table answers every text with itself.
#pragma once

#include <QString>

namespace qv {

QString localizedString(const QString& english);

}  // namespace qv
