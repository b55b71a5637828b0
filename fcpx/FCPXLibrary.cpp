// Queries on a dropped library.
#include "fcpx/FCPXLibrary.h"

#include <QFileInfo>

#include <string_view>
#include <vector>

QByteArray testBookmarkForPath(const QString& path) { return kTestBookmarkPrefix + path.toUtf8(); }

std::optional<QUrl> resolveBookmark(const QByteArray& bookmark)
{
    if (bookmark.startsWith(kTestBookmarkPrefix)) {
        const QString path = QString::fromUtf8(bookmark.mid(kTestBookmarkPrefix.size()));
        if (path.isEmpty() || !QFileInfo(path).isAbsolute())
            return std::nullopt;
        return QUrl::fromLocalFile(path);
    }
    static const QByteArray scheme = QByteArrayLiteral("file://");
    for (qsizetype at = bookmark.indexOf(scheme); at >= 0; at = bookmark.indexOf(scheme, at + 1)) {
        qsizetype end = at;
        while (end < bookmark.size() && static_cast<unsigned char>(bookmark[end]) >= 0x20)
            ++end;
        const QUrl url(QString::fromUtf8(bookmark.mid(at, end - at)));
        if (url.isValid() && url.isLocalFile() && url.toLocalFile().size() > 1)
            return url;
    }
    return std::nullopt;
}

FCPXLibrary::FCPXLibrary(std::shared_ptr<QVXMLDocument> document, BookmarkResolver resolver)
    : document_(std::move(document)), resolver_(std::move(resolver))
{
}

std::shared_ptr<QVXMLElement> FCPXLibrary::root() const { return document_ ? document_->rootElement() : nullptr; }

std::optional<QString> FCPXLibrary::getAssetRefFromClip(const QVXMLElement& clip) const
{
    if (std::optional<QString> ref = clip.attribute("ref"))
        return ref;
    if (std::shared_ptr<QVXMLElement> child = clip.firstElementForXPath("./audio | ./video"))
        return child->attribute("ref");
    return std::nullopt;
}

std::optional<FCPXAssetData> FCPXLibrary::getDataFromAssetRef(const QString& assetID) const
{
    std::shared_ptr<QVXMLElement> rootElement = root();
    if (!rootElement)
        return std::nullopt;
    std::shared_ptr<QVXMLElement> asset = rootElement->firstElementForXPath("./resources/asset[@id=$id]", {{"id", assetID}});
    if (!asset)
        return std::nullopt;
    std::shared_ptr<QVXMLElement> bookmark = asset->firstChildElement("bookmark");
    if (!bookmark)
        if (std::shared_ptr<QVXMLElement> rep = asset->firstElementForXPath("./media-rep[@kind='original-media']"))
            bookmark = rep->firstChildElement("bookmark");
    if (!bookmark)
        return std::nullopt;
    const QByteArray text = bookmark->stringValue().trimmed().toUtf8();
    const QByteArray::FromBase64Result decoded = QByteArray::fromBase64Encoding(text, QByteArray::AbortOnBase64DecodingErrors);
    if (text.isEmpty() || !decoded)
        return std::nullopt;
    std::optional<QUrl> url = resolver_ ? resolver_(*decoded) : std::nullopt;
    if (!url)
        return std::nullopt;

    FCPXAssetData data;
    data.assetElement = asset;
    data.url = *url;
    data.duration = asset->attributeText("duration");
    data.format = asset->attributeText("format");
    const QString hasVideo = asset->attributeText("hasVideo").trimmed();
    data.hasVideo = hasVideo == QLatin1String("1") || hasVideo.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0 ||
                    hasVideo.compare(QLatin1String("yes"), Qt::CaseInsensitive) == 0;
    data.start = asset->attribute("start").value_or(QStringLiteral("0s"));
    data.uid = asset->attribute("uid");
    const QFileInfo file(url->toLocalFile());
    data.mediaOnline = file.isFile() && file.isReadable();
    return data;
}

const QHash<QString, pugi::xml_node>& FCPXLibrary::resourcesById() const
{
    if (!resourcesById_) {
        resourcesById_.emplace();
        if (std::shared_ptr<QVXMLElement> rootElement = root())
            for (const pugi::xml_node& resources : rootElement->node().children("resources"))
                for (const pugi::xml_node& resource : resources.children()) {
                    const std::string_view kind = resource.name();
                    const pugi::xml_attribute id = resource.attribute("id");
                    if (resource.type() != pugi::node_element || (kind != "asset" && kind != "media") || id.empty())
                        continue;
                    const QString key = QString::fromUtf8(id.value());
                    if (!resourcesById_->contains(key))
                        resourcesById_->insert(key, resource);
                }
    }
    return *resourcesById_;
}

std::shared_ptr<QVXMLElement> FCPXLibrary::getAssetOrMediaElementForRef(const QString& resourceID) const
{
    const QHash<QString, pugi::xml_node>& resources = resourcesById();
    const auto found = resources.constFind(resourceID);
    return found == resources.constEnd() ? nullptr : document_->element(*found);
}

std::shared_ptr<QVXMLElement> FCPXLibrary::getMediaElementFromCompoundOrMulticamClip(const QVXMLElement& clip) const
{
    std::optional<QString> ref = getAssetRefFromClip(clip);
    return ref ? getAssetOrMediaElementForRef(*ref) : nullptr;
}

std::shared_ptr<QVXMLElement> FCPXLibrary::getSpineElementFromMediaElement(const QVXMLElement& media) const
{
    return media.firstElementForXPath("./sequence/spine");
}

std::shared_ptr<QVXMLElement> FCPXLibrary::getEventForClip(const QVXMLElement& clip) const
{
    for (std::shared_ptr<QVXMLElement> up = clip.parent(); up; up = up->parent())
        if (up->name() == QLatin1String("event"))
            return up;
    return nullptr;
}

std::optional<QString> FCPXLibrary::getEventNameForClip(const QVXMLElement& clip) const
{
    std::shared_ptr<QVXMLElement> event = getEventForClip(clip);
    return event ? event->attribute("name") : std::nullopt;
}

QStringList FCPXLibrary::getAllResourceRefsFromElement(const QVXMLElement& element, QSet<QString>& usedResourceIds) const
{
    QStringList refs;
    // Resources met and not yet followed. A chain of references can be as long as the library:
    // it is followed without recursion.
    std::vector<std::shared_ptr<QVXMLElement>> toFollow;
    const auto meet = [&](const QString& name, const QString& value) {
        if (name != QLatin1String("ref") || followed_.contains(value))
            return;
        if (std::shared_ptr<QVXMLElement> resource = getAssetOrMediaElementForRef(value)) {
            followed_.insert(value);
            toFollow.push_back(std::move(resource));
        }
    };
    for (const auto& [name, value] : element.attributesForXPath(".//@format | .//@ref")) {
        refs.append(value);
        meet(name, value);
    }
    while (!toFollow.empty()) {
        const std::shared_ptr<QVXMLElement> resource = std::move(toFollow.back());
        toFollow.pop_back();
        for (const auto& [name, value] : resource->attributesForXPath(".//@format | .//@ref")) {
            usedResourceIds.insert(value);
            meet(name, value);
        }
    }
    return refs;
}

std::shared_ptr<QVXMLElement> FCPXLibrary::getFormatElement(const QString& formatID) const
{
    std::shared_ptr<QVXMLElement> rootElement = root();
    return rootElement ? rootElement->firstElementForXPath("./resources/format[@id=$id]", {{"id", formatID}}) : nullptr;
}
