// User-visible texts are looked up by their English text; the table is the identity for now.
#pragma once

#include <QString>

inline QString localizedString(const char* english)
{
    return QString::fromUtf8(english);
}
