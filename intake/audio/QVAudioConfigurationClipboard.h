// Copy and paste of a pending file's channel configuration (which channels are enabled) onto
// other pending files of the same audio layout, through the application's private pasteboard
// type. Only pending files made from Final Cut Pro X clips carry a layout, so only they match.
#pragma once

#include "model/AppDelegate.h"
#include "model/QVFilePending.h"

#include "platform/ui/Pasteboard.h"

#include <cstddef>
#include <memory>
#include <vector>

class QVAudioConfigurationViewController;

// The application's own pasteboard "QVInternal": held in memory for the life of the program, so
// that copying a configuration leaves the system clipboard alone.
class QVInternalPasteboard final : public qv::Pasteboard {
public:
    void clearContents() override { type_.clear(), text_.clear(); }
    void setString(const QString& text, const QString& type) override { text_ = text, type_ = type; }
    bool hasType(const QString& type) const override { return !type_.isEmpty() && type_ == type; }
    std::optional<QString> string(const QString& type) const override
    {
        return hasType(type) ? std::optional<QString>(text_) : std::nullopt;
    }

private:
    QString type_;
    QString text_;
};

namespace QVAudioConfigurationClipboard {

// The type on the private pasteboard (one of the application's own, not the system clipboard);
// its string is the source pending file's uuid.
inline const QString kType = QStringLiteral("QVAudioConfiguration");

// Puts the uuid of the pending file the panel previews on the pasteboard.
void copyAudioConfiguration(const QVAudioConfigurationViewController& panel, qv::Pasteboard& pasteboard);

// Gives the pending files at `selectedRows` (indexes into ad.filesPending) the enabled flags of
// the copied file, where both carry the same layout; the source itself is skipped. The panel is
// refreshed when its pending file changed and it is showing.
void pasteAudioConfiguration(AppDelegate& ad, std::vector<std::size_t> selectedRows, const qv::Pasteboard& pasteboard,
                             QVAudioConfigurationViewController* panel);

}  // namespace QVAudioConfigurationClipboard
