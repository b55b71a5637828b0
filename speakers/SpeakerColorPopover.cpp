#include "speakers/SpeakerColorPopover.h"

#include "speakers/SpeakerColorButton.h"
#include "speakers/SpeakerPalette.h"

#include <QGridLayout>

namespace qv::speakers {

SpeakerColorPopover::SpeakerColorPopover(const std::function<QColor(const QString&)>& colorFor,
                                         std::function<void(int tag)> picked, QWidget* parent)
    : QFrame(parent, Qt::Popup)
{
    setFrameShape(QFrame::StyledPanel);
    QPalette light = palette();
    light.setColor(QPalette::Window, QColor(246, 246, 246));
    setPalette(light);
    setAutoFillBackground(true);
    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(8, 8, 8, 8);
    grid->setSpacing(6);
    const QStringList& names = paletteColorNames();
    for (int tag = 0; tag < names.size(); ++tag) {
        auto* button = new SpeakerColorButton(this);
        button->setObjectName(QStringLiteral("button%1").arg(tag));
        button->setFixedSize(25, 25);
        button->setButtonColor(colorFor(names.at(tag)));
        button->setToolTip(names.at(tag));
        connect(button, &QAbstractButton::clicked, this, [picked, tag] { picked(tag); });
        grid->addWidget(button, tag / 3, tag % 3);
    }
}

SpeakerColorButton* SpeakerColorPopover::button(int tag) const
{
    return findChild<SpeakerColorButton*>(QStringLiteral("button%1").arg(tag));
}

void SpeakerColorPopover::showBeside(QWidget* anchor)
{
    adjustSize();
    move(anchor->mapToGlobal(QPoint(anchor->width() + 4, (anchor->height() - height()) / 2)));
    show();
}

}  // namespace qv::speakers
