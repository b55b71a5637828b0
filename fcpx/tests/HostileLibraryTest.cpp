// Libraries made to hurt the drop and the send-back: deep, wide, chained and looping
// references, declared entities and outside files, the largest text taken. A library is either
// refused with the drop's alert or goes back to the editor well-formed, differing from what was
// dropped only where the send-back means it to.
#include "fcpx/tests/LibraryDropFixture.h"

#include <QStringEncoder>

#include <pugixml.hpp>

#include <functional>

#include <string>
#include <string_view>

using namespace fcpx_test;

namespace {

constexpr unsigned kReadOptions = pugi::parse_default | pugi::parse_doctype;

std::string shown(std::string_view text) { return std::string(text.substr(0, 60)); }

std::string describe(const pugi::xml_node& node)
{
    return "node " + std::to_string(int(node.type())) + " <" + node.name() + "> \"" + shown(node.value()) + "\"";
}

// The first difference between two trees, node by node: kind, name, attributes in order and
// text; empty when there is none. Walked without recursion.
std::string firstDifference(const pugi::xml_node& expected, const pugi::xml_node& actual)
{
    pugi::xml_node a = expected;
    pugi::xml_node b = actual;
    for (int depth = 0;;) {
        if (a.type() != b.type() || std::string_view(a.name()) != b.name() || std::string_view(a.value()) != b.value())
            return describe(a) + " against " + describe(b);
        pugi::xml_attribute x = a.first_attribute();
        pugi::xml_attribute y = b.first_attribute();
        for (; x && y; x = x.next_attribute(), y = y.next_attribute())
            if (std::string_view(x.name()) != y.name() || std::string_view(x.value()) != y.value())
                return describe(a) + ": " + x.name() + "=\"" + shown(x.value()) + "\" against " + y.name() + "=\"" +
                       shown(y.value()) + "\"";
        if (x || y)
            return describe(a) + ": not the same number of attributes";
        if (a.first_child() || b.first_child()) {
            if (!a.first_child() || !b.first_child())
                return describe(a) + ": children on one side only";
            a = a.first_child();
            b = b.first_child();
            ++depth;
            continue;
        }
        while (depth > 0 && !a.next_sibling() && !b.next_sibling()) {
            a = a.parent();
            b = b.parent();
            --depth;
        }
        if (depth == 0)
            return {};
        if (!a.next_sibling() || !b.next_sibling())
            return describe(a) + ": the next node on one side only";
        a = a.next_sibling();
        b = b.next_sibling();
    }
}

// The dropped library as the send-back of its pending clips is meant to change it: its document
// type reduced to the name, "QV Pending" turned "QV Processing", the library's location named
// in import options ahead of every other element of the root.
void applyPendingSendBack(pugi::xml_document& dom)
{
    for (pugi::xml_node node : dom.children())
        if (node.type() == pugi::node_doctype)
            node.set_value("fcpxml");
    pugi::xml_node root = dom.document_element();
    while (pugi::xml_node earlier = root.child("import-options"))
        root.remove_child(earlier);
    for (pugi::xml_node event : root.child("library").children("event"))
        for (pugi::xml_node clip : event.children())
            for (pugi::xml_node keyword : clip.children("keyword")) {
                std::string value = keyword.attribute("value").value();
                for (std::size_t at; (at = value.find("QV Pending")) != std::string::npos;)
                    value.replace(at, 10, "QV Processing");
                keyword.attribute("value").set_value(value.c_str());
            }
    pugi::xml_node first = root.find_child([](const pugi::xml_node& node) { return node.type() == pugi::node_element; });
    pugi::xml_node options = root.insert_child_before("import-options", first);
    pugi::xml_node option = options.append_child("option");
    option.append_attribute("key").set_value("library location");
    option.append_attribute("value").set_value(root.child("library").attribute("location").value());
}

}  // namespace

class HostileLibraryTest : public LibraryDropTest {
public:
    QString tone = mediaPath("tone.wav");

