// A library document parsed with pugixml, and its elements as shared records.
#include "fcpx/QVXMLDocument.h"

#include "platform/foundation/XmlText.h"

#include <QRegularExpression>
#include <QStringDecoder>

#include <algorithm>
#include <string_view>
#include <unordered_set>

namespace {

// Parsing keeps CDATA as it is, and the declaration, the document type and text outside the
// root (which a document parsed whole would drop unseen) to know where they stand; pugixml reads
// no DTD, so no entity of the document (internal or external) is ever expanded.
constexpr unsigned kParseOptions = pugi::parse_default | pugi::parse_doctype | pugi::parse_declaration | pugi::parse_fragment;

std::optional<pugi::xpath_node_set> select(const pugi::xml_node& node, const char* query, const XPathVariables& variables)
{
    pugi::xpath_variable_set set;
    for (const auto& [name, value] : variables)
        set.set(name.toUtf8().constData(), value.toUtf8().constData());
    try {
        pugi::xpath_query compiled(query, variables.empty() ? nullptr : &set);
        if (!compiled)
            return std::nullopt;
        return compiled.evaluate_node_set(node);
    } catch (const pugi::xpath_exception&) {
        return std::nullopt;
    }
}

}  // namespace

namespace {

// The next code point of UTF-8 text at `at`, which moves past it; none when the bytes are not
// UTF-8.
std::optional<char32_t> nextCodePoint(const char*& at)
{
    const auto lead = static_cast<unsigned char>(*at);
    const int length = lead < 0x80 ? 1 : (lead >> 5) == 0x6 ? 2 : (lead >> 4) == 0xe ? 3 : (lead >> 3) == 0x1e ? 4 : 0;
    if (length == 0)
        return std::nullopt;
    char32_t code = length == 1 ? lead : lead & (0x7f >> length);
    for (int i = 1; i < length; ++i) {
        const auto next = static_cast<unsigned char>(at[i]);
        if ((next & 0xc0) != 0x80)
            return std::nullopt;
        code = (code << 6) | (next & 0x3f);
    }
    at += length;
    return code;
}

bool isNameStartChar(char32_t c)
{
    return c == ':' || c == '_' || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= 0xc0 && c <= 0xd6) ||
           (c >= 0xd8 && c <= 0xf6) || (c >= 0xf8 && c <= 0x2ff) || (c >= 0x370 && c <= 0x37d) ||
           (c >= 0x37f && c <= 0x1fff) || (c >= 0x200c && c <= 0x200d) || (c >= 0x2070 && c <= 0x218f) ||
           (c >= 0x2c00 && c <= 0x2fef) || (c >= 0x3001 && c <= 0xd7ff) || (c >= 0xf900 && c <= 0xfdcf) ||
           (c >= 0xfdf0 && c <= 0xfffd) || (c >= 0x10000 && c <= 0xeffff);
}

bool isNameChar(char32_t c)
{
    return isNameStartChar(c) || c == '-' || c == '.' || (c >= '0' && c <= '9') || c == 0xb7 ||
           (c >= 0x300 && c <= 0x36f) || (c >= 0x203f && c <= 0x2040);
}

// pugixml takes any byte above ASCII into a name; the names written back must be XML names.
bool isXMLName(const char* name)
{
    if (!*name)
        return false;
    for (bool first = true; *name; first = false) {
        const std::optional<char32_t> c = nextCodePoint(name);
        if (!c || !(first ? isNameStartChar(*c) : isNameChar(*c)))
            return false;
    }
    return true;
}

// What pugixml lets through but XML forbids, and so could not be written back: a name that is
// not an XML name, an attribute given twice.
bool isWellFormedElement(const pugi::xml_node& element)
{
    if (!isXMLName(element.name()))
        return false;
    std::unordered_set<std::string_view> names;
    for (const pugi::xml_attribute& attribute : element.attributes())
        if (!isXMLName(attribute.name()) || !names.insert(attribute.name()).second)
            return false;
    return true;
}

// Calls `visit` with every node of the document in document order and its depth (0 for the
// document's children) until it returns false; false then. Walked without recursion: the parser
// takes any depth.
template <typename Visit>
bool everyNode(const pugi::xml_document& dom, Visit visit)
{
    int depth = 0;
    for (pugi::xml_node at = dom.first_child(); at;) {
        if (!visit(at, depth))
            return false;
        if (at.first_child()) {
            at = at.first_child();
            ++depth;
            continue;
        }
        while (at && !at.next_sibling()) {
            at = at.parent();
            --depth;
        }
        if (at)
            at = at.next_sibling();
    }
    return true;
}

