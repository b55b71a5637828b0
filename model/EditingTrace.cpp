#include "model/EditingTrace.h"

namespace qv {

void appendToEditingTrace(QString& trace, QStringView text)
{
    trace += text;
    if (trace.size() <= kEditingTraceLimit)
        return;
    const QStringView dropped(kEditingTraceDropped);
    qsizetype cut = trace.size() - (kEditingTraceLimit / 2 - dropped.size());
    // From the start of a line, unless the last half holds none.
    if (const qsizetype lineEnd = trace.indexOf(u'\n', cut - 1); lineEnd >= 0 && lineEnd + 1 < trace.size())
        cut = lineEnd + 1;
    trace.remove(0, cut);
    trace.prepend(dropped);
}

}  // namespace qv
