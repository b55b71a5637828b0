// The header row of a speaker range in the transcript: the speaker's name on a tab in the
// speaker's colour over a coloured rule, and the speaker menu the tab opens.
#pragma once

#include "speakers/SpeakerHost.h"
#include "speakers/SpeakerRowGeometry.h"

#include <QWidget>

class QMenu;

namespace qv::speakers {

class SpeakersController;

class SpeakerRangeHeaderView : public QWidget, public SpeakerRangeHeaderCell {
public:
    // Widest name the tab shows before it is cut short, in pixels.
    static constexpr int kMaxNameWidth = 400;

    explicit SpeakerRangeHeaderView(SpeakersController& controller, QWidget* parent = nullptr);

    // The range shown; the table sets it when it makes or reuses the row.
    void setSpeakerRange(std::shared_ptr<QVSpeakerRange> range) { range_ = std::move(range), update(); }
    // Forgets the range before the table reuses the row for another.
    void prepareForReuse();
    // The pop-up's title: the selected item's, as shown on the tab.
    QString popupTitle() const { return title_; }
    // The pop-up's menu, filled from the items given last.
    QMenu* menu();

    std::shared_ptr<QVSpeakerRange> speakerRange() const override { return range_; }
    void setMenu(SpeakerMenu menu) override;
    void setNeedsDisplay() override { update(); }
    void openMenu() override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    // The speaker whose tab is drawn: none for a range without a live speaker.
    std::shared_ptr<QVSpeaker> shownSpeaker() const;
    QFont nameFont() const;
    // The name on the tab, on one line and cut short when long, and its width: measured again
    // only when the name or the text size changes, as measuring shapes the text.
    struct ShownName {
        bool measured = false;
        bool ofSpeaker = false;
        QString name;
        double size = 0;
        QString shown;
        int width = 0;
    };
    const ShownName& shownName() const;
    SpeakerTabGeometry tabGeometry() const;
    QRectF tabRect() const;

    SpeakersController& c_;
    std::shared_ptr<QVSpeakerRange> range_;
    SpeakerMenu items_;
    QString title_;
    mutable ShownName shownName_;
    QMenu* menu_;
    // The menu holds the items given last. It is filled only when read or opened: every header
    // row is given its items again after any speaker change, and each action added to a menu
    // resizes its window.
    bool menuFilled_ = false;
};

}  // namespace qv::speakers
