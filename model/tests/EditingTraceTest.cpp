#include "model/EditingTrace.h"

#include <gtest/gtest.h>

using qv::appendToEditingTrace;
using qv::kEditingTraceLimit;

namespace {

const QString kDropped = QString::fromUtf16(qv::kEditingTraceDropped);

}  // namespace

TEST(EditingTrace, KeepsEveryStepUnderTheLimit)
{
    QString trace = QStringLiteral("*****\nApp Version: 1\n");
    appendToEditingTrace(trace, u"Called editWordsStartWithMode: 1\n");
    appendToEditingTrace(trace, QString(kEditingTraceLimit - trace.size(), QChar('x')));
    EXPECT_EQ(trace.size(), kEditingTraceLimit);
    EXPECT_TRUE(trace.startsWith("*****\nApp Version: 1\nCalled editWordsStartWithMode: 1\nxxx"));
}

// A session that scrolls and plays for hours without an edit: the trace stays bounded and holds
// the latest steps whole, from the start of a line, after a line saying that steps were dropped.
TEST(EditingTrace, KeepsTheLatestLinesOfALongSession)
{
    QString trace;
    QString all;
    for (int i = 0; i < 40'000; ++i) {
        const QString step = QStringLiteral("\nprepareForReuse called for speakerRange %1\n").arg(i);
        appendToEditingTrace(trace, step);
        all += step;
        ASSERT_LE(trace.size(), kEditingTraceLimit) << i;
    }
    ASSERT_TRUE(trace.startsWith(kDropped));
    const QString kept = trace.mid(kDropped.size());
    EXPECT_TRUE(all.endsWith(kept));
    EXPECT_EQ(all.at(all.size() - kept.size() - 1), QChar('\n'));
    EXPECT_TRUE(kept.endsWith("speakerRange 39999\n"));
    EXPECT_GE(trace.size(), kEditingTraceLimit / 2 - 100);
}

TEST(EditingTrace, AStepLongerThanTheLimitKeepsItsEnd)
{
    QString trace = QStringLiteral("first\n");
    QString step(2 * kEditingTraceLimit, QChar('y'));
    step.back() = QChar('z');
    appendToEditingTrace(trace, step);
    EXPECT_LE(trace.size(), kEditingTraceLimit);
    EXPECT_TRUE(trace.startsWith(kDropped + "yyy"));
    EXPECT_TRUE(trace.endsWith("yz"));
}
