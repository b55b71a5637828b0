// The launch check of the display the main window is on: the program is laid out for screens of
// at least 1280 points wide; the height limit is lower than the message says, as it always was.
#pragma once

#include <QSize>
#include <QString>

#include <optional>

namespace qv::shell {

inline constexpr int kMinimumDisplayWidth = 1280;
inline constexpr int kMinimumDisplayHeight = 670;

// A window without a screen counts as too small.
bool needsDisplayWarning(const std::optional<QSize>& screen);

QString displayWarningMessage();
QString displayWarningInformativeText();

}  // namespace qv::shell
