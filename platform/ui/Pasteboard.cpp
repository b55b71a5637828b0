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

MemoryPasteboard MemoryPasteboard::fromMimeData(const QMimeData& data)
{
    MemoryPasteboard pasteboard;
    for (const QString& format : data.formats())
        pasteboard.addType(format, QString::fromUtf8(data.data(format)));
    return pasteboard;
}

void MemoryPasteboard::setString(const QString& text, const QString& type)
{
    strings_.clear();
    strings_[type] = text;
}

void MemoryPasteboard::addType(const QString& type, std::optional<QString> text) { strings_[type] = std::move(text); }

std::optional<QString> MemoryPasteboard::string(const QString& type) const
{
    auto found = strings_.find(type);
    return found == strings_.end() ? std::nullopt : found->second;
}

}  // namespace qv
