#include "app/widgets/QVFilesViewController.h"

#include "app/widgets/DarkScreenMessage.h"
#include "app/widgets/FilesSearch.h"
#include "app/widgets/QVTableCellViewFile.h"
#include "app/widgets/WidgetsHost.h"
#include "model/AppDelegate.h"
#include "model/FileTypes.h"
#include "model/QVFile.h"
#include "model/QVMediaFile.h"
#include "model/TimeUtilities.h"

#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

// Height of a row of the files table, pixels.
constexpr double kFileRowHeight = 70;

struct StatusItem {
    const char* title;
    std::int64_t tag;
};
// The filter's items; 0 and -1 are the filter's own values, the others file statuses.
constexpr StatusItem kFilterItems[] = {{"All Files", 0},   {"Processing", 20}, {"Transcribed", 30},
                                       {"Verified", 40},   {"Exported", 50},   {"Deleted", -1}};
// A transcribed file's status pop-up; a separator stands before "Deleted".
constexpr StatusItem kStatusItems[] = {{"Transcribed", 30}, {"Verified", 40}, {"Exported", 50}, {"Deleted", -1}};

// Status of a file the service could not transcribe.
constexpr std::int64_t kFileStatusFailed = 15;

// Why the file failed, or a general word when the service gave no reason.
QString failureText(const QVFile& file)
{
    return file.failureReason.isEmpty()
               ? QStringLiteral("the transcription service could not read its audio. Delete it and import the media again.")
               : file.failureReason;
}

bool isShownFileType(std::int64_t type)
{
    return type == 0 || type == 1 || type == 2 || type == 5;
}

}  // namespace

QVFilesViewController::QVFilesViewController(AppDelegate& ad, WidgetsHost& host, qv::Dispatcher& mainQueue)
    : ad_(ad), host_(host), mainQueue_(mainQueue), view_(new QWidget), searchField_(new QLineEdit(view_)),
      searchStatusPopUpButton_(new QComboBox(view_)), tableView_(new qv::ViewTable(view_)),
      noFilesContainer_(new QWidget(view_)), loadingMessage_(makeDarkScreenMessage(QStringLiteral("Loading files…"), noFilesContainer_)),
      noFilesMessage_(makeDarkScreenMessage(QStringLiteral("No files to show"), noFilesContainer_))
{
    fillDarkScreenBackground(view_, QColor(46, 46, 46));
    searchField_->setPlaceholderText(QStringLiteral("Search"));
    searchField_->setClearButtonEnabled(true);
    searchField_->setMinimumWidth(240);
    for (const StatusItem& item : kFilterItems) {
        if (item.tag == -1)
            searchStatusPopUpButton_->insertSeparator(searchStatusPopUpButton_->count());
        searchStatusPopUpButton_->addItem(QString::fromUtf8(item.title), QVariant::fromValue<qint64>(item.tag));
    }
    QObject::connect(searchField_, &QLineEdit::textChanged, view_, [this] { searchForFile(); });
    QObject::connect(searchStatusPopUpButton_, &QComboBox::activated, view_, [this](int index) {
        changeStatusSearch(searchStatusPopUpButton_->itemData(index).toLongLong());
    });

    fillDarkScreenBackground(tableView_->viewport(), Qt::white);
    fillDarkScreenBackground(noFilesContainer_, QColor::fromRgbF(0.3f, 0.3f, 0.3f));
    auto* messages = new QVBoxLayout(noFilesContainer_);
    messages->addStretch();
    messages->addWidget(loadingMessage_);
    messages->addWidget(noFilesMessage_);
    messages->addStretch();

    auto* bar = new QHBoxLayout;
    bar->setContentsMargins(12, 10, 12, 10);
    bar->addWidget(searchField_);
    bar->addStretch();
    bar->addWidget(searchStatusPopUpButton_);

    auto* body = new QGridLayout;
    body->setContentsMargins(0, 0, 0, 0);
    body->addWidget(tableView_, 0, 0);
    body->addWidget(noFilesContainer_, 0, 0);

    auto* column = new QVBoxLayout(view_);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    column->addLayout(bar);
    column->addLayout(body, 1);

    tableView_->setDataSource(this);
    noFilesContainer_->raise();
    noFilesContainer_->show();
    loadingMessage_->show();
    noFilesMessage_->hide();
}

