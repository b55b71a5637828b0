#include "platform/foundation/TextCompare.h"

#include <gtest/gtest.h>

#include <QStringList>

#include <algorithm>
#include <limits>

namespace qv {
namespace {

TEST(TextCompareTest, IntegerValueReadsTheLeadingNumber)
{
    const struct {
        const char16_t* text;
        std::int64_t value;
    } cases[] = {
        {u"42", 42},
        {u"  -17abc", -17},
        {u"\n\t+8", 8},
        {u"\u00A07", 7},
        {u"12.9", 12},
        {u"abc12", 0},
        {u"", 0},
        {u"-", 0},
        {u"- 3", 0},
        {u"9223372036854775807", std::numeric_limits<std::int64_t>::max()},
        {u"9223372036854775808", std::numeric_limits<std::int64_t>::max()},
        {u"-9223372036854775808", std::numeric_limits<std::int64_t>::min()},
        {u"-99999999999999999999", std::numeric_limits<std::int64_t>::min()},
    };
    for (const auto& c : cases)
        EXPECT_EQ(integerValue(QString::fromUtf16(c.text)), c.value)
            << QString::fromUtf16(c.text).toStdString();
}

TEST(TextCompareTest, NamesSortCaseInsensitiveWithNumbersByValue)
{
    QStringList names{"speaker 10", "Speaker 2", "anna", "Bert", "Speaker 1"};
    std::sort(names.begin(), names.end(), [](const QString& a, const QString& b) {
        return localizedStandardCompare(a, b) < 0;
    });
    EXPECT_EQ(names, (QStringList{"anna", "Bert", "Speaker 1", "Speaker 2", "speaker 10"}));
    EXPECT_EQ(localizedStandardCompare("ANNA", "anna"), 0);
    EXPECT_EQ(localizedStandardCompare("a", "a"), 0);
}

}  // namespace
}  // namespace qv
