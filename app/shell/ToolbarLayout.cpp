#include "app/shell/ToolbarLayout.h"

#include "model/TimeUtilities.h"
#include "platform/foundation/LocalizedString.h"

#include <QStringList>

#include <cmath>

namespace qv::shell {

FilesLayout filesLayout(double tabWidth, double tabHeight)
{
    const double half = std::floor(static_cast<float>(0.5 * tabWidth));
    const double height = tabHeight - 20;
    if (tabWidth < kWideFilesLayoutWidth)
        return {QRectF(20, 10, half - 30, height), QRectF(half + 10, 10, half - 30, height)};
    return {QRectF(half - 810, 10, 800, height), QRectF(half + 10, 10, 800, height)};
}

ToolbarPositions toolbarPositions(double tab, double left, double right)
{
    ToolbarPositions positions;
    positions.bottomRightPanelWidth = right + 1;
    const double middle = (tab - (left + 1 + right + 1)) * 0.5;
    positions.bottomTranscriptOffset = std::floor(static_cast<float>(left + 1 + middle - 240));
    positions.currentFileDisplayPosition = -(middle + (right + 1 - 17) + 230);
    return positions;
}

TranscriptToolbarGeometry transcriptToolbarGeometry(bool editingControls, bool navigationControls)
{
    TranscriptToolbarGeometry geometry;
    geometry.height = editingControls ? 150 : 75;
    geometry.editingAlpha = editingControls ? 1 : 0;
    geometry.transportBottom = navigationControls ? 0 : -35;
    geometry.transportAlpha = navigationControls ? 1 : 0;
    return geometry;
}

QString accountButtonTitle(const QString& firstName, const QString& lastName, std::int64_t balanceMinutes,
                           bool unlimited, const QString& knownName)
{
    QString name;
    if (!firstName.isEmpty() && !lastName.isEmpty())
        name = QStringLiteral("%1 %2").arg(firstName, lastName);
    else if (!knownName.isEmpty())
        name = knownName;
    else
        return localizedString(QStringLiteral("Loading… ▼"));
    if (unlimited)
        return QStringLiteral("%1 | %2 ▼").arg(name, localizedString(QStringLiteral("Unlimited")));
    return QStringLiteral("%1 | %2 ▼").arg(name, balanceMinutes != 0 ? timeAsHMTextFromMinutes(balanceMinutes)
                                                                      : QStringLiteral("0m"));
}

QString knownAccountName(const QString& firstName, const QString& lastName, const QString& emailAddress)
{
    const QString names = QStringList{firstName.trimmed(), lastName.trimmed()}.join(' ').trimmed();
    return names.isEmpty() ? emailAddress : names;
}

}  // namespace qv::shell