QVFilesViewController::~QVFilesViewController()
{
    *alive_ = false;
    if (view_) {
        tableView_->setDataSource(nullptr);
        delete view_;
    }
}

void QVFilesViewController::filesTableBeginUpdates()
{
    ++updatesDepth_;
}

void QVFilesViewController::filesTableEndUpdates()
{
    if (updatesDepth_ > 0 && --updatesDepth_ == 0)
        tableView_->reloadData();
    updateSelectionAppearance();
}

void QVFilesViewController::filesTableInsertRow(std::size_t row)
{
    if (selectedRow_ >= 0 && qsizetype(row) <= selectedRow_)
        ++selectedRow_;
    if (updatesDepth_ == 0)
        filesTableReloadData();
}

void QVFilesViewController::filesTableRemoveRow(std::size_t row)
{
    if (qsizetype(row) == selectedRow_)
        selectedRow_ = -1;
    else if (selectedRow_ >= 0 && qsizetype(row) < selectedRow_)
        --selectedRow_;
    if (updatesDepth_ == 0)
        filesTableReloadData();
}

void QVFilesViewController::filesTableRemoveRowThenSearch(std::size_t row)
{
    if (row < filesSearchResults_.size())
        filesSearchResults_.erase(filesSearchResults_.begin() + std::ptrdiff_t(row));
    filesTableRemoveRow(row);
    searchForFile();
}

void QVFilesViewController::filesTableReloadRow(std::size_t row)
{
    tableView_->reloadRow(qsizetype(row));
}

void QVFilesViewController::filesTableReloadData()
{
    tableView_->reloadData();
    updateSelectionAppearance();
}

void QVFilesViewController::searchForFile()
{
    filesSearchResults_ = qv::filesMatchingSearch(ad_.files, searchField_->text(), searchStatus_);
    std::weak_ptr<bool> alive = alive_;
    mainQueue_.async([this, alive] {
        if (alive.expired())
            return;
        filesTableReloadData();
        refreshFilesUI();
    });
}

void QVFilesViewController::reloadFiles()
{
    std::weak_ptr<bool> alive = alive_;
    mainQueue_.async([this, alive] {
        if (alive.expired())
            return;
        if (filesSearchResults_.empty()) {
            enableSearch(true);
            return;
        }
        showTableView();
        // The row's widget still shows the file that was selected, even when the rows have
        // moved since the table last loaded.
        std::shared_ptr<QVFile> selected;
        if (QVTableCellViewFile* cell = cellAtRow(selectedRow_, false))
            selected = cell->file();
        selectedRow_ = -1;
        tableView_->reloadData();
        if (selected) {
            for (std::size_t row = 0; row < filesSearchResults_.size(); ++row) {
                if (filesSearchResults_[row] == selected)
                    selectedRow_ = qsizetype(row);
            }
        }
        updateSelectionAppearance();
    });
}

void QVFilesViewController::refreshFilesUI()
{
    if (ad_.userFilesStillToLoad > 0) {
        noFilesContainer_->show();
        loadingMessage_->show();
        noFilesMessage_->hide();
        return;
    }
    loadingMessage_->hide();
    const bool empty = filesSearchResults_.empty();
    noFilesContainer_->setVisible(empty);
    noFilesMessage_->setVisible(empty);
}

void QVFilesViewController::enableSearch(bool enabled)
{
    searchField_->setEnabled(enabled);
    searchStatusPopUpButton_->setEnabled(enabled);
}

void QVFilesViewController::resetSearch()
{
    if (searchField_->text().isEmpty() && searchStatus_ <= 0)
        return;
    std::weak_ptr<bool> alive = alive_;
    mainQueue_.async([this, alive] {
        if (alive.expired())
            return;
        const QSignalBlocker blocker(searchField_);
        searchField_->clear();
        searchStatusPopUpButton_->setCurrentIndex(searchStatusPopUpButton_->findData(QVariant::fromValue<qint64>(0)));
        searchStatus_ = 0;
        searchForFile();
    });
}

void QVFilesViewController::showTableView()
{
    noFilesContainer_->hide();
    enableSearch(true);
}

void QVFilesViewController::setFocusOnTableView()
{
    tableView_->setFocus(Qt::OtherFocusReason);
}

