// The questions asked of a dropped library: a clip's asset and its data (media location from
// the asset's bookmark, online or not), the media of compound and multicam clips, a clip's
// event, and the resources an element refers to. Read-only; every answer is empty rather than
// a failure. Values of the document are bound to the queries, never pasted into them. Resources
// are found by id through an index made at the first such question: a library is asked while
// its document's resources stay as they are.
#pragma once

#include "fcpx/QVXMLDocument.h"

#include <QByteArray>
#include <QHash>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <functional>
#include <memory>
#include <optional>

// Finds the file a bookmark of the partner editor points at; none when it does not resolve.
using BookmarkResolver = std::function<std::optional<QUrl>(const QByteArray& bookmark)>;

// Bookmarks written by the test encoding: this prefix, then the file's absolute path in UTF-8.
inline const QByteArray kTestBookmarkPrefix = QByteArrayLiteral("qv-bookmark:");

// The bookmark of the test encoding for `path`.
QByteArray testBookmarkForPath(const QString& path);
// The default resolver, best effort: the test encoding, else the first "file://" URL stored in
// the bookmark that names more than the root.
std::optional<QUrl> resolveBookmark(const QByteArray& bookmark);

// What a library says of one asset.
struct FCPXAssetData {
    std::shared_ptr<QVXMLElement> assetElement;
    QUrl url;
    // The asset's attributes as written; "" when absent ("0s" for start).
    QString duration;
    QString format;
    bool hasVideo = false;
    QString start = QStringLiteral("0s");
    std::optional<QString> uid;
    // A file exists at the URL's path and can be read.
    bool mediaOnline = false;
};

class FCPXLibrary {
public:
    // `document` is the dropped library; none answers nothing.
    FCPXLibrary(std::shared_ptr<QVXMLDocument> document, BookmarkResolver resolver = resolveBookmark);

    const std::shared_ptr<QVXMLDocument>& document() const { return document_; }
    std::shared_ptr<QVXMLElement> root() const;

    // The clip's `ref`, else that of its first `audio` or `video` child.
    std::optional<QString> getAssetRefFromClip(const QVXMLElement& clip) const;
    std::optional<FCPXAssetData> getDataFromAssetRef(const QString& assetID) const;
    std::shared_ptr<QVXMLElement> getAssetOrMediaElementForRef(const QString& resourceID) const;
    std::shared_ptr<QVXMLElement> getMediaElementFromCompoundOrMulticamClip(const QVXMLElement& clip) const;
    std::shared_ptr<QVXMLElement> getSpineElementFromMediaElement(const QVXMLElement& media) const;
    // The nearest enclosing event; none for a clip outside every event.
    std::shared_ptr<QVXMLElement> getEventForClip(const QVXMLElement& clip) const;
    std::optional<QString> getEventNameForClip(const QVXMLElement& clip) const;
    // The `format` and `ref` values under the element (its own included), in document order;
    // the resources named by a `ref`, and in turn those they name, add all their own values to
    // `usedResourceIds`. Each resource is followed once for the life of this library, a loop of
    // references included: every call passes the same set.
    QStringList getAllResourceRefsFromElement(const QVXMLElement& element, QSet<QString>& usedResourceIds) const;
    // The `format` resource of that id; none when absent.
    std::shared_ptr<QVXMLElement> getFormatElement(const QString& formatID) const;

private:
    // The first `asset` or `media` resource of each id, in document order.
    const QHash<QString, pugi::xml_node>& resourcesById() const;

    std::shared_ptr<QVXMLDocument> document_;
    BookmarkResolver resolver_;
    mutable std::optional<QHash<QString, pugi::xml_node>> resourcesById_;
    // The ids of the resources whose references were followed.
    mutable QSet<QString> followed_;
};