// No element more than kMaximumDepth levels below the root, nothing XML forbids in one.
bool isAcceptableTree(const pugi::xml_document& dom)
{
    return everyNode(dom, [](const pugi::xml_node& node, int depth) {
        return node.type() != pugi::node_element || (depth <= QVXMLDocument::kMaximumDepth && isWellFormedElement(node));
    });
}

bool isXMLCharacter(char32_t c)
{
    return c == 0x9 || c == 0xa || c == 0xd || (c >= 0x20 && c <= 0xd7ff) || (c >= 0xe000 && c <= 0xfffd) ||
           (c >= 0x10000 && c <= 0x10ffff);
}

// A character XML allows nowhere: a control character other than tab and line breaks, U+FFFE,
// U+FFFF, a surrogate out of its pair. The writer would drop it unsaid.
bool holdsForbiddenCharacter(const QString& text)
{
    const qsizetype size = text.size();
    for (qsizetype i = 0; i < size; ++i) {
        const char16_t c = text[i].unicode();
        if (QChar::isHighSurrogate(c) && i + 1 < size && QChar::isLowSurrogate(text[i + 1].unicode()))
            ++i;
        else if (!isXMLCharacter(c))
            return true;
    }
    return false;
}

// Whether `text` holds a "&#" that does not start a reference to a character XML allows:
// decimal digits, or "x" and hexadecimal digits, then ";". pugixml would write any number it
// reads as a character, a zero cutting the text short.
bool holdsForbiddenReference(std::string_view text)
{
    for (std::size_t at = text.find("&#"); at != std::string_view::npos; at = text.find("&#", at + 2)) {
        std::size_t next = at + 2;
        const bool hexadecimal = next < text.size() && text[next] == 'x';
        next += hexadecimal;
        const std::size_t digits = next;
        // Held at the first number beyond the last character, however long the number goes on.
        char32_t code = 0;
        for (; next < text.size(); ++next) {
            const char c = text[next];
            const int digit = c >= '0' && c <= '9'                  ? c - '0'
                              : hexadecimal && c >= 'a' && c <= 'f' ? c - 'a' + 10
                              : hexadecimal && c >= 'A' && c <= 'F' ? c - 'A' + 10
                                                                    : -1;
            if (digit < 0)
                break;
            code = std::min<char32_t>(code * (hexadecimal ? 16 : 10) + char32_t(digit), 0x110000);
        }
        if (next == digits || next == text.size() || text[next] != ';' || !isXMLCharacter(code))
            return true;
    }
    return false;
}

// Whether text or an attribute value of `bytes` holds a forbidden character reference; in a
// CDATA section, a comment or a processing instruction the same is plain text. Most libraries
// hold none anywhere and are not parsed a second time.
bool holdsForbiddenReferenceInContent(const QByteArray& bytes)
{
    if (!holdsForbiddenReference(std::string_view(bytes.constData(), std::size_t(bytes.size()))))
        return false;
    pugi::xml_document unescaped;
    if (!unescaped.load_buffer(bytes.constData(), std::size_t(bytes.size()), kParseOptions & ~pugi::parse_escapes,
                               pugi::encoding_utf8))
        return true;
    return !everyNode(unescaped, [](const pugi::xml_node& node, int) {
        if (node.type() == pugi::node_pcdata)
            return !holdsForbiddenReference(node.value());
        for (const pugi::xml_attribute& attribute : node.attributes())
            if (holdsForbiddenReference(attribute.value()))
                return false;
        return true;
    });
}

// The declaration names the version first, then the encoding and whether the document stands
// alone when it says so, in that order, and nothing else.
bool isWellFormedDeclaration(const pugi::xml_node& declaration)
{
    const auto isVersion = [](std::string_view value) {
        return value.size() > 2 && value.substr(0, 2) == "1." &&
               std::all_of(value.begin() + 2, value.end(), [](char c) { return c >= '0' && c <= '9'; });
    };
    const auto isEncodingName = [](std::string_view value) {
        const auto letter = [](char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); };
        return !value.empty() && letter(value.front()) && std::all_of(value.begin(), value.end(), [&](char c) {
            return letter(c) || (c >= '0' && c <= '9') || c == '.' || c == '_' || c == '-';
        });
    };
    if (std::string_view(declaration.name()) != "xml")
        return false;
    pugi::xml_attribute attribute = declaration.first_attribute();
    if (!attribute || std::string_view(attribute.name()) != "version" || !isVersion(attribute.value()))
        return false;
    attribute = attribute.next_attribute();
    if (attribute && std::string_view(attribute.name()) == "encoding") {
        if (!isEncodingName(attribute.value()))
            return false;
        attribute = attribute.next_attribute();
    }
    if (attribute && std::string_view(attribute.name()) == "standalone") {
        if (std::string_view(attribute.value()) != "yes" && std::string_view(attribute.value()) != "no")
            return false;
        attribute = attribute.next_attribute();
    }
    return !attribute;
}