bool QVFilesViewController::shouldSelectRow(qsizetype row) const
{
    return row >= 0 && std::size_t(row) < filesSearchResults_.size() && filesSearchResults_[std::size_t(row)]->status > 29;
}

void QVFilesViewController::selectRow(qsizetype row)
{
    if (row >= 0 && !shouldSelectRow(row))
        return;
    selectedRow_ = row < 0 ? -1 : row;
    updateSelectionAppearance();
}

std::shared_ptr<QVFile> QVFilesViewController::selectedFile() const
{
    if (selectedRow_ < 0 || std::size_t(selectedRow_) >= filesSearchResults_.size())
        return nullptr;
    return filesSearchResults_[std::size_t(selectedRow_)];
}

void QVFilesViewController::didDoubleClickOnRow(qsizetype row)
{
    if (row < 0 || std::size_t(row) >= filesSearchResults_.size())
        return;
    if (filesSearchResults_[std::size_t(row)]->status > 29)
        host_.openSelectedFile();
}

void QVFilesViewController::changeStatusSearch(std::int64_t tag)
{
    searchStatus_ = tag;
    searchForFile();
}

void QVFilesViewController::changeFileStatus(QVTableCellViewFile* cell, std::int64_t tag)
{
    if (!cell || !cell->file())
        return;
    if (tag == -1)
        host_.deleteFile(cell->file());
    else
        host_.changeFileStatus(cell->file(), tag);
}

void QVFilesViewController::restoreFile(QVTableCellViewFile* cell)
{
    if (cell && cell->file() && cell->file()->deleted > 0)
        host_.restoreFile(cell->file());
}

void QVFilesViewController::controlTextDidEndEditing(QVTableCellViewFile* cell, int textMovement)
{
    if (textMovement != QVFileNameField::kCancel)
        finishFileNameEditing(cell);
}

void QVFilesViewController::finishFileNameEditing(QVTableCellViewFile* cell)
{
    if (!cell || !cell->file())
        return;
    const std::shared_ptr<QVFile> file = cell->file();
    const QString text = cell->textField()->text();
    if (text == file->name)
        return;
    file->name = text;
    file->fileMetadataRef.updateChildValues({{"name", qv::DatabaseValue(text.toStdString())}});
    file->fileMetadataRef.child("updated").setValue(qv::DatabaseValue::serverTimestamp());
}

QVTableCellViewFile* QVFilesViewController::cellAtRow(qsizetype row, bool makeIfNecessary)
{
    return static_cast<QVTableCellViewFile*>(tableView_->viewAtRow(row, makeIfNecessary));
}

qsizetype QVFilesViewController::numberOfRows()
{
    return qsizetype(filesSearchResults_.size());
}

double QVFilesViewController::heightOfRow(qsizetype)
{
    return kFileRowHeight;
}

QVTableCellViewFile* QVFilesViewController::newCell()
{
    auto* cell = new QVTableCellViewFile;
    tableView_->setIdentifier(cell, kFileViewIdentifier);
    cell->onClicked = [this](QVTableCellViewFile* clicked) { selectRow(tableView_->rowForView(clicked)); };
    cell->onDoubleClicked = [this](QVTableCellViewFile* clicked) { didDoubleClickOnRow(tableView_->rowForView(clicked)); };
    cell->textField()->onEndEditing = [this, cell](QVFileNameField::TextMovement movement) {
        controlTextDidEndEditing(cell, movement);
    };
    QObject::connect(cell->fileStatusPopup(), &QComboBox::activated, cell, [this, cell](int index) {
        changeFileStatus(cell, cell->fileStatusPopup()->itemData(index).toLongLong());
    });
    QObject::connect(cell->restoreButton(), &QPushButton::clicked, cell, [this, cell] { restoreFile(cell); });
    return cell;
}

QWidget* QVFilesViewController::viewForRow(qsizetype row)
{
    if (row < 0 || std::size_t(row) >= filesSearchResults_.size())
        return nullptr;
    auto* cell = static_cast<QVTableCellViewFile*>(tableView_->dequeueReusableView(kFileViewIdentifier));
    if (!cell)
        cell = newCell();
    fillCell(*cell, row);
    return cell;
}

void QVFilesViewController::prepareForReuse(QWidget* view)
{
    static_cast<QVTableCellViewFile*>(view)->prepareForReuse();
}

