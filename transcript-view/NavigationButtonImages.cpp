#include "transcript-view/NavigationButtonImages.h"

#include <QPainter>
#include <QPainterPath>
#include <QStringList>

#include <optional>

namespace qv::transcript {

namespace {

// At rest: dark enough to read on the transcript toolbar's grey.
const QColor kRestColor(45, 45, 45);
// While flashing: the brand colour.
const QColor kFlashColor(255, 65, 20);
// A disabled button's image keeps this much of its opacity.
constexpr qreal kDisabledOpacity = 0.3;

// Glyph measures in the 22 × 16 image: triangles 7 wide and 10 high, centred vertically; the
// range's bar is 2 wide.
constexpr qreal kTriangleWidth = 7;
constexpr qreal kTop = 3;
constexpr qreal kBottom = 13;
constexpr qreal kBarWidth = 2;

enum class Step { Word, Sentence, Range };

// A triangle pointing left with its tip at x = `tip`.
void addLeftTriangle(QPainterPath& path, qreal tip)
{
    path.moveTo(tip, (kTop + kBottom) / 2);
    path.lineTo(tip + kTriangleWidth, kTop);
    path.lineTo(tip + kTriangleWidth, kBottom);
    path.closeSubpath();
}

// The glyph of a backward step; a forward step is its mirror image.
QPainterPath backwardGlyph(Step step)
{
    QPainterPath path;
    switch (step) {
    case Step::Word:
        addLeftTriangle(path, 7.5);
        break;
    case Step::Sentence:
        addLeftTriangle(path, 4);
        addLeftTriangle(path, 4 + kTriangleWidth);
        break;
    case Step::Range:
        path.addRect(QRectF(3, kTop, kBarWidth, kBottom - kTop));
        addLeftTriangle(path, 6);
        addLeftTriangle(path, 6 + kTriangleWidth);
        break;
    }
    return path;
}

struct ImageName {
    bool forward = false;
    Step step = Step::Word;
    bool flashing = false;
};

std::optional<ImageName> parseImageName(const QString& name)
{
    const QStringList parts = name.split(QLatin1Char('_'));
    if (parts.size() != 3)
        return std::nullopt;
    ImageName parsed;
    if (parts[0] == QLatin1String("next"))
        parsed.forward = true;
    else if (parts[0] != QLatin1String("previous"))
        return std::nullopt;
    if (parts[1] == QLatin1String("sentence"))
        parsed.step = Step::Sentence;
    else if (parts[1] == QLatin1String("range"))
        parsed.step = Step::Range;
    else if (parts[1] != QLatin1String("word"))
        return std::nullopt;
    if (parts[2] == QLatin1String("on"))
        parsed.flashing = true;
    else if (parts[2] != QLatin1String("off"))
        return std::nullopt;
    return parsed;
}

QPixmap drawImage(const ImageName& image, qreal devicePixelRatio, qreal opacity)
{
    QPixmap pixmap(kNavigationImageSize * devicePixelRatio);
    pixmap.setDevicePixelRatio(devicePixelRatio);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setOpacity(opacity);
    if (image.forward) {
        painter.translate(kNavigationImageSize.width(), 0);
        painter.scale(-1, 1);
    }
    painter.fillPath(backwardGlyph(image.step), image.flashing ? kFlashColor : kRestColor);
    return pixmap;
}

}  // namespace

const std::array<NavigationButton, 6>& navigationButtons()
{
    static const std::array<NavigationButton, 6> buttons{{
        {QStringLiteral("previousSpeakerRange"), QStringLiteral("previous_range"), QStringLiteral("Previous Speaker Range")},
        {QStringLiteral("previousSentence"), QStringLiteral("previous_sentence"), QStringLiteral("Previous Sentence")},
        {QStringLiteral("previousWord"), QStringLiteral("previous_word"), QStringLiteral("Previous Word")},
        {QStringLiteral("nextWord"), QStringLiteral("next_word"), QStringLiteral("Next Word")},
        {QStringLiteral("nextSentence"), QStringLiteral("next_sentence"), QStringLiteral("Next Sentence")},
        {QStringLiteral("nextSpeakerRange"), QStringLiteral("next_range"), QStringLiteral("Next Speaker Range")},
    }};
    return buttons;
}

QPixmap navigationButtonImage(const QString& name, qreal devicePixelRatio)
{
    const auto parsed = parseImageName(name);
    return parsed ? drawImage(*parsed, devicePixelRatio, 1) : QPixmap();
}

QIcon navigationButtonIcon(const QString& stem)
{
    const auto parsed = parseImageName(stem + QStringLiteral("_off"));
    if (!parsed)
        return QIcon();
    QIcon icon;
    for (const qreal ratio : {1.0, 2.0}) {
        icon.addPixmap(drawImage(*parsed, ratio, 1), QIcon::Normal);
        icon.addPixmap(drawImage(*parsed, ratio, kDisabledOpacity), QIcon::Disabled);
    }
    return icon;
}

}  // namespace qv::transcript
