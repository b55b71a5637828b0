#include "app/shell/DisplayCheck.h"

namespace qv::shell {

bool needsDisplayWarning(const std::optional<QSize>& screen)
{
    return !screen || screen->width() < kMinimumDisplayWidth || screen->height() < kMinimumDisplayHeight;
}

QString displayWarningMessage() { return QStringLiteral("Display resolution error"); }

QString displayWarningInformativeText()
{
    return QStringLiteral("Quorvantelle requires a minimum display resolution of 1280x800.\n\nIf you have multiple "
                          "displays attached then move this window to a higher resolution display.");
}

}  // namespace qv::shell
