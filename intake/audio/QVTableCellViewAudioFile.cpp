// The file row of the audio configuration panel.
#include "intake/audio/QVTableCellViewAudioFile.h"

#include <QFileInfo>
#include <QHBoxLayout>
#include <QPainter>
#include <QPixmap>

QVTableCellViewAudioFile::QVTableCellViewAudioFile(QWidget* parent)
    : QWidget(parent), enableButton_(new QVCheckBox(this)), name_(new QLabel(this)),
      relinkButton_(new QPushButton(QStringLiteral("Relink"), this))
{
    setFixedHeight(kRowHeight);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(8, 0, 8, 0);
    layout->setSpacing(8);
    QFont small = font();
    small.setPixelSize(12);
    enableButton_->setFont(small);
    name_->setFont(small);
    name_->setStyleSheet(QStringLiteral("color: rgb(220, 220, 220);"));
    name_->setTextInteractionFlags(Qt::NoTextInteraction);
    relinkButton_->setFont(small);
    relinkButton_->setFixedHeight(20);
    relinkButton_->setObjectName(QStringLiteral("relinkButton"));
    layout->addWidget(enableButton_);
    layout->addWidget(name_, 1);
    layout->addWidget(relinkButton_);
}

QString QVTableCellViewAudioFile::displayName(const QVMediaFile& mediaFile)
{
    if (mediaFile.mediaOnline && !mediaFile.url.path().isEmpty())
        return QFileInfo(mediaFile.url.path()).fileName();
    if (!mediaFile.filePath.isEmpty())
        return QFileInfo(mediaFile.filePath).fileName();
    return QStringLiteral("Unknown file name");
}

QString QVTableCellViewAudioFile::toolTip(const QVMediaFile& mediaFile)
{
    if (mediaFile.filePath == mediaFile.url.path())
        return mediaFile.filePath;
    if (mediaFile.mediaOnline)
        return QStringLiteral("ORIGINAL FILE:\n%1\n\nRELINKED FILE:\n%2").arg(mediaFile.filePath, mediaFile.url.path());
    return QStringLiteral("MISSING FILE:\n%1").arg(mediaFile.filePath);
}

void QVTableCellViewAudioFile::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), mediaOnline ? QBrush(QColor::fromRgbF(0.18, 0.18, 0.18, 1.0)) : missingMediaStripes(true));
}

QBrush missingMediaStripes(bool light)
{
    constexpr int kTile = 16;
    QPixmap tile(kTile, kTile);
    tile.fill(light ? QColor::fromRgbF(0.22, 0.22, 0.22) : QColor::fromRgbF(0.05, 0.05, 0.05));
    QPainter painter(&tile);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(light ? QColor::fromRgbF(0.34, 0.30, 0.20) : QColor::fromRgbF(0.20, 0.17, 0.10), 4));
    // Two segments so that the band runs on across tile edges.
    painter.drawLine(QPointF(-kTile / 2.0, kTile + kTile / 2.0), QPointF(kTile + kTile / 2.0, -kTile / 2.0));
    painter.drawLine(QPointF(kTile / 2.0, kTile + kTile / 2.0), QPointF(kTile + kTile * 1.5, -kTile / 2.0));
    painter.drawLine(QPointF(-kTile * 1.5, kTile + kTile / 2.0), QPointF(kTile / 2.0, -kTile / 2.0));
    return QBrush(tile);
}
