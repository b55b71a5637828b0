// The relink sheet of complex clips.
#include "fcpx/QVRelinkComplexClipsWC.h"

#include "fcpx/FCPXLibrary.h"
#include "model/AppDelegate.h"
#include "model/QVFile.h"
#include "platform/foundation/Dispatcher.h"
#include "platform/foundation/LocalizedString.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace {

// Tag of the "Not Set" item; the clips' tags are their indexes.
constexpr int kNotSet = -1;
// The sheet appears this long after its table is filled, seconds.
constexpr double kSheetDelay = 0.2;

int tagOf(const QComboBox& popup) { return popup.currentData().toInt(); }

}  // namespace

QVRelinkComplexClipsWC::QVRelinkComplexClipsWC(AppDelegate& ad, qv::Dispatcher& main, Services services, QWidget* mainWindow)
    : ad_(ad), main_(main), services_(std::move(services)), window_(mainWindow, Qt::Sheet)
{
    window_.setObjectName(QStringLiteral("relinkComplexClipsWindow"));
    window_.setWindowModality(Qt::WindowModal);
    window_.setWindowTitle(qv::localizedString(QStringLiteral("Relink Clips")));
    window_.setStyleSheet(QStringLiteral("QDialog { background: rgb(40,40,40); color: white; }"
                                         "QTableWidget { background: rgb(30,30,30); color: white; gridline-color: rgb(60,60,60); }"
                                         "QHeaderView::section { background: rgb(50,50,50); color: white; border: none; padding: 4px; }"));
    auto* layout = new QVBoxLayout(&window_);
    table_ = new QTableWidget(0, 2, &window_);
    table_->setHorizontalHeaderLabels({QStringLiteral("Quorvantelle"), QStringLiteral("Final Cut Pro X")});
    table_->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    table_->verticalHeader()->hide();
    table_->setSelectionMode(QAbstractItemView::NoSelection);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    layout->addWidget(table_);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    cancel_ = new QPushButton(qv::localizedString(QStringLiteral("Cancel")), &window_);
    export_ = new QPushButton(qv::localizedString(QStringLiteral("Export")), &window_);
    export_->setDefault(true);
    buttons->addWidget(cancel_);
    buttons->addWidget(export_);
    layout->addLayout(buttons);
    window_.resize(560, 320);
    QObject::connect(export_, &QPushButton::clicked, [this] { didPressExportRelinkedFilesButton(); });
    QObject::connect(cancel_, &QPushButton::clicked, [this] { didPressCancelButton(); });
    // Closing the sheet any other way is a Cancel.
    QObject::connect(&window_, &QDialog::rejected, [this] {
        if (!ad_.filesToRelink.empty())
            didPressCancelButton();
    });
}

QComboBox* QVRelinkComplexClipsWC::popup(int row) const
{
    return row >= 0 && row < table_->rowCount() ? qobject_cast<QComboBox*>(table_->cellWidget(row, 1)) : nullptr;
}

void QVRelinkComplexClipsWC::reloadData()
{
    table_->setRowCount(static_cast<int>(ad_.filesToRelink.size()));
    for (int row = 0; row < table_->rowCount(); ++row) {
        const auto& file = ad_.filesToRelink[static_cast<std::size_t>(row)];
        table_->setItem(row, 0, new QTableWidgetItem(file ? file->name : QString()));
        auto* popup = new QComboBox(table_);
        popup->addItem(qv::localizedString(QStringLiteral("Not Set")), kNotSet);
        for (std::size_t index = 0; index < ad_.droppedClipsToRelink.size(); ++index)
            popup->addItem(ad_.droppedClipsToRelink[index]->attributeText("name"), static_cast<int>(index));
        popup->setCurrentIndex(0);
        QObject::connect(popup, &QComboBox::activated, [this, row] { didChangeClipPopup(row); });
        table_->setCellWidget(row, 1, popup);
    }
}

void QVRelinkComplexClipsWC::showRelinkSynchronizedClipsWindow()
{
    reloadData();
    main_.after(kSheetDelay, [this] { window_.open(); });
}

void QVRelinkComplexClipsWC::didChangeClipPopup(int row)
{
    QComboBox* changed = popup(row);
    if (!changed || tagOf(*changed) == kNotSet)
        return;
    const int tag = tagOf(*changed);
    for (int other = 0; other < table_->rowCount(); ++other)
        if (QComboBox* shown = popup(other); other != row && shown && tagOf(*shown) == tag)
            main_.async([shown] { shown->setCurrentIndex(0); });
}

void QVRelinkComplexClipsWC::didPressExportRelinkedFilesButton()
{
    const FCPXLibrary library(ad_.droppedXMLDoc);
    for (int row = 0; row < table_->rowCount() && row < static_cast<int>(ad_.filesToRelink.size()); ++row) {
        QComboBox* shown = popup(row);
        const int tag = shown ? tagOf(*shown) : kNotSet;
        if (tag < 0 || tag >= static_cast<int>(ad_.droppedClipsToRelink.size()))
            continue;
        const auto& clip = ad_.droppedClipsToRelink[static_cast<std::size_t>(tag)];
        const auto& file = ad_.filesToRelink[static_cast<std::size_t>(row)];
        if (!clip || !file)
            continue;
        ad_.droppedClipsToExport.add(clip);
        file->fcpxEventName = library.getEventNameForClip(*clip).value_or(QString());
        file->fcpxClipName = clip->attributeText("name");
        if (file->fileMetadataRef.isValid())
            file->fileMetadataRef.updateChildValues({{"fcpx_event_name", file->fcpxEventName.toStdString()},
                                                     {"fcpx_clip_name", file->fcpxClipName.toStdString()}});
        // From now on the transcript is found by its event and clip names.
        if (!file->fcpxUID.isEmpty()) {
            file->fcpxUID.clear();
            if (file->fileMetadataRef.isValid())
                file->fileMetadataRef.child("fcpx_uid").removeValue();
        }
    }
    ad_.filesToRelink.clear();
    endSheet();
}

void QVRelinkComplexClipsWC::didPressCancelButton()
{
    ad_.filesToRelink.clear();
    ad_.droppedClipsToExport = {};
    ad_.droppedClipsToRelink.clear();
    ad_.droppedXMLDoc.reset();
    endSheet();
}

void QVRelinkComplexClipsWC::endSheet()
{
    window_.hide();
    if (!ad_.droppedClipsToExport.empty()) {
        if (services_.sendBackDroppedXML)
            services_.sendBackDroppedXML();
    } else {
        // Nothing goes back: the drop is over.
        ad_.droppedXMLDoc.reset();
        ad_.droppedClipsToImport = {};
    }
}
