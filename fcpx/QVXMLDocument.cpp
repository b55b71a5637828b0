// A library document parsed with pugixml, and its elements as shared records.
#include "fcpx/QVXMLDocument.h"

#include "platform/foundation/XmlText.h"

#include <algorithm>
#include <string_view>
#include <unordered_set>

namespace {

// Parsing keeps CDATA as it is, and the document type only to know that there was one; pugixml
// reads no DTD, so no entity of the document (internal or external) is ever expanded.
constexpr unsigned kParseOptions = pugi::parse_default | pugi::parse_doctype;

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

// One root element, no element more than kMaximumDepth levels below it, nothing XML forbids.
// Walked without recursion: the parser takes any depth.
bool isAcceptableTree(const pugi::xml_document& dom)
{
    int roots = 0;
    for (const pugi::xml_node& node : dom.children())
        roots += node.type() == pugi::node_element;
    if (roots != 1)
        return false;
    int depth = 0;
    for (pugi::xml_node at = dom.first_child(); at;) {
        if (at.type() == pugi::node_element && (depth > QVXMLDocument::kMaximumDepth || !isWellFormedElement(at)))
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

}  // namespace

std::shared_ptr<QVXMLDocument> QVXMLDocument::parse(const QString& text)
{
    std::shared_ptr<QVXMLDocument> document(new QVXMLDocument());
    QByteArray& bytes = document->source_;
    bytes = text.toUtf8();
    if (bytes.size() > kMaximumTextBytes)
        return nullptr;
    const pugi::xml_parse_result result =
        document->dom_.load_buffer_inplace(bytes.data(), static_cast<size_t>(bytes.size()), kParseOptions, pugi::encoding_utf8);
    if (!result || !isAcceptableTree(document->dom_))
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
