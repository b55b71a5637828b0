#pragma once
// Escaping of text for the XML documents the exports write by hand.
#include <QString>

namespace qv {

// &, < and > as entities (element content); what XML cannot hold (withoutUnwritableCharacters)
// is dropped.
QString xmlEscapeText(const QString& text);
// &, <, > and " as entities (attribute values in double quotes).
QString xmlEscapeAttribute(const QString& text);

}  // namespace qv
