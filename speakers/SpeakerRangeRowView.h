// The row behind a speaker range's rows in the transcript: a light grey band 480 points wide
// down the middle, transparent beside it, light whatever the desktop's theme.
#pragma once

#include <QWidget>

namespace qv::speakers {

class SpeakerRangeRowView : public QWidget {
public:
    explicit SpeakerRangeRowView(QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
};

}  // namespace qv::speakers
