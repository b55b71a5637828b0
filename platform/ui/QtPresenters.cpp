#include "platform/ui/QtPresenters.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QFileDialog>
#include <QFormLayout>
#include <QGridLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPageSize>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>
#include <QStandardPaths>

#include <algorithm>

namespace qv {
namespace {

// The widest a sheet's informative text is made, in pixels.
constexpr int kWidestSheetText = 560;

QWidget* makeAccessoryView(const SavePanel& panel) {
    auto* view = new QWidget;
    auto* layout = new QFormLayout(view);
    for (const auto& entry : panel.accessory) {
        PopUpButton* popUp = entry.popUp;
        auto* combo = new QComboBox(view);
        for (const auto& item : popUp->items()) combo->addItem(item.title);
        combo->setCurrentIndex(popUp->indexOfSelectedItem());
        combo->setEnabled(popUp->isEnabled());
        auto* label = new QLabel(entry.label, view);
        layout->addRow(label, combo);
        label->setVisible(!popUp->isHidden());
        combo->setVisible(!popUp->isHidden());
        QObject::connect(combo, &QComboBox::activated, combo, [popUp](int index) { popUp->userSelectItemAtIndex(index); });
    }
    if (panel.accessoryHeight > 0) view->setFixedHeight(int(panel.accessoryHeight));
    return view;
}

// Where a first save is proposed: the user's documents folder when there is one, else home
// (never the folder the program happened to be started from).
QString defaultSaveFolder() {
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    return QFileInfo(documents).isDir() ? documents : QDir::homePath();
}

}  // namespace

void QtSavePanelPresenter::beginSheet(const SavePanel& panel, SavePanelCompletion completion) {
    auto* dialog = new QFileDialog(window_);
    dialog_ = dialog;
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    dialog->setFileMode(QFileDialog::AnyFile);
    // The accessory view needs the toolkit's own dialog.
    dialog->setOption(QFileDialog::DontUseNativeDialog);
    dialog->setWindowModality(Qt::WindowModal);
    dialog->setDirectory(QFileInfo(*folder_).isDir() ? *folder_ : defaultSaveFolder());
    const QString type = panel.allowedFileTypes.value(0);
    if (!type.isEmpty()) {
        dialog->setDefaultSuffix(type);
        dialog->setNameFilter(QStringLiteral("*.") + type);
        dialog->selectFile(panel.nameFieldStringValue + QLatin1Char('.') + type);
    } else {
        dialog->selectFile(panel.nameFieldStringValue);
    }
    if (!panel.accessory.empty()) {
        if (auto* grid = qobject_cast<QGridLayout*>(dialog->layout())) {
            grid->addWidget(makeAccessoryView(panel), grid->rowCount(), 0, 1, grid->columnCount());
        }
    }
    QObject::connect(dialog, &QFileDialog::finished, dialog, [folder = folder_, dialog, completion](int result) {
        const bool ok = result == QDialog::Accepted && !dialog->selectedFiles().isEmpty();
        if (ok)
            *folder = QFileInfo(dialog->selectedFiles().first()).absolutePath();
        completion(ok ? ModalResponse::OK : ModalResponse::Cancel, ok ? dialog->selectedFiles().first() : QString());
    });
    dialog->open();
}

void QtSavePanelPresenter::orderOut() {
    if (dialog_) dialog_->hide();
}

void QtAlertPresenter::beginSheet(const Alert& alert, std::function<void(int)> completion) {
    auto* box = new QMessageBox(window_);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::WindowModal);
    box->setText(alert.messageText);
    box->setInformativeText(alert.informativeText);
    // Wide enough for a line of the informative text (a price and a balance) to stay one line,
    // up to a width that still sits well on the window.
    if (auto* informative = box->findChild<QLabel*>(QStringLiteral("qt_msgbox_informativelabel"))) {
        int widest = 0;
        for (const QString& line : alert.informativeText.split(QLatin1Char('\n')))
            widest = std::max(widest, informative->fontMetrics().horizontalAdvance(line));
        informative->setMinimumWidth(std::min(widest + 8, kWidestSheetText));
    }
    switch (alert.style) {
    case AlertStyle::Critical: box->setIcon(QMessageBox::Critical); break;
    case AlertStyle::Informational: box->setIcon(QMessageBox::Information); break;
    case AlertStyle::Warning: box->setIcon(QMessageBox::Warning); break;
    }
    const QStringList titles = alert.buttons.isEmpty() ? QStringList{QStringLiteral("OK")} : alert.buttons;
    std::vector<QAbstractButton*> buttons;
    for (const auto& title : titles) buttons.push_back(box->addButton(title, QMessageBox::AcceptRole));
    QObject::connect(box, &QMessageBox::finished, box, [box, buttons, completion](int) {
        int code = kAlertFirstButtonReturn;
        for (size_t i = 0; i < buttons.size(); ++i) {
            if (box->clickedButton() == buttons[i]) code = kAlertFirstButtonReturn + int(i);
        }
        // Without a window manager nothing gives the keyboard back to the window once the
        // sheet closes: the window asks for it, so that the next shortcut reaches it.
        if (QWidget* window = box->parentWidget() ? box->parentWidget()->window() : nullptr)
            window->activateWindow();
        if (completion) completion(code);
    });
    box->open();
}

void QtAlertPresenter::beep() {
    QApplication::beep();
}

bool QtPrintPanelPresenter::runModal(const QSizeF& paper, const PrintJob& job) {
    QPrinter printer(QPrinter::HighResolution);
    printer.setPageSize(QPageSize(paper, QPageSize::Point, QString(), QPageSize::FuzzyMatch));
    // The job places its own margins: the page is addressed from the paper's corner.
    printer.setFullPage(true);
    QPrintDialog dialog(&printer, window_);
    if (dialog.exec() != QDialog::Accepted) return false;
    return job(printer, printer.pageLayout().fullRectPoints().size());
}

}  // namespace qv
