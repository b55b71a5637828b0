// Reading a library handed over by the editor: hostile and malformed text, asset data from
// bookmarks, events, and resource references.
#include "fcpx/FCPXLibrary.h"
#include "fcpx/QVXMLDocument.h"
#include "fcpx/tests/LibraryFixture.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace fcpx_test;

TEST(QVXMLDocument, RefusesTextThatIsNotAWholeDocument)
{
    const QString deep = QString("<a>").repeated(10000) + QString("</a>").repeated(9999);
    const QString cases[] = {
        "",
        "plain words, not a document",
        "<fcpxml><library></fcpxml>",
        "<?xml version=\"1.0\"?>",
        deep,
    };
    for (const QString& text : cases)
        EXPECT_FALSE(QVXMLDocument::parse(text)) << text.left(60).toStdString();
}

TEST(QVXMLDocument, NestingUpToTheLimitParsesAndQueries)
{
    const auto nested = [](int levels) {
        return QString("<a>").repeated(levels) + "<keyword value=\"QV Pending\">text</keyword>" + QString("</a>").repeated(levels);
    };
    std::shared_ptr<QVXMLDocument> document = parsed(nested(QVXMLDocument::kMaximumDepth));
    ASSERT_TRUE(document);
    EXPECT_EQ(document->rootElement()->elementsForXPath(".//keyword").size(), 1u);
    EXPECT_FALSE(QVXMLDocument::parse(nested(QVXMLDocument::kMaximumDepth + 1)));
    EXPECT_FALSE(QVXMLDocument::parse(nested(100000)));
}

// However deep a tree grows after parsing, it is written without recursion and no line is
// indented by more than the limit.
TEST(QVXMLDocument, AnyDepthIsWrittenWithBoundedIndentation)
{
    std::shared_ptr<QVXMLDocument> document = parsed("<fcpxml/>");
    ASSERT_TRUE(document);
    constexpr int kLevels = 50000;
    std::shared_ptr<QVXMLElement> at = document->rootElement();
    for (int level = 0; level < kLevels; ++level)
        at = at->insertChild("x", {}, nullptr);
    const QList<QByteArray> lines = document->prettyText().split('\n');
    // Declaration, root, an element a line down to the innermost and back, root, end.
    ASSERT_EQ(lines.size(), 2 * kLevels + 3);
    EXPECT_EQ(lines[1], "<fcpxml>");
    EXPECT_EQ(lines[5], QByteArray(4 * 4, ' ') + "<x>");
    const QByteArray deepest(4 * QVXMLDocument::kMaximumIndentLevel, ' ');
    EXPECT_EQ(lines[kLevels + 1], deepest + "<x/>");
    EXPECT_EQ(lines[kLevels + 2], deepest + "</x>");
    EXPECT_EQ(lines[2 * kLevels + 1], "</fcpxml>");
}

TEST(QVXMLDocument, EntitiesOfTheDocumentAreNeverExpanded)
{
    QTemporaryDir folder;
    const QString secret = writtenFile(folder.filePath("secret.txt"), "SECRET-CONTENT");
    const QString cases[] = {
        QStringLiteral("<!DOCTYPE fcpxml [<!ENTITY x SYSTEM \"file://%1\">]><fcpxml><library name=\"&x;\"/></fcpxml>")
            .arg(secret),
        "<!DOCTYPE fcpxml [<!ENTITY a \"aaaaaaaaaa\"><!ENTITY b \"&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;\">"
        "<!ENTITY c \"&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;\">]><fcpxml><library name=\"&c;\"/></fcpxml>",
    };
    for (const QString& text : cases) {
        std::shared_ptr<QVXMLDocument> document = QVXMLDocument::parse(text);
        if (!document)
            continue;
        std::shared_ptr<QVXMLElement> library = document->rootElement()->firstElementForXPath("./library");
        ASSERT_TRUE(library);
        const QString name = library->attributeText("name");
        EXPECT_FALSE(name.contains("SECRET")) << name.toStdString();
        EXPECT_LT(name.size(), 20);
    }
}

TEST(QVXMLDocument, TheSameNodeIsTheSameElement)
{
    std::shared_ptr<QVXMLDocument> document = parsed("<fcpxml><library><event><clip name=\"a\"/></event></library></fcpxml>");
    ASSERT_TRUE(document);
    auto viaQuery = document->rootElement()->firstElementForXPath("./library/event/clip");
    auto viaOtherQuery = document->rootElement()->firstElementForXPath(".//clip[@name='a']");
    EXPECT_EQ(viaQuery, viaOtherQuery);
}

class FCPXLibraryTest : public ::testing::Test {
public:
    QTemporaryDir folder;

    QString makeFile(const QString& name) { return writtenFile(folder.filePath(name), "x"); }
};