    // A library of one clean pending clip (which goes to the pending list without a sheet),
    // with `resources` and `beside` (after the clip in its event) added.
    QString withOnePendingClip(const QString& resources = {}, const QString& beside = {})
    {
        return libraryXML(assetXML("a1", tone, "uid=\"UID-1\" format=\"r1\" duration=\"3s\"") + resources,
                          "<asset-clip name=\"Take\" ref=\"a1\" duration=\"3s\"><keyword start=\"0s\" value=\"QV "
                          "Pending\"/></asset-clip>" +
                              beside);
    }

    // Drops the library, takes its pending clips and sends it back as transcription starts:
    // the document handed to the editor, empty when none was.
    QByteArray sentBack(const QString& text)
    {
        return sentBackAfter([&] { dropText(text); });
    }

    QByteArray sentBackAfter(const std::function<void()>& dropLibrary)
    {
        added.clear();
        handedOff.clear();
        dropLibrary();
        if (added.empty())
            return {};
        sendBack.sendBackDroppedXML();
        main.drain();
        return handedOff.isEmpty() ? QByteArray() : handedOff.back();
    }

    // The document sent back is well-formed and, node by node, the dropped one with only the
    // send-back's changes.
    void expectOnlyTheIntendedChanges(const QString& dropped, const QByteArray& sent)
    {
        ASSERT_FALSE(sent.isEmpty());
        EXPECT_EQ(wellFormednessProblems(sent), "");
        const QByteArray droppedBytes = dropped.toUtf8();
        pugi::xml_document expected;
        ASSERT_TRUE(expected.load_buffer(droppedBytes.constData(), std::size_t(droppedBytes.size()), kReadOptions));
        applyPendingSendBack(expected);
        pugi::xml_document actual;
        ASSERT_TRUE(actual.load_buffer(sent.constData(), std::size_t(sent.size()), kReadOptions));
        EXPECT_EQ(firstDifference(expected, actual), "");
    }

    // The drop ended with the alert of a library that cannot be read, the only alert since
    // `alertsBefore` were shown.
    void expectRefused(const char* what, std::size_t alertsBefore)
    {
        ASSERT_EQ(modal.shownAlerts().size(), alertsBefore + 1) << what;
        EXPECT_EQ(modal.shownAlerts().back().messageText, "Library Import Error") << what;
        EXPECT_TRUE(modal.shownAlerts().back().informativeText.startsWith("Final Cut Pro X library could not be imported.")) << what;
        EXPECT_FALSE(ad.droppedXMLDoc) << what;
        EXPECT_TRUE(handedOff.isEmpty()) << what;
    }

    // Drops `library`, which is refused with the alert of an unreadable library or goes back
    // with only the send-back's changes.
    void expectRefusedOrSentBackIntact(const char* what, const QString& library, bool refused)
    {
        SCOPED_TRACE(what);
        const std::size_t alertsBefore = modal.shownAlerts().size();
        const QByteArray sent = sentBack(library);
        if (refused) {
            expectRefused(what, alertsBefore);
            return;
        }
        EXPECT_EQ(modal.shownAlerts().size(), alertsBefore);
        expectOnlyTheIntendedChanges(library, sent);
    }
};

namespace {

// A chain of media each naming the next: `count` of them, the last naming `last`.
QString mediaChain(int count, const QString& last)
{
    QString chain;
    chain.reserve(count * 90);
    for (int n = 0; n < count; ++n)
        chain += QStringLiteral("<media id=\"m%1\"><sequence><spine><ref-clip ref=\"%2\"/></spine></sequence></media>")
                     .arg(n)
                     .arg(n + 1 < count ? QStringLiteral("m%1").arg(n + 1) : last);
    return chain;
}

}  // namespace

