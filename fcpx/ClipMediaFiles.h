// Clips of a dropped library as media files: the source file, the part of it a clip uses, where
// that part sits in a complex clip's timeline, and the audio tracks and channels with their
// roles and on/off state. A simple clip gives one media file; a compound, multicam or
// synchronized clip gives one per component clip. Nested complex clips that are enabled are
// refused, as is a component whose used part would begin before its source.
#pragma once

#include "fcpx/FCPXLibrary.h"
#include "platform/media/MediaTime.h"

#include <QMap>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <vector>

class QVMediaFile;
class QVTimecodeFields;
namespace qv {
class Asset;
}

using QVMediaFileList = std::vector<std::shared_ptr<QVMediaFile>>;

class ClipMediaFiles {
public:
    struct Services {
        // The inspected asset of a media file; null when it cannot be read (offline media).
        std::function<std::shared_ptr<qv::Asset>(const QUrl& url)> openAsset;
        // The track names of the file's iXML metadata; none for files without it.
        std::function<std::optional<QStringList>(const QUrl& url)> iXMLTrackNames;
        // The file holds sound only.
        std::function<bool(const QUrl& url)> fileURLIsAudio;
    };

    ClipMediaFiles(const FCPXLibrary& library, Services services);

    // One media file of a clip; null without asset data or when the used part would begin
    // before the source's start.
    std::shared_ptr<QVMediaFile> createMediaFileFromClip(const QVXMLElement& clip, const QVXMLElement* parent,
                                                         const QVXMLElement& topLevelClip) const;
    // The components of a compound (ref-clip), multicam (mc-clip) and synchronized clip, in
    // timeline order of their lanes; none when one of them cannot be made.
    std::optional<QVMediaFileList> createMediaFilesFromFCPXCompoundClip(const QVXMLElement& refClip,
                                                                         const QVXMLElement& media) const;
    std::optional<QVMediaFileList> createMediaFilesFromFCPXMulticamClip(const QVXMLElement& mcClip,
                                                                         const QVXMLElement& media) const;
    std::optional<QVMediaFileList> createMediaFilesFromFCPXSyncClip(const QVXMLElement& syncClip) const;

    // Source channel number ("1", "2"...) to role, from the clip's `audio` elements of the asset.
    std::optional<QMap<QString, QString>> getMultichannelSourceRoleMappingFromClip(const QVXMLElement& clip,
                                                                                   const QString& assetID) const;
    // The start timecode of a clip, multicam or sequence element and the frame rate of its
    // format. A frame duration that is not a positive number gives no rate.
    void createTimecodeDataFromClip(const QVXMLElement& element, QVTimecodeFields& file) const;

private:
    // Clips of `query` under `under`, each with its parent and `topLevel`, in the given order;
    // none when one fails.
    bool appendComponents(QVMediaFileList& list, const std::vector<std::shared_ptr<QVXMLElement>>& clips,
                          const QVXMLElement* fixedParent, const QVXMLElement& topLevel, bool spine) const;
    void applySyncRoles(QVMediaFile& mediaFile, const QVXMLElement& clip, const QVXMLElement& topLevelClip) const;

    std::shared_ptr<qv::Asset> assetOf(const QUrl& url) const;

    const FCPXLibrary& library_;
    Services services_;
    // Components of one clip often share a source: each is inspected once.
    mutable std::map<QUrl, std::shared_ptr<qv::Asset>> assets_;
};

// A time attribute of the document; zero when absent or not a number.
qv::MediaTime timeAttribute(const QVXMLElement& element, const char* name);
// A time text of the document ("1001/30000s"); zero when it is not a number.
qv::MediaTime timeOrZero(const QString& text);
