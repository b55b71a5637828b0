// Identifiers for files, words, speakers, speaker ranges and this computer.
#pragma once

#include <QString>

namespace qv {

// A fresh random (version 4) UUID as 32 upper-case hexadecimal digits without hyphens.
QString createUUID();

}  // namespace qv