TEST_F(HostileLibraryTest, TheDocumentTypeGoesBackAsItsNameAlone)
{
    QTemporaryDir outside;
    const QString url = QUrl::fromLocalFile(writtenFile(outside.filePath("secret.dtd"), "SECRET-FIRST-LINE\n")).toString();
    const QString doctypes[] = {
        QStringLiteral("<!DOCTYPE fcpxml SYSTEM \"%1\">").arg(url),
        QStringLiteral("<!DOCTYPE fcpxml PUBLIC \"-//Outside//DTD x//EN\" \"%1\">").arg(url),
        QStringLiteral("<!DOCTYPE fcpxml [<!ENTITY x SYSTEM \"%1\"><!ENTITY % p SYSTEM \"%1\"> %p;]>").arg(url),
    };
    for (const QString& doctype : doctypes) {
        SCOPED_TRACE(doctype.toStdString());
        const QString library = withOnePendingClip().replace("<!DOCTYPE fcpxml>", doctype);
        const QByteArray sent = sentBack(library);
        EXPECT_TRUE(sent.contains("?>\n<!DOCTYPE fcpxml>\n<fcpxml ")) << sent.left(200).toStdString();
        EXPECT_FALSE(sent.contains("secret.dtd"));
        EXPECT_FALSE(wellFormednessProblems(sent, {"--loaddtd"}).contains("SECRET"));
        expectOnlyTheIntendedChanges(library, sent);
    }
}

TEST_F(HostileLibraryTest, ImportOptionsComeBeforeTheFirstElementAfterText)
{
    const QString library = withOnePendingClip().replace("<fcpxml version=\"1.6\">", "<fcpxml version=\"1.6\">x");
    const QByteArray sent = sentBack(library);
    EXPECT_TRUE(sent.contains("<fcpxml version=\"1.6\">x<import-options><option key=\"library location\""))
        << sent.left(300).toStdString();
    expectOnlyTheIntendedChanges(library, sent);
}

TEST_F(HostileLibraryTest, AChainOfReferencesIsFollowedOnceAndALoopEnds)
{
    constexpr int kMedia = 10000;
    for (const QString& last : {QStringLiteral("nothing"), QStringLiteral("m0")}) {
        SCOPED_TRACE(last.toStdString());
        const QString library = libraryXML(mediaChain(kMedia, last), "<ref-clip name=\"Compound\" ref=\"m0\" format=\"r1\" duration=\"3s\">"
                                                                     "<keyword start=\"0s\" value=\"QV Pending\"/></ref-clip>");
        const QByteArray sent = sentBack(library);
        // Every media of the chain is used, so all of them go back.
        EXPECT_EQ(sent.count("<media id="), kMedia);
        expectOnlyTheIntendedChanges(library, sent);
    }
}

