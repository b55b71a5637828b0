// A speaker name as the widgets show it: on one line, and cut short with an ellipsis where it
// would not fit, so that a long or multi-line name cannot push the row's layout apart.
#pragma once

#include <QFont>
#include <QString>

namespace qv::speakers {

// Line and paragraph breaks become blanks.
QString singleLineName(const QString& name);
// `singleLineName` elided at the right to at most `maxWidth` pixels in `font`.
QString displayedName(const QString& name, const QFont& font, int maxWidth);
// The bold system font at `pixelSize` (points on screen map to pixels one to one).
QFont boldSystemFont(double pixelSize);

}  // namespace qv::speakers
