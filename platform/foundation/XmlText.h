#pragma once
// Pieces of the XML documents written by hand, where the exact bytes matter: escaped text and
// attribute values, start tags with their attributes in a fixed order, and indentation.
#include <QString>

#include <utility>
#include <vector>

namespace qv {

// &, < and > as entities (element content); what XML cannot hold (withoutUnwritableCharacters)
// is dropped.
QString xmlEscapeText(const QString& text);
// &, <, > and " as entities, tab, line feed and carriage return as character references
// (attribute values in double quotes).
QString xmlEscapeAttribute(const QString& text);

using XmlAttributes = std::vector<std::pair<QString, QString>>;
// "<name" followed by each attribute as ` key="value"`, in the order given, values escaped; the
// caller closes the tag with ">" or "/>".
QString xmlStartTag(const QString& name, const XmlAttributes& attributes);
// Four spaces a level.
QString xmlIndent(int level);

}  // namespace qv
