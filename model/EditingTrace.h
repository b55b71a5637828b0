// Appending to the editing trace (AppDelegate::debugCharacterEditing), the steps of edits and
// drops that is uploaded when one of them fails. An edit starts it again, but scrolling, playback
// and reloads add to it between edits for as long as the program runs: it keeps only its latest
// lines, at most kEditingTraceLimit characters.
#pragma once

#include <QString>
#include <QStringView>

namespace qv {

constexpr qsizetype kEditingTraceLimit = 256 * 1024;
// The first line of a trace whose earlier lines were dropped.
inline constexpr char16_t kEditingTraceDropped[] = u"(earlier steps dropped)\n";

// Appends `text` to `trace`; past the limit, drops the trace's oldest lines down to half of it,
// so that a long session drops lines once in a while rather than at every step.
void appendToEditingTrace(QString& trace, QStringView text);

}  // namespace qv
