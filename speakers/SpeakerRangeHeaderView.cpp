#include "speakers/SpeakerRangeHeaderView.h"

#include "model/AppDelegate.h"
#include "speakers/SpeakerNameText.h"
#include "speakers/SpeakerRowGeometry.h"
#include "speakers/SpeakersController.h"

#include <QFontMetrics>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>

namespace qv::speakers {

namespace {
constexpr double kDefaultTextSize = 14;
constexpr double kDefaultLineHeight = 24;
// The measured name carries a text field's 2-pixel inset on either side.
constexpr double kFieldPadding = 4;
// Where the name starts on the tab: the pop-up's title sits one pixel in from the tab's edge,
// its text a field inset further.
constexpr double kTitleInset = 3;

double displayTextSize(const AppDelegate& ad)
{
    return ad.textSizeDisplay > 0 ? ad.textSizeDisplay : kDefaultTextSize;
}
}  // namespace

SpeakerRangeHeaderView::SpeakerRangeHeaderView(SpeakersController& controller, QWidget* parent)
    : QWidget(parent), c_(controller), menu_(new QMenu(this))
{
    // The transcript is always drawn light, whatever the desktop's theme; floating over the words
    // at the top edge, the row is filled with this white.
    QPalette light = palette();
    light.setColor(QPalette::Window, Qt::white);
    light.setColor(QPalette::WindowText, Qt::black);
    setPalette(light);
    connect(menu_, &QMenu::aboutToHide, this, [this] { c_.headerRows().menuDidClose(); });
    connect(menu_, &QMenu::triggered, this, [this](QAction* action) {
        const int index = action->data().toInt();
        if (index >= 0 && index < static_cast<int>(items_.items.size()))
            c_.headerRows().changedSpeakerPopup(this, items_.items[static_cast<std::size_t>(index)]);
    });
}

void SpeakerRangeHeaderView::prepareForReuse()
{
    range_ = nullptr;
    update();
}

void SpeakerRangeHeaderView::setMenu(SpeakerMenu menu)
{
    // A filled menu that would read the same keeps its actions: they name the items by their
    // place, and refilling an open menu resizes its window once for every action.
    if (!menu.readsAs(items_))
        menuFilled_ = false;
    items_ = std::move(menu);
    title_ = items_.selectedTitle();
    // An open menu's actions name items by their place: they must be the items given.
    if (menu_->isVisible())
        this->menu();
}

QMenu* SpeakerRangeHeaderView::menu()
{
    if (menuFilled_)
        return menu_;
    menuFilled_ = true;
    menu_->clear();
    const QFont font = menu_->font();
    for (std::size_t i = 0; i < items_.items.size(); ++i) {
        const SpeakerMenuItem& item = items_.items[i];
        if (item.separator) {
            menu_->addSeparator();
            continue;
        }
        // A menu reads "&" as the mark of a shortcut letter; a name shows it as typed.
        QAction* action = menu_->addAction(displayedName(item.title, font, kMaxNameWidth).replace('&', QStringLiteral("&&")));
        action->setData(static_cast<int>(i));
        if (static_cast<int>(i) == items_.selectedIndex) {
            action->setCheckable(true);
            action->setChecked(true);
        }
    }
    return menu_;
}

std::shared_ptr<QVSpeaker> SpeakerRangeHeaderView::shownSpeaker() const
{
    if (!range_ || !range_->speaker || range_->speaker->deleted)
        return nullptr;
    return range_->speaker;
}

QFont SpeakerRangeHeaderView::nameFont() const
{
    return boldSystemFont(displayTextSize(c_.ad()));
}

const SpeakerRangeHeaderView::ShownName& SpeakerRangeHeaderView::shownName() const
{
    const auto speaker = shownSpeaker();
    const QString name = speaker ? speaker->name : QString();
    const double size = displayTextSize(c_.ad());
    if (shownName_.measured && shownName_.ofSpeaker == bool(speaker) && shownName_.name == name && shownName_.size == size)
        return shownName_;
    const QFont font = nameFont();
    shownName_.measured = true;
    shownName_.ofSpeaker = bool(speaker);
    shownName_.name = name;
    shownName_.size = size;
    shownName_.shown = speaker ? displayedName(name, font, kMaxNameWidth) : QString();
    shownName_.width = QFontMetrics(font).horizontalAdvance(shownName_.shown);
    return shownName_;
}

SpeakerTabGeometry SpeakerRangeHeaderView::tabGeometry() const
{
    const AppDelegate& ad = c_.ad();
    const double lineHeight = ad.lineHeightDisplay > 0 ? ad.lineHeightDisplay : kDefaultLineHeight;
    return speakerTabGeometry(width(), shownName().width + kFieldPadding, displayTextSize(ad), lineHeight);
}

QRectF SpeakerRangeHeaderView::tabRect() const
{
    const auto tab = tabGeometry();
    return QRectF(tab.left, height() - tab.height, tab.right - tab.left, tab.height);
}

void SpeakerRangeHeaderView::paintEvent(QPaintEvent*)
{
    const auto speaker = shownSpeaker();
    if (!speaker)
        return;
    const QColor stored = c_.records().colorForColorName(speaker->color);
    const QColor color = stored.isValid() ? stored : c_.ad().speakerColorUnknown;
    const auto tab = tabGeometry();

    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    // The geometry is measured up from the lower edge; Qt's y runs down.
    painter.save();
    painter.translate(0, height());
    painter.scale(1, -1);
    painter.fillPath(speakerTabPath(tab), color);
    painter.fillRect(tab.rule, color);
    painter.restore();

    painter.setFont(nameFont());
    painter.setPen(Qt::white);
    const QRectF text(tab.left + kTitleInset, height() - tab.height, tab.arrows.left() - tab.left - kTitleInset,
                      tab.height);
    painter.drawText(text, Qt::AlignLeft | Qt::AlignVCenter, shownName().shown);

    // The pop-up arrows: a small up and down chevron.
    const QRectF arrows(tab.arrows.x(), height() - tab.arrows.y() - tab.arrows.height(), tab.arrows.width(),
                        tab.arrows.height());
    QPen pen(Qt::white, 1.5);
    painter.setPen(pen);
    const double cx = arrows.center().x(), cy = arrows.center().y();
    painter.drawPolyline(QPolygonF({{cx - 3.5, cy - 2}, {cx, cy - 5.5}, {cx + 3.5, cy - 2}}));
    painter.drawPolyline(QPolygonF({{cx - 3.5, cy + 2}, {cx, cy + 5.5}, {cx + 3.5, cy + 2}}));
}

void SpeakerRangeHeaderView::mousePressEvent(QMouseEvent* event)
{
    if (shownSpeaker() && tabRect().contains(event->position()))
        openMenu();
    else
        QWidget::mousePressEvent(event);
}

void SpeakerRangeHeaderView::openMenu()
{
    if (items_.items.empty())
        return;
    const QRectF tab = tabRect();
    QAction* selected = items_.selectedIndex >= 0 ? menu()->actions().value(items_.selectedIndex) : nullptr;
    menu_->popup(mapToGlobal(QPoint(static_cast<int>(tab.left()), static_cast<int>(tab.bottom()))), selected);
}

}  // namespace qv::speakers
