// The warning triangles of the pending list, drawn here so that they look the same in every
// style: red for what keeps files from being transcribed, yellow for a service that is slow.
#pragma once

#include <QIcon>
#include <QPixmap>

enum class WarningColour { Red, Yellow };

// A triangle with an exclamation mark, `size` pixels square.
QPixmap warningTrianglePixmap(WarningColour colour, int size);
QIcon warningTriangleIcon(WarningColour colour);
