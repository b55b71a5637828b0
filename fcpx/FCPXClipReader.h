// Turns one clip of a dropped library into a pending file: its media files (one for a simple
// clip, the components for a compound, multicam or synchronized clip), type, names, the
// editor's identity of the clip, start timecode and audio layout, with the clip's composition
// as its asset. A clip that cannot be used is reported as refused or as unsupported by name.
#pragma once

#include "fcpx/ClipMediaFiles.h"

#include <QString>

#include <functional>
#include <memory>

class AppDelegate;
class QVFilePending;

// More components than this make a complex clip unsupported.
inline constexpr std::size_t kMaximumClipComponents = 100;

struct FCPXClipResult {
    std::shared_ptr<QVFilePending> file;
    bool refused = false;
    QString unsupportedClipName;
};

class FCPXClipReader {
public:
    struct Services {
        ClipMediaFiles::Services media;
        // The audio layout type of media files ("F1T1C2...").
        std::function<QString(const QVMediaFileList& mediaFiles)> audioLayoutType;
        // The user's defaults for new pending files.
        std::function<bool()> defaultDiarisation;
        std::function<QString()> defaultLanguage;
    };

    // `ad` holds the dropped document and the model services (access, online state, the
    // composition of complex clips); not owned, it outlives the reader.
    FCPXClipReader(AppDelegate& ad, Services services, BookmarkResolver resolver = resolveBookmark);

    FCPXClipResult read(const std::shared_ptr<QVXMLElement>& clip) const;

private:
    AppDelegate& ad_;
    Services services_;
    BookmarkResolver resolver_;
};