TEST_F(FCPXLibraryTest, AssetDataComesFromTheOriginalMediaBookmarkOnly)
{
    const QString present = makeFile("present.wav");
    const QString gone = folder.filePath("gone.wav");
    const QString proxy = makeFile("proxy.mov");
    const QString resources =
        QStringLiteral("<asset id=\"direct\" uid=\"U1\" start=\"10s\" duration=\"20s\" hasVideo=\"1\" format=\"r1\">"
                       "<bookmark>%1</bookmark></asset>")
            .arg(bookmarkText(present)) +
        assetXML("rep", present) + assetXML("offline", gone) +
        QStringLiteral("<asset id=\"proxyOnly\"><media-rep kind=\"proxy-media\"><bookmark>%1</bookmark></media-rep></asset>")
            .arg(bookmarkText(proxy)) +
        QStringLiteral("<asset id=\"srcOnly\" src=\"file://%1\"/>").arg(present) +
        "<asset id=\"garbled\"><bookmark>***not base64***</bookmark></asset>"
        "<asset id=\"q'uote\"><bookmark>AAAA</bookmark></asset>";
    FCPXLibrary library(parsed(libraryXML(resources, "")));

    std::optional<FCPXAssetData> direct = library.getDataFromAssetRef("direct");
    ASSERT_TRUE(direct);
    EXPECT_EQ(direct->url, QUrl::fromLocalFile(present));
    EXPECT_EQ(direct->uid, QString("U1"));
    EXPECT_EQ(direct->start, "10s");
    EXPECT_EQ(direct->duration, "20s");
    EXPECT_EQ(direct->format, "r1");
    EXPECT_TRUE(direct->hasVideo);
    EXPECT_TRUE(direct->mediaOnline);

    std::optional<FCPXAssetData> rep = library.getDataFromAssetRef("rep");
    ASSERT_TRUE(rep);
    EXPECT_EQ(rep->start, "0s");
    EXPECT_EQ(rep->duration, "");
    EXPECT_FALSE(rep->uid);
    EXPECT_FALSE(rep->hasVideo);

    std::optional<FCPXAssetData> offline = library.getDataFromAssetRef("offline");
    ASSERT_TRUE(offline);
    EXPECT_EQ(offline->url, QUrl::fromLocalFile(gone));
    EXPECT_FALSE(offline->mediaOnline);

    for (const char* id : {"proxyOnly", "srcOnly", "garbled", "q'uote", "missing", "direct' or @id='rep"})
        EXPECT_FALSE(library.getDataFromAssetRef(id)) << id;
}

TEST_F(FCPXLibraryTest, AssetRefsEventsAndSpines)
{
    FCPXLibrary library(parsed(libraryXML(
        "<media id=\"m1\" name=\"Compound\"><sequence><spine><clip name=\"inner\"><video ref=\"a2\"/></clip></spine></sequence></media>",
        "<clip name=\"byVideo\"><video ref=\"a1\"/><audio ref=\"a9\"/></clip><asset-clip name=\"own\" ref=\"a3\"/>"
        "<clip name=\"none\"/><ref-clip name=\"outer\" ref=\"m1\"><asset-clip name=\"nested\" ref=\"a4\"/></ref-clip>")));
    std::shared_ptr<QVXMLElement> root = library.root();
    auto clip = [&](const char* name) { return root->firstElementForXPath(".//*[@name=$n]", {{"n", name}}); };

    EXPECT_EQ(library.getAssetRefFromClip(*clip("byVideo")), QString("a1"));
    EXPECT_EQ(library.getAssetRefFromClip(*clip("own")), QString("a3"));
    EXPECT_FALSE(library.getAssetRefFromClip(*clip("none")));

    std::shared_ptr<QVXMLElement> media = library.getMediaElementFromCompoundOrMulticamClip(*clip("outer"));
    ASSERT_TRUE(media);
    EXPECT_EQ(media->attributeText("name"), "Compound");
    ASSERT_TRUE(library.getSpineElementFromMediaElement(*media));
    EXPECT_FALSE(library.getEventForClip(*clip("inner")));
    EXPECT_EQ(library.getEventNameForClip(*clip("nested")), QString("Day 1"));
}

TEST_F(FCPXLibraryTest, ResourceRefsFollowReferencedResourcesEvenInACycle)
{
    FCPXLibrary library(parsed(libraryXML(
        "<media id=\"m1\"><sequence format=\"r1\"><spine><ref-clip ref=\"m2\"/><clip><video ref=\"a1\"/></clip></spine></sequence></media>"
        "<media id=\"m2\"><sequence format=\"r2\"><spine><ref-clip ref=\"m1\"/></spine></sequence></media>"
        "<asset id=\"a1\" format=\"r3\"/>",
        "<ref-clip name=\"outer\" ref=\"m1\" format=\"r9\"/>")));
    std::shared_ptr<QVXMLElement> clip = library.root()->firstElementForXPath(".//event/ref-clip");
    QSet<QString> used;
    EXPECT_EQ(library.getAllResourceRefsFromElement(*clip, used), (QStringList{"m1", "r9"}));
    EXPECT_EQ(used, (QSet<QString>{"r1", "m2", "m1", "a1", "r2", "r3"}));
}

TEST(BookmarkResolver, ReadsTheTestEncodingAndAStoredFileURL)
{
    EXPECT_EQ(resolveBookmark(testBookmarkForPath("/media/a b.wav")), QUrl::fromLocalFile("/media/a b.wav"));
    const QByteArray stored = QByteArray("book", 4) + QByteArray("\0\x01", 2) + "file:///" + QByteArray("\0\x02", 2) +
                              "file:///Volumes/Media/take%201.mov" + QByteArray("\0", 1) + "rest";
    EXPECT_EQ(resolveBookmark(stored), QUrl("file:///Volumes/Media/take%201.mov"));
    for (const QByteArray& unresolvable : {QByteArray(), QByteArray("qv-bookmark:relative/path"), QByteArray("file:///"),
                                           QByteArray("\x00\x01\x02", 3)})
        EXPECT_FALSE(resolveBookmark(unresolvable)) << unresolvable.toHex().toStdString();
}