// Libraries generated to be as hostile as the drop lets them be, and a step beyond: each is
// refused with the alert of an unreadable library, or sent back intact.
TEST_F(HostileLibraryTest, HostileLibrariesAreRefusedOrSentBackIntact)
{
    const auto nested = [](int levels, const QString& inner = {}) {
        return QString("<x>").repeated(levels) + inner + QString("</x>").repeated(levels);
    };
    // Elements holding 8 MiB of text each (under the 10 MB a reader takes in one text) fill the
    // library to `total` bytes.
    const auto filledTo = [this](qsizetype total) -> QString {
        const QString piece = "<f>" + QString(8 * 1024 * 1024, QLatin1Char('w')) + "</f>";
        const qsizetype room = total - withOnePendingClip().toUtf8().size();
        QString filler;
        filler.reserve(room);
        while (filler.size() + piece.size() + 7 <= room)
            filler += piece;
        filler += "<f>" + QString(room - filler.size() - 7, QLatin1Char('w')) + "</f>";
        return withOnePendingClip({}, filler);
    };
    QString wide = "<w";
    for (int a = 0; a < 20000; ++a)
        wide += QStringLiteral(" a%1=\"%1\"").arg(a);
    wide += ">" + QStringLiteral("<w/>text&amp;<![CDATA[<cdata>]]><!-- note -->").repeated(20000) + "</w>";
    const QString laughs = "<!DOCTYPE fcpxml [<!ENTITY a \"aaaaaaaaaa\"><!ENTITY b \"&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;\">"
                           "<!ENTITY c \"&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;\"><!ENTITY % p \"<!ENTITY d '&c;'>\"> %p;"
                           "<!ENTITY e SYSTEM \"file:///etc/passwd\">]>";
    const struct {
        const char* what;
        QString library;
        bool refused;
    } cases[] = {
        // Deep: at the limit, one beyond it, and the depth that once overflowed the stack.
        {"deepest taken", withOnePendingClip().replace("</library>", "</library>" + nested(QVXMLDocument::kMaximumDepth, "t")), false},
        {"one too deep", withOnePendingClip().replace("</library>", "</library>" + nested(QVXMLDocument::kMaximumDepth + 1)), true},
        {"deep in the event", withOnePendingClip({}, nested(100000)), true},
        // Wide: many attributes on one element, many siblings of every kind.
        {"wide", withOnePendingClip().replace("</library>", "</library>" + wide), false},
        // Chained and looping references among resources (the long chains have a test of their own).
        {"chained", libraryXML(mediaChain(2000, "missing"), "<ref-clip name=\"Compound\" ref=\"m0\" format=\"r1\" duration=\"3s\">"
                                                        "<keyword start=\"0s\" value=\"QV Pending\"/></ref-clip>"), false},
        {"looping", withOnePendingClip("<media id=\"m1\"><sequence><spine><ref-clip ref=\"m1\"/><ref-clip ref=\"a1\"/>"
                                       "</spine></sequence></media>",
                                       "<ref-clip name=\"Self\" ref=\"m1\" duration=\"3s\"><keyword start=\"0s\" value=\"QV "
                                       "Pending\"/></ref-clip>"), false},
        // Entities declared, used, external and undeclared: none is expanded, nothing is read.
        {"entity-laden", withOnePendingClip().replace("<!DOCTYPE fcpxml>", laughs)
                             .replace("<library ", "<library note=\"&c;&d;&e;&nope;\" ")
                             .replace("</library>", "</library><t>&c;&e;&#x10FFFF;&lt;</t>"), false},
        // The largest text taken (a larger one is refused with the drop's other refusals).
        {"64 MiB", filledTo(QVXMLDocument::kMaximumTextBytes), false},
    };
    for (const auto& c : cases)
        expectRefusedOrSentBackIntact(c.what, c.library, c.refused);
}

