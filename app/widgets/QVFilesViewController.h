// The files screen: a table of the account's transcript files, newest first, under a search
// field and a status filter, covered by a loading or no-files message when there is nothing to
// show. From a row the user opens a transcribed file, renames a file, changes its status,
// deletes it or restores it. Its public calls are those the account side makes of the files
// list. Main thread only.
#pragma once

#include "platform/foundation/Dispatcher.h"
#include "platform/ui/ViewTable.h"

#include <QPointer>

#include <cstdint>
#include <memory>
#include <vector>

class AppDelegate;
class QComboBox;
class QLabel;
class QLineEdit;
class QVFile;
class QVTableCellViewFile;
class QWidget;
class WidgetsHost;

// The row identifier of the files table.
inline const QString kFileViewIdentifier = QStringLiteral("FileView");

class QVFilesViewController : private qv::ViewTableDataSource {
public:
    // All three must outlive the controller; its view belongs to whoever places it.
    QVFilesViewController(AppDelegate& ad, WidgetsHost& host, qv::Dispatcher& mainQueue);
    ~QVFilesViewController() override;
    QVFilesViewController(const QVFilesViewController&) = delete;
    QVFilesViewController& operator=(const QVFilesViewController&) = delete;

    QWidget* view() const { return view_; }

    // The visible rows, in the order of the application's files.
    std::vector<std::shared_ptr<QVFile>>& filesSearchResults() { return filesSearchResults_; }
    // -1 deleted files, 0 all files not deleted, above 0 files not deleted with that status.
    std::int64_t filesSearchStatus() const { return searchStatus_; }

    // Row changes the account side makes to filesSearchResults, told to the table.
    void filesTableBeginUpdates();
    void filesTableEndUpdates();
    void filesTableInsertRow(std::size_t row);
    void filesTableRemoveRow(std::size_t row);
    void filesTableRemoveRowThenSearch(std::size_t row);
    void filesTableReloadRow(std::size_t row);
    void filesTableReloadData();

    // Rebuilds the rows from the files, the search text and the filter; the table reloads on a
    // later turn of the main queue.
    void searchForFile();
    // On a later turn: reloads the table keeping the selected file selected.
    void reloadFiles();
    // The loading message while files load; the no-files message when nothing is shown.
    void refreshFilesUI();
    void enableSearch(bool enabled);
    // Back to no search text and every status, on a later turn, when either was set.
    void resetSearch();
    // Hides the covering messages and enables search.
    void showTableView();
    void setFocusOnTableView();

    // Selection: only files transcribed or later (status above 29) can be selected.
    bool shouldSelectRow(qsizetype row) const;
    // Selects `row` alone when it may be selected; -1 clears the selection.
    void selectRow(qsizetype row);
    qsizetype selectedRow() const { return selectedRow_; }
    std::shared_ptr<QVFile> selectedFile() const;
    // A double click on `row` (-1: outside the rows) opens a transcribed file.
    void didDoubleClickOnRow(qsizetype row);

    // The filter pop-up chose the item with `tag`.
    void changeStatusSearch(std::int64_t tag);
    // The status pop-up of `cell` chose the item with `tag`; -1 deletes the file.
    void changeFileStatus(QVTableCellViewFile* cell, std::int64_t tag);
    void restoreFile(QVTableCellViewFile* cell);
    // The name field of `cell` stopped editing; Escape (23) keeps the old name.
    void controlTextDidEndEditing(QVTableCellViewFile* cell, int textMovement);
    // Stores the field's text as the name of the cell's file when it changed.
    void finishFileNameEditing(QVTableCellViewFile* cell);

    // The row widget shown for `row`, made when asked to; none outside the rows.
    QVTableCellViewFile* cellAtRow(qsizetype row, bool makeIfNecessary);

    QLineEdit* searchField() const { return searchField_; }
    QComboBox* searchStatusPopUpButton() const { return searchStatusPopUpButton_; }
    qv::ViewTable* tableView() const { return tableView_; }
    QWidget* noFilesContainer() const { return noFilesContainer_; }
    QLabel* loadingMessage() const { return loadingMessage_; }
    QLabel* noFilesMessage() const { return noFilesMessage_; }

private:
    qsizetype numberOfRows() override;
    double heightOfRow(qsizetype row) override;
    QWidget* viewForRow(qsizetype row) override;
    void prepareForReuse(QWidget* view) override;

    void fillCell(QVTableCellViewFile& cell, qsizetype row);
    void updateSelectionAppearance();
    QVTableCellViewFile* newCell();

    AppDelegate& ad_;
    WidgetsHost& host_;
    qv::Dispatcher& mainQueue_;
    QPointer<QWidget> view_;
    QLineEdit* searchField_;
    QComboBox* searchStatusPopUpButton_;
    qv::ViewTable* tableView_;
    QWidget* noFilesContainer_;
    QLabel* loadingMessage_;
    QLabel* noFilesMessage_;
    std::vector<std::shared_ptr<QVFile>> filesSearchResults_;
    std::int64_t searchStatus_ = 0;
    qsizetype selectedRow_ = -1;
    int updatesDepth_ = 0;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};
