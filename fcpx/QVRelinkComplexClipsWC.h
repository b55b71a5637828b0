// The sheet that pairs verified transcripts of compound, multicam and synchronized clips with
// the clips of a dropped library that still need one: a row per transcript, each with a pop-up
// of the clips. A clip is chosen for one transcript at most. Export renames each paired
// transcript's stored event and clip names after its clip and sends the library back; Cancel
// ends the drop.
#pragma once

#include <QDialog>

#include <functional>
#include <vector>

class AppDelegate;
class QComboBox;
class QPushButton;
class QTableWidget;
namespace qv {
class Dispatcher;
}

class QVRelinkComplexClipsWC {
public:
    struct Services {
        // Starts the send-back of the dropped library.
        std::function<void()> sendBackDroppedXML;
    };

    // `ad` holds the rows (filesToRelink) and the choices (droppedClipsToRelink); not owned.
    QVRelinkComplexClipsWC(AppDelegate& ad, qv::Dispatcher& main, Services services, QWidget* mainWindow);
    QVRelinkComplexClipsWC(const QVRelinkComplexClipsWC&) = delete;
    QVRelinkComplexClipsWC& operator=(const QVRelinkComplexClipsWC&) = delete;

    // Fills the table, then shows the sheet on the main window 0.2 s later.
    void showRelinkSynchronizedClipsWindow();

    void didChangeClipPopup(int row);
    void didPressExportRelinkedFilesButton();
    void didPressCancelButton();

    QDialog* window() { return &window_; }
    QTableWidget* tableView() { return table_; }
    // The clip pop-up of a row; null for a row that does not exist.
    QComboBox* popup(int row) const;
    QPushButton* exportButton() { return export_; }
    QPushButton* cancelButton() { return cancel_; }

private:
    void reloadData();
    void endSheet();

    AppDelegate& ad_;
    qv::Dispatcher& main_;
    Services services_;
    QDialog window_;
    QTableWidget* table_ = nullptr;
    QPushButton* export_ = nullptr;
    QPushButton* cancel_ = nullptr;
};