void QVFilesViewController::fillCell(QVTableCellViewFile& cell, qsizetype row)
{
    const std::shared_ptr<QVFile> file = filesSearchResults_[std::size_t(row)];
    cell.setFile(file);

    if (!file->thumbnail.isNull())
        cell.setThumbnail(file->thumbnail, QVTableCellViewFile::aspectRatioForThumbnail(file->thumbnail));
    else
        cell.setPlaceholderThumbnail();
    if (!file->name.isNull())
        cell.setName(file->name);
    cell.setForbiddenCursor(false);

    QComboBox* popup = cell.fileStatusPopup();
    const QSignalBlocker blocker(popup);
    popup->clear();
    // A file the service could not transcribe says so and why, and can only be deleted.
    const bool failed = file->status == kFileStatusFailed;
    if (failed) {
        popup->addItem(QStringLiteral("Failed"), QVariant::fromValue<qint64>(kFileStatusFailed));
        popup->insertSeparator(popup->count());
        popup->addItem(QStringLiteral("Deleted"), QVariant::fromValue<qint64>(-1));
        popup->setCurrentIndex(0);
        popup->setEnabled(ad_.isConnected);
        cell.setThumbnailAlpha(0.5);
        cell.progressIndicatorProcessing()->hide();
        cell.setBackgroundStyle(row == selectedRow_);
        cell.updateTextFieldAppearance(row == selectedRow_ ? QVTableCellViewFile::kAppearanceSelected
                                                           : QVTableCellViewFile::kAppearanceNormal);
    } else if (file->status <= 20) {
        // A status below "processing" shows as processing too, so that a reused row never keeps
        // the previous file's status.
        popup->addItem(QStringLiteral("Processing"), QVariant::fromValue<qint64>(20));
        popup->setEnabled(false);
        cell.setThumbnailAlpha(0.5);
        cell.setForbiddenCursor(true);
        cell.progressIndicatorProcessing()->show();
        cell.setBackgroundStyle(false);
        cell.updateTextFieldAppearance(QVTableCellViewFile::kAppearanceProcessing);
    } else {
        for (const StatusItem& item : kStatusItems) {
            if (item.tag == -1)
                popup->insertSeparator(popup->count());
            popup->addItem(QString::fromUtf8(item.title), QVariant::fromValue<qint64>(item.tag));
        }
        cell.setThumbnailAlpha(1.0);
        popup->setEnabled(ad_.isConnected);
        popup->setCurrentIndex(popup->findData(QVariant::fromValue<qint64>(file->status)));
        cell.progressIndicatorProcessing()->hide();
        cell.setBackgroundStyle(row == selectedRow_);
        cell.updateTextFieldAppearance(row == selectedRow_ ? QVTableCellViewFile::kAppearanceSelected
                                                           : QVTableCellViewFile::kAppearanceNormal);
    }

    cell.restoreButton()->setVisible(file->deleted != 0);
    popup->setVisible(file->deleted <= 0);
    cell.durationDisplay()->setText(timeAsHMSTextFromMilliseconds(file->duration));
    cell.detailsDisplay()->setText(failed ? QStringLiteral("Not transcribed: %1").arg(failureText(*file))
                                          : getUIStringForFileType(file->fileType));

    QString detailsToolTip;
    if (isShownFileType(file->fileType)) {
        for (const auto& media : file->mediaFiles) {
            if (media && !media->filePath.isEmpty()) {
                detailsToolTip = media->filePath;
                break;
            }
        }
    } else if (!file->fcpxEventName.isEmpty() && !file->fcpxClipName.isEmpty()) {
        detailsToolTip = QStringLiteral("%1 > %2").arg(file->fcpxEventName, file->fcpxClipName);
    }
    cell.detailsDisplay()->setToolTip(failed ? failureText(*file) : detailsToolTip);
    cell.textField()->setReadOnly(file->fileType >= 2);
}

void QVFilesViewController::updateSelectionAppearance()
{
    const auto [first, count] = tableView_->rowsInRect(tableView_->visibleRect());
    for (qsizetype row = first; row < first + count; ++row) {
        if (QVTableCellViewFile* cell = cellAtRow(row, false); cell && cell->file())
            cell->setBackgroundStyle(row == selectedRow_);
    }
}
