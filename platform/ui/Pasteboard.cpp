#include "platform/ui/Pasteboard.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>

namespace qv {

void ClipboardPasteboard::clearContents()
{
    QGuiApplication::clipboard()->clear();
}

void ClipboardPasteboard::setString(const QString& text, const QString& type)
{
    auto* data = new QMimeData;
    if (type == kPlainTextType)
        data->setText(text);
    else
        data->setData(type, text.toUtf8());
    QGuiApplication::clipboard()->setMimeData(data);
}

bool ClipboardPasteboard::hasType(const QString& type) const
{
    const QMimeData* data = QGuiApplication::clipboard()->mimeData();
    if (!data)
        return false;
    return type == kPlainTextType ? data->hasText() : data->hasFormat(type);
}

std::optional<QString> ClipboardPasteboard::string(const QString& type) const
{
    if (!hasType(type))
        return std::nullopt;
    const QMimeData* data = QGuiApplication::clipboard()->mimeData();
    return type == kPlainTextType ? data->text() : QString::fromUtf8(data->data(type));
}

}  // namespace qv
