#include "speakers/SpeakerNameText.h"

#include <QFontMetrics>
#include <QGuiApplication>

namespace qv::speakers {

QString singleLineName(const QString& name)
{
    QString line = name;
    for (QChar& c : line) {
        if (c == u'\n' || c == u'\r' || c == QChar(0x2028) || c == QChar(0x2029) || c == QChar(0x0B) || c == QChar(0x0C))
            c = u' ';
    }
    return line;
}

QString displayedName(const QString& name, const QFont& font, int maxWidth)
{
    return QFontMetrics(font).elidedText(singleLineName(name), Qt::ElideRight, maxWidth);
}

QFont boldSystemFont(double pixelSize)
{
    QFont font = QGuiApplication::font();
    font.setPixelSize(static_cast<int>(pixelSize > 0 ? pixelSize : 13));
    font.setBold(true);
    return font;
}

}  // namespace qv::speakers
