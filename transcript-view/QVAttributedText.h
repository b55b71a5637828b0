// The text of one speaker range's words row with its colour runs: what a row's text view shows
// when it is built, kept on the range so that a row made again shows the same colours.
#pragma once

#include "platform/foundation/RegularExpression.h"

#include <QColor>
#include <QString>

#include <vector>

class QVAttributedText {
public:
    struct Run {
        qv::TextRange range;
        QColor color;
    };

    QString string;
    // Foreground runs over the default colour (dimmed unheard words, heard words restored), in
    // the order they were applied.
    std::vector<Run> foregrounds;
    // Background runs (favourite words).
    std::vector<Run> backgrounds;
};
