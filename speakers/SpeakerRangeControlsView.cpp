#include "speakers/SpeakerRangeControlsView.h"

#include "speakers/SpeakersController.h"

#include <QPainter>
#include <QPainterPath>
#include <QToolButton>

namespace qv::speakers {

namespace {

enum class Glyph { StartHere, Add, NextStartsHere };

// The buttons' pictures: a bar with an arrow rising to it (the current range starts here), a
// plus (a range starts here), a bar with an arrow coming down to it (the next range starts
// here).
QIcon glyphIcon(Glyph glyph)
{
    QPixmap pixmap(60, 60);
    pixmap.setDevicePixelRatio(2);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(QColor(90, 90, 90), 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    switch (glyph) {
    case Glyph::Add:
        painter.drawLine(QPointF(15, 8), QPointF(15, 22));
        painter.drawLine(QPointF(8, 15), QPointF(22, 15));
        break;
    case Glyph::StartHere:
        painter.drawLine(QPointF(8, 9), QPointF(22, 9));
        painter.drawLine(QPointF(15, 22), QPointF(15, 12));
        painter.drawPolyline(QPolygonF({{11, 16}, {15, 12}, {19, 16}}));
        break;
    case Glyph::NextStartsHere:
        painter.drawLine(QPointF(8, 21), QPointF(22, 21));
        painter.drawLine(QPointF(15, 8), QPointF(15, 18));
        painter.drawPolyline(QPolygonF({{11, 14}, {15, 18}, {19, 14}}));
        break;
    }
    return QIcon(pixmap);
}

QToolButton* makeButton(QWidget* parent, int y, Glyph glyph, const QString& toolTip)
{
    auto* button = new QToolButton(parent);
    button->setGeometry(0, y, 30, 30);
    button->setAutoRaise(true);
    button->setIcon(glyphIcon(glyph));
    button->setIconSize(QSize(30, 30));
    button->setToolTip(toolTip);
    return button;
}

}  // namespace

SpeakerRangeControlsView::SpeakerRangeControlsView(SpeakersController& controller, QWidget* parent)
    : QWidget(parent), c_(controller)
{
    resize(30, 100);
    // Top to bottom: current (67 up from the lower edge), add (35), next (3).
    current_ = makeButton(this, 3, Glyph::StartHere, QStringLiteral("Change start of current speaker range\n(Command-Up)"));
    add_ = makeButton(this, 35, Glyph::Add, QStringLiteral("\u00C5dd speaker range\n(Command-Return/Enter)"));
    next_ = makeButton(this, 67, Glyph::NextStartsHere,
                       QStringLiteral("Change start of next speaker range\n(Command-Down)"));
    connect(current_, &QToolButton::clicked, this, [this] { c_.ranges().buttonPressedStartCurrentSpeakerRange(); });
    connect(add_, &QToolButton::clicked, this, [this] { c_.ranges().buttonPressedAddSpeakerRange(); });
    connect(next_, &QToolButton::clicked, this, [this] { c_.ranges().buttonPressedStartNextSpeakerRange(); });
    c_.setRangeButtonsObserver([this](const SpeakerRangeButtonsHidden& hidden) {
        current_->setHidden(hidden.current);
        add_->setHidden(hidden.add);
        next_->setHidden(hidden.next);
    });
}

SpeakerRangeControlsView::~SpeakerRangeControlsView()
{
    c_.setRangeButtonsObserver({});
}

}  // namespace qv::speakers