// What stands beside the root and what references and characters name: whatever XML forbids is
// refused with the alert of an unreadable library, never sent back changed or broken; what XML
// allows, at its edges, goes back intact.
TEST_F(HostileLibraryTest, LibrariesThatAreNotWellFormedAreRefusedAndTheirNeighboursKept)
{
    const QString library = withOnePendingClip();
    const QString declaration = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>";
    const QString prolog = declaration + "\n<!DOCTYPE fcpxml>\n";
    ASSERT_TRUE(library.startsWith(prolog));
    const QString root = library.mid(prolog.size());
    // The clip's name, the library's text and the name of the library's event as `name`.
    const auto named = [&](const QString& name) {
        return QString(library).replace("name=\"Take\"", "name=\"" + name + "\"")
            .replace("</library>", "</library><t>" + name + "</t>");
    };
    const struct {
        const char* what;
        QString library;
        bool refused;
    } cases[] = {
        // The declaration only first, once, and in its own form.
        {"a line break before the declaration", "\n" + library, true},
        {"a comment before the declaration", "<!-- first -->" + library, true},
        {"the declaration twice", declaration + library, true},
        {"the declaration after the document type", "<!DOCTYPE fcpxml>\n" + declaration + root, true},
        {"a declaration after the root", library + declaration, true},
        {"a declaration without its version", QString(library).replace("version=\"1.0\" encoding", "encoding"), true},
        {"a declaration naming its encoding before its version",
         "<?xml encoding=\"UTF-8\" version=\"1.0\"?>\n<!DOCTYPE fcpxml>\n" + root, true},
        {"a declaration in capitals", QString(library).replace("<?xml ", "<?XML "), true},
        // One document type at most, before the root.
        {"the document type after the root", declaration + root + "<!DOCTYPE fcpxml>", true},
        {"the document type twice", prolog + "<!DOCTYPE fcpxml>\n" + root, true},
        {"a second document type after the root", library + "\n<!DOCTYPE other>\n", true},
        // Nothing but comments, processing instructions and blanks beside the root.
        {"text after the root", library + "trailing", true},
        {"text before the root", prolog + "leading" + root, true},
        {"a reference after the root", library + "&#32;", true},
        {"a CDATA section after the root", library + "<![CDATA[x]]>", true},
        // References to characters XML does not have, and numbers that are none.
        {"a reference to zero", named("Ta&#0;ke"), true},
        {"a reference to a control character", named("Ta&#1;ke"), true},
        {"a reference to a surrogate", named("Ta&#xD800;ke"), true},
        {"a reference past the last character", named("Ta&#x110000;ke"), true},
        {"a number too long for any character", named("Ta&#99999999999;ke"), true},
        {"a number that overflows back to a letter", named("Ta&#4294967361;ke"), true},
        {"a reference to U+FFFE", named("Ta&#xFFFE;ke"), true},
        {"a reference without digits", named("Ta&#;ke"), true},
        {"a reference without its semicolon", named("Ta&#65ke"), true},
        {"a reference with capital X", named("Ta&#X41;ke"), true},
        // The same characters written as themselves.
        {"a control character", named(QString("Ta") + QChar(0x1) + "ke"), true},
        {"a lone surrogate", named(QString("Ta") + QChar(0xdc00) + "ke"), true},
        {"U+FFFF", named(QString("Ta") + QChar(0xffff) + "ke"), true},
        // What XML allows: comments, processing instructions and blanks anywhere beside the root,
        // the declaration in its other forms or left out, references at the edges of the
        // characters, and forbidden references where they are plain text.
        {"comments and instructions beside the root",
         declaration + "\n<!-- before -->\n<?editor hint?>\n<!DOCTYPE fcpxml>\n<!-- between -->\n" + root +
             "\n<!-- after -->\n<?editor end?>\n",
         false},
        {"a declaration in single quotes, standing alone",
         "<?xml version='1.0' encoding='utf-8' standalone='yes'?><!DOCTYPE fcpxml>" + root, false},
        {"no declaration", library.mid(declaration.size() + 1), false},
        {"no document type", declaration + root, false},
        {"references at the edges of the characters",
         named("&#x9;&#xA;&#x20;&#xD7FF;&#xE000;&#xFFFD;&#x10000;&#x10FFFF;&#0000065;&#x0041;"), false},
        {"forbidden references as plain text",
         QString(library).replace("</library>", "</library><t><![CDATA[&#0; &#xD800;]]><!-- &#1; --><?editor &#0;?></t>"),
         false},
    };
    for (const auto& c : cases)
        expectRefusedOrSentBackIntact(c.what, c.library, c.refused);
}