// Whether UTF-8 `bytes` start with an XML declaration, after a byte-order mark if any.
bool startsWithDeclaration(const QByteArray& bytes)
{
    const qsizetype at = bytes.startsWith("\xef\xbb\xbf") ? 3 : 0;
    return bytes.mid(at, 5) == "<?xml" && bytes.size() > at + 5 && QByteArrayView(" \t\r\n").contains(bytes[at + 5]);
}

// What stands beside the root: an XML declaration only at the very start (`declarationFirst`
// says whether the text starts with one), one document type at most and before the root, no
// other element, no text and no CDATA section (comments and processing instructions are not
// kept and may stand anywhere).
bool isAcceptableProlog(const pugi::xml_document& dom, bool declarationFirst)
{
    int roots = 0;
    int doctypes = 0;
    for (const pugi::xml_node& node : dom.children()) {
        switch (node.type()) {
        case pugi::node_element:
            ++roots;
            break;
        case pugi::node_doctype:
            if (roots > 0 || ++doctypes > 1)
                return false;
            break;
        case pugi::node_declaration:
            if (!declarationFirst || node != dom.first_child() || !isWellFormedDeclaration(node))
                return false;
            break;
        default:
            return false;
        }
    }
    return roots == 1;
}

// The encoding named by the XML declaration that `text` starts with; empty when it names none.
// A declaration naming it anywhere but after the version is not well-formed and is refused
// when the text is parsed.
QString declaredEncoding(const QString& text)
{
    static const QRegularExpression encoding(
        QStringLiteral(R"(^<\?xml\s+version\s*=\s*(["'])[^"']*\1\s+encoding\s*=\s*(["'])([^"']*)\2)"));
    const qsizetype end = text.startsWith(QLatin1String("<?xml")) ? text.indexOf(QLatin1String("?>")) : -1;
    return end < 0 ? QString() : encoding.match(text.left(end)).captured(3);
}

std::optional<QString> decoded(QStringConverter::Encoding encoding, QByteArrayView bytes)
{
    QStringDecoder decoder(encoding, QStringDecoder::Flag::Stateless | QStringDecoder::Flag::ConvertInitialBom);
    QString text = decoder(bytes);
    if (decoder.hasError())
        return std::nullopt;
    return text;
}

}  // namespace

std::optional<QString> QVXMLDocument::decodedText(const QByteArray& bytes)
{
    const auto encodingNamed = [](const QString& name) {
        return QStringConverter::encodingForName(name.toLatin1().constData());
    };
    const bool littleEndian = bytes.startsWith("\xff\xfe");
    if (littleEndian || bytes.startsWith("\xfe\xff")) {
        const QStringConverter::Encoding encoding = littleEndian ? QStringConverter::Utf16LE : QStringConverter::Utf16BE;
        std::optional<QString> text = bytes.size() % 2 == 0 ? decoded(encoding, QByteArrayView(bytes).sliced(2)) : std::nullopt;
        const QString name = text ? declaredEncoding(*text) : QString();
        if (!name.isEmpty() && encodingNamed(name) != QStringConverter::Utf16 && encodingNamed(name) != encoding)
            return std::nullopt;
        return text;
    }
    const bool utf8Mark = bytes.startsWith("\xef\xbb\xbf");
    const QByteArrayView body = QByteArrayView(bytes).sliced(utf8Mark ? 3 : 0);
    // The declaration is ASCII in every encoding read without a byte-order mark.
    const qsizetype end = body.startsWith("<?xml") ? body.indexOf("?>") : -1;
    const QString name = end < 0 ? QString() : declaredEncoding(QString::fromLatin1(body.first(end + 2)));
    if (name.isEmpty() || encodingNamed(name) == QStringConverter::Utf8)
        return decoded(QStringConverter::Utf8, body);
    if (!utf8Mark && encodingNamed(name) == QStringConverter::Latin1)
        return decoded(QStringConverter::Latin1, body);
    return std::nullopt;
}

std::shared_ptr<QVXMLDocument> QVXMLDocument::parse(const QString& text)
{
    std::shared_ptr<QVXMLDocument> document(new QVXMLDocument());
    QByteArray& bytes = document->source_;
    bytes = text.toUtf8();
    if (bytes.isEmpty() || bytes.size() > kMaximumTextBytes || holdsForbiddenCharacter(text) ||
        holdsForbiddenReferenceInContent(bytes))
        return nullptr;
    const bool declarationFirst = startsWithDeclaration(bytes);
    // The terminating zero is handed over too: parsing a fragment in place, pugixml would
    // otherwise lose the last character.
    const pugi::xml_parse_result result = document->dom_.load_buffer_inplace(
        bytes.data(), static_cast<size_t>(bytes.size()) + 1, kParseOptions, pugi::encoding_utf8);
    if (!result || !isAcceptableProlog(document->dom_, declarationFirst) || !isAcceptableTree(document->dom_))
        return nullptr;
    return document;
}

std::shared_ptr<QVXMLElement> QVXMLDocument::rootElement() { return element(dom_.document_element()); }

namespace {

bool holdsText(const pugi::xml_node& node)
{
    for (const pugi::xml_node& child : node.children())
        if (child.type() == pugi::node_pcdata || child.type() == pugi::node_cdata)
            return true;
    return false;
}

// Writes the tree under a child of the document without recursion. The content of an element
// that holds text is written inline: no line breaks, no indentation.
class TreeWriter {
public:
    explicit TreeWriter(QString& out) : out_(out), indentation_(4 * QVXMLDocument::kMaximumIndentLevel, QLatin1Char(' '))
    {
    }

    void write(const pugi::xml_node& top)
    {
        int level = 0;
        for (pugi::xml_node at = top;;) {
            if (open(at, level)) {
                at = at.first_child();
                ++level;
                continue;
            }
            while (at != top && !at.next_sibling()) {
                at = at.parent();
                close(at, --level);
            }
            if (at == top)
                return;
            at = at.next_sibling();
        }
    }

private:
    // Below the element whose text is being written.
    bool isInline(int level) const { return textLevel_ >= 0 && level > textLevel_; }

    void indent(int level)
    {
        out_ += QStringView(indentation_).left(4 * std::min(level, QVXMLDocument::kMaximumIndentLevel));
    }

    // Writes what comes before the node's children; true when it has children to write.
    bool open(const pugi::xml_node& node, int level)
    {
        const bool inline_ = isInline(level);
        switch (node.type()) {
        case pugi::node_pcdata:
            out_ += qv::xmlEscapeText(QString::fromUtf8(node.value()));
            return false;
        case pugi::node_cdata:
            out_ += QLatin1String("<![CDATA[") + QString::fromUtf8(node.value()) + QLatin1String("]]>");
            return false;
        case pugi::node_element:
            break;
        default:
            return false;
        }
        attributes_.clear();
        for (const pugi::xml_attribute& attribute : node.attributes())
            attributes_.emplace_back(QString::fromUtf8(attribute.name()), QString::fromUtf8(attribute.value()));
        if (!inline_)
            indent(level);
        out_ += qv::xmlStartTag(QString::fromUtf8(node.name()), attributes_);
        if (!node.first_child()) {
            out_ += inline_ ? QLatin1String("/>") : QLatin1String("/>\n");
            return false;
        }
        out_ += QLatin1Char('>');
        if (!inline_) {
            if (holdsText(node))
                textLevel_ = level;
            else
                out_ += QLatin1Char('\n');
        }
        return true;
    }

    // Writes the end tag of an element whose children were written.
    void close(const pugi::xml_node& element, int level)
    {
        if (isInline(level)) {
            out_ += QLatin1String("</") + QString::fromUtf8(element.name()) + QLatin1Char('>');
            return;
        }
        if (textLevel_ == level)
            textLevel_ = -1;
        else
            indent(level);
        out_ += QLatin1String("</") + QString::fromUtf8(element.name()) + QLatin1String(">\n");
    }

    QString& out_;
    const QString indentation_;
    qv::XmlAttributes attributes_;
    // The level of the element whose text is being written; -1 outside any.
    int textLevel_ = -1;
};

}  // namespace

QByteArray QVXMLDocument::prettyText() const
{
    QString out;
    // The text read back, with room for the indentation: a large library is not copied over and
    // over as it grows.
    out.reserve(source_.size() + source_.size() / 4 + 1024);
    out += QLatin1String("<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"no\"?>\n");
    TreeWriter writer(out);
    for (const pugi::xml_node& node : dom_.children()) {
        if (node.type() == pugi::node_doctype)
            out += QLatin1String("<!DOCTYPE fcpxml>\n");
        else if (node.type() == pugi::node_element)
            writer.write(node);
    }
    return out.toUtf8();
}

std::shared_ptr<QVXMLElement> QVXMLDocument::element(const pugi::xml_node& node)
{
    if (node.type() != pugi::node_element)
        return nullptr;
    std::weak_ptr<QVXMLElement>& slot = elements_[node.internal_object()];
    if (std::shared_ptr<QVXMLElement> existing = slot.lock())
        return existing;
    auto made = std::make_shared<QVXMLElement>(shared_from_this(), node);
    slot = made;
    return made;
}

QString QVXMLElement::name() const { return QString::fromUtf8(node_.name()); }

bool QVXMLElement::hasAttribute(const char* name) const { return !node_.attribute(name).empty(); }

std::optional<QString> QVXMLElement::attribute(const char* name) const
{
    const pugi::xml_attribute found = node_.attribute(name);
    if (found.empty())
        return std::nullopt;
    return QString::fromUtf8(found.value());
}

void QVXMLElement::setAttribute(const char* name, const QString& value)
{
    pugi::xml_attribute found = node_.attribute(name);
    if (found.empty())
        found = node_.append_attribute(name);
    found.set_value(value.toUtf8().constData());
}

void QVXMLDocument::forget(const pugi::xml_node& node)
{
    for (pugi::xml_node at = node; at;) {
        if (auto found = elements_.find(at.internal_object()); found != elements_.end()) {
            if (std::shared_ptr<QVXMLElement> record = found->second.lock())
                record->node_ = pugi::xml_node();
            elements_.erase(found);
        }
        if (at.first_child()) {
            at = at.first_child();
            continue;
        }
        while (at != node && !at.next_sibling())
            at = at.parent();
        at = at == node ? pugi::xml_node() : at.next_sibling();
    }
}

void QVXMLElement::remove()
{
    pugi::xml_node node = node_;
    pugi::xml_node parent = node.parent();
    if (!parent)
        return;
    document_->forget(node);
    parent.remove_child(node);
}

std::shared_ptr<QVXMLElement> QVXMLElement::insertChild(const char* name,
                                                        const std::vector<std::pair<QString, QString>>& attributes,
                                                        const QVXMLElement* before)
{
    pugi::xml_node made = before && before->node_.parent() == node_ ? node_.insert_child_before(name, before->node_)
                                                                      : node_.append_child(name);
    for (const auto& [key, value] : attributes)
        made.append_attribute(key.toUtf8().constData()).set_value(value.toUtf8().constData());
    return document_->element(made);
}

QString QVXMLElement::stringValue() const
{
    return QString::fromUtf8(pugi::xpath_query(".").evaluate_string(node_).c_str());
}

std::shared_ptr<QVXMLElement> QVXMLElement::parent() const { return document_->element(node_.parent()); }

std::shared_ptr<QVXMLElement> QVXMLElement::firstChildElement(const char* name) const
{
    return document_->element(node_.child(name));
}

std::vector<std::shared_ptr<QVXMLElement>> QVXMLElement::elementsForXPath(const char* query,
                                                                          const XPathVariables& variables) const
{
    std::vector<std::shared_ptr<QVXMLElement>> elements;
    std::optional<pugi::xpath_node_set> nodes = select(node_, query, variables);
    if (!nodes)
        return elements;
    nodes->sort();
    for (const pugi::xpath_node& node : *nodes)
        if (std::shared_ptr<QVXMLElement> element = document_->element(node.node()))
            elements.push_back(std::move(element));
    return elements;
}

std::shared_ptr<QVXMLElement> QVXMLElement::firstElementForXPath(const char* query, const XPathVariables& variables) const
{
    std::vector<std::shared_ptr<QVXMLElement>> elements = elementsForXPath(query, variables);
    return elements.empty() ? nullptr : elements.front();
}

std::vector<std::pair<QString, QString>> QVXMLElement::attributesForXPath(const char* query) const
{
    std::vector<std::pair<QString, QString>> attributes;
    std::optional<pugi::xpath_node_set> nodes = select(node_, query, {});
    if (!nodes)
        return attributes;
    nodes->sort();
    for (const pugi::xpath_node& node : *nodes)
        if (node.attribute())
            attributes.emplace_back(QString::fromUtf8(node.attribute().name()), QString::fromUtf8(node.attribute().value()));
    return attributes;
}
