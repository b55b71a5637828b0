// The file row of the audio configuration panel: the media file's enable check box, its name
// (with its paths as tool tip) and the Relink button; striped while the media file is missing.
#pragma once

#include "intake/audio/QVCheckBox.h"

#include "model/QVMediaFile.h"

#include <QLabel>
#include <QPushButton>
#include <QWidget>

#include <memory>

class QVTableCellViewAudioFile : public QWidget {
public:
    static constexpr int kRowHeight = 26;

    explicit QVTableCellViewAudioFile(QWidget* parent = nullptr);

    QVCheckBox* enableButton() const { return enableButton_; }
    QPushButton* relinkButton() const { return relinkButton_; }
    QLabel* nameLabel() const { return name_; }
    std::shared_ptr<QVMediaFile> mediaFile;
    bool mediaOnline = true;

    // The name shown for a media file and its tool tip.
    static QString displayName(const QVMediaFile& mediaFile);
    static QString toolTip(const QVMediaFile& mediaFile);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QVCheckBox* enableButton_;
    QLabel* name_;
    QPushButton* relinkButton_;
};

// The diagonal stripes that mark missing media, light over a file row, dark over a tracks row.
QBrush missingMediaStripes(bool light);