// A library file in another encoding than UTF-8 is read in its own and goes back as UTF-8,
// declared so; one whose encoding is not read here, or whose bytes are not in the encoding it
// declares, is refused rather than misread.
TEST_F(HostileLibraryTest, LibrariesAreReadInTheirEncodingOrRefused)
{
    const QString utf8Declaration = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>";
    // The library whose clip is named `name`, declared in `encoding` (no encoding when empty).
    const auto library = [&](const QString& name, const QString& encoding) {
        const QString declaration = encoding.isEmpty() ? QString("<?xml version=\"1.0\"?>")
                                                       : "<?xml version=\"1.0\" encoding=\"" + encoding + "\"?>";
        return withOnePendingClip().replace(utf8Declaration, declaration).replace("name=\"Take\"", "name=\"" + name + "\"");
    };
    const auto encoded = [](QStringConverter::Encoding encoding, const QString& text, bool mark) {
        QStringEncoder encoder(encoding, mark ? QStringEncoder::Flag::WriteBom : QStringEncoder::Flag::Default);
        return QByteArray(encoder(text));
    };
    const QString cafe = QString::fromUtf8("Café Ω 𝄞");
    const QByteArray latin1 = library("Café", "ISO-8859-1").toLatin1();
    const QByteArray utf16 = encoded(QStringConverter::Utf16LE, library(cafe, "UTF-16"), true);
    const struct {
        const char* what;
        QByteArray bytes;
        // The clip's name as read; none when the library is refused.
        std::optional<QString> name;
    } cases[] = {
        {"UTF-8", library(cafe, "UTF-8").toUtf8(), cafe},
        {"UTF-8 with its mark", "\xef\xbb\xbf" + library(cafe, "utf-8").toUtf8(), cafe},
        {"UTF-8 not declared", library(cafe, "").toUtf8(), cafe},
        {"UTF-16 little-endian with its mark", utf16, cafe},
        {"UTF-16 big-endian with its mark, its encoding not declared",
         encoded(QStringConverter::Utf16BE, library(cafe, ""), true), cafe},
        {"UTF-16 with its mark, declared by its byte order", encoded(QStringConverter::Utf16BE, library(cafe, "UTF-16BE"), true),
         cafe},
        {"ISO-8859-1", latin1, "Café"},
        {"ISO-8859-1 under another of its names", library("Café", "latin1").toLatin1(), "Café"},
        // Bytes not in the encoding they declare, or declared twice over.
        {"ISO-8859-1 declared UTF-8", library("Café", "UTF-8").toLatin1(), std::nullopt},
        {"ISO-8859-1 not declared", library("Café", "").toLatin1(), std::nullopt},
        {"UTF-16 without its mark", encoded(QStringConverter::Utf16LE, library(cafe, "UTF-16"), false), std::nullopt},
        {"UTF-16 declared, UTF-8 written", library(cafe, "UTF-16").toUtf8(), std::nullopt},
        {"UTF-16 declared by the other byte order", encoded(QStringConverter::Utf16LE, library(cafe, "UTF-16BE"), true),
         std::nullopt},
        {"UTF-16 marked, ISO-8859-1 declared", encoded(QStringConverter::Utf16LE, library("Café", "ISO-8859-1"), true),
         std::nullopt},
        {"UTF-8 marked, ISO-8859-1 declared", "\xef\xbb\xbf" + latin1, std::nullopt},
        {"UTF-16 cut in the middle of a character", utf16 + "<", std::nullopt},
        // Encodings not read here.
        {"windows-1252", library("Café", "windows-1252").toLatin1(), std::nullopt},
        {"Shift_JIS", library("Take", "Shift_JIS").toLatin1(), std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const std::size_t alertsBefore = modal.shownAlerts().size();
        const QByteArray sent = sentBackAfter([&] { dropBytes(c.bytes); });
        if (!c.name) {
            expectRefused(c.what, alertsBefore);
            continue;
        }
        EXPECT_EQ(modal.shownAlerts().size(), alertsBefore);
        EXPECT_EQ(added.size(), 1u);
        if (added.size() == 1)
            EXPECT_EQ(added[0]->attributeText("name"), *c.name);
        EXPECT_TRUE(sent.startsWith("<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"no\"?>\n<!DOCTYPE fcpxml>\n"))
            << sent.left(100).toStdString();
        EXPECT_EQ(wellFormednessProblems(sent), "");
        EXPECT_TRUE(sent.contains("<asset-clip name=\"" + c.name->toUtf8() + "\"")) << sent.toStdString();
        EXPECT_TRUE(sent.contains("value=\"QV Processing\""));
    }
}
