#pragma once
// The print panel: the system's print dialog over the installed printers. A presenter shows it
// and, when the user sends the job, hands the chosen printer to the caller to paint on; tests
// replace the presenter with a scripted one.
#include <QSizeF>

#include <functional>

class QPagedPaintDevice;

namespace qv {

// Paints the job on `device`, whose paper is `paper` points; false when painting failed.
using PrintJob = std::function<bool(QPagedPaintDevice& device, const QSizeF& paper)>;

class PrintPanelPresenter {
public:
    virtual ~PrintPanelPresenter() = default;
    // Shows the panel modally with `paper` (points) proposed; true only when the user sent the
    // job and `job` painted it.
    virtual bool runModal(const QSizeF& paper, const PrintJob& job) = 0;
};

}  // namespace qv
