// The general pasteboard: typed strings, the plain-text type and the application's private
// types as MIME types. ClipboardPasteboard is the system clipboard through Qt. Main thread only.
#pragma once

#include <QString>

#include <optional>

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

}  // namespace qv
