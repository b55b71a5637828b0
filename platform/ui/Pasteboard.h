// The general pasteboard: typed strings, the plain-text type and the application's private
// types as MIME types. ClipboardPasteboard is the system clipboard through Qt. Main thread only.
#pragma once

#include <QString>

#include <map>
#include <optional>

class QMimeData;

namespace qv {

class Pasteboard {
public:
    static inline const QString kPlainTextType = QStringLiteral("text/plain");

    virtual ~Pasteboard() = default;
    // Empties the pasteboard.
    virtual void clearContents() = 0;
    // Declares `type` as the pasteboard's only type and writes `text` under it.
    virtual void setString(const QString& text, const QString& type) = 0;
    virtual bool hasType(const QString& type) const = 0;
    // The string held under `type`; nothing when the type is absent.
    virtual std::optional<QString> string(const QString& type) const = 0;
};

// Needs a QGuiApplication.
class ClipboardPasteboard final : public Pasteboard {
public:
    void clearContents() override;
    void setString(const QString& text, const QString& type) override;
    bool hasType(const QString& type) const override;
    std::optional<QString> string(const QString& type) const override;
};

// A pasteboard held in memory: what a drag carried once it has been dropped, or a library read
// from a file. A type may be present without a string.
class MemoryPasteboard final : public Pasteboard {
public:
    // Every format of `data`, its bytes read as UTF-8 text.
    static MemoryPasteboard fromMimeData(const QMimeData& data);

    void clearContents() override { strings_.clear(); }
    void setString(const QString& text, const QString& type) override;
    // Adds `type` with `text` (or with no string) beside the types already present.
    void addType(const QString& type, std::optional<QString> text);
    bool hasType(const QString& type) const override { return strings_.count(type) != 0; }
    std::optional<QString> string(const QString& type) const override;

private:
    std::map<QString, std::optional<QString>> strings_;
};

}  // namespace qv
