// One row of the speakers panel: the speaker's name on a tag in its colour, editable in place,
// and a square in the same colour showing its range count, which opens the colour chooser.
#pragma once

#include "speakers/SpeakersPanel.h"

#include <QWidget>

class QLineEdit;

namespace qv::speakers {

class SpeakerColorButton;

class SpeakerPanelRow : public QWidget, public SpeakerPanelCell {
public:
    static constexpr int kHeight = 35;
    static constexpr int kWidth = 215;

    explicit SpeakerPanelRow(SpeakersPanel& panel, QWidget* parent = nullptr);

    QLineEdit* nameField() const { return name_; }
    SpeakerColorButton* colorButton() const { return colorButton_; }

    std::shared_ptr<QVSpeaker> speaker() const override { return speaker_; }
    void setSpeaker(std::shared_ptr<QVSpeaker> speaker) override { speaker_ = std::move(speaker); }
    QString nameText() const override;
    void setNameText(const QString& text) override;
    void setRangeCount(std::int64_t count, const RangeCountStyle& style) override;
    void setColor(const QColor& color) override;
    void setEditable(bool editable) override;
    void beginEditingName() override;

protected:
    void paintEvent(QPaintEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    SpeakersPanel& panel_;
    std::shared_ptr<QVSpeaker> speaker_;
    QColor color_;
    QLineEdit* name_;
    SpeakerColorButton* colorButton_;
};

}  // namespace qv::speakers
