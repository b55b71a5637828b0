// The numbers of the main window's layout: how the files screen shares its width between the
// pending list and the files list, where the transcript toolbar's parts sit, the heights the
// transcript toolbar takes with its panels shown or hidden, and the account button's title.
#pragma once

#include <QRectF>
#include <QString>

#include <cstdint>

namespace qv::shell {

// From this tab width on, both lists keep their full width and centre on the middle.
inline constexpr double kWideFilesLayoutWidth = 1660;

struct FilesLayout {
    QRectF pending;
    QRectF files;
};
FilesLayout filesLayout(double tabWidth, double tabHeight);

// The slot of the editing panel, which `bottomTranscriptOffset` centres over the transcript, and
// the row of the time and the navigation controls along the transcript toolbar's bottom, points.
inline constexpr int kEditingPanelSlotWidth = 480;
inline constexpr int kEditingPanelHeight = 90;
inline constexpr int kTransportRowHeight = 35;

struct ToolbarPositions {
    double bottomRightPanelWidth = 0;
    double bottomTranscriptOffset = 0;
    double currentFileDisplayPosition = 0;
};
// `tab`, `left` and `right`: the widths of the tab view and of the left and right panels.
ToolbarPositions toolbarPositions(double tab, double left, double right);

struct TranscriptToolbarGeometry {
    double height = 150;            // 150 with the editing controls, 75 without
    double transportBottom = 0;     // 0 with the navigation controls, -35 without
    double editingAlpha = 1;
    double transportAlpha = 1;
};
TranscriptToolbarGeometry transcriptToolbarGeometry(bool editingControls, bool navigationControls);

// "First Last | 1h 2m ▼" once both names are known ("First Last | Unlimited ▼" for an account whose
// minutes do not run out); else the same with `knownName` when one is given (the account's record
// read without both names), the loading text otherwise.
QString accountButtonTitle(const QString& firstName, const QString& lastName, std::int64_t balanceMinutes,
                           bool unlimited, const QString& knownName = {});
// What names an account whose record lacks a name: the name it has, else its e-mail address.
QString knownAccountName(const QString& firstName, const QString& lastName, const QString& emailAddress);

}  // namespace qv::shell
