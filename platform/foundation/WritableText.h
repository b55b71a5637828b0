#pragma once
// Characters the text exports never write: the control characters other than tab, line feed and
// carriage return, and the non-characters U+FFFE and U+FFFF. No reader of the formats takes
// them, and XML cannot hold them at all.
#include <QString>

namespace qv {

QString withoutUnwritableCharacters(const QString& text);
// The text of one caption line: unwritable characters dropped, and tabs and line breaks made
// spaces, since a line break would start another line or, doubled, end the caption.
QString captionLineText(const QString& text);

}  // namespace qv
