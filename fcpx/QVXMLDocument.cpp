// A library document parsed with pugixml, and its elements as shared records.
#include "fcpx/QVXMLDocument.h"

#include "platform/foundation/XmlText.h"

namespace {

// Parsing keeps CDATA and the document type as they are; pugixml reads no DTD, so no entity of
// the document (internal or external) is ever expanded.
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

std::shared_ptr<QVXMLDocument> QVXMLDocument::parse(const QString& text)
{
    const QByteArray bytes = text.toUtf8();
    if (bytes.size() > kMaximumTextBytes)
        return nullptr;
    std::shared_ptr<QVXMLDocument> document(new QVXMLDocument());
    const pugi::xml_parse_result result =
        document->dom_.load_buffer(bytes.constData(), static_cast<size_t>(bytes.size()), kParseOptions, pugi::encoding_utf8);
    if (!result || !document->dom_.document_element())
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

void writeNode(QString& out, const pugi::xml_node& node, int level, bool inline_)
{
    const QString indent = inline_ ? QString() : qv::xmlIndent(level);
    const QString newline = inline_ ? QString() : QStringLiteral("\n");
    switch (node.type()) {
    case pugi::node_pcdata:
        out += qv::xmlEscapeText(QString::fromUtf8(node.value()));
        return;
    case pugi::node_cdata:
        out += QLatin1String("<![CDATA[") + QString::fromUtf8(node.value()) + QLatin1String("]]>");
        return;
    case pugi::node_comment:
        out += indent + QLatin1String("<!--") + QString::fromUtf8(node.value()) + QLatin1String("-->") + newline;
        return;
    case pugi::node_element:
        break;
    default:
        return;
    }
    qv::XmlAttributes attributes;
    for (const pugi::xml_attribute& attribute : node.attributes())
        attributes.emplace_back(QString::fromUtf8(attribute.name()), QString::fromUtf8(attribute.value()));
    const QString name = QString::fromUtf8(node.name());
    out += indent + qv::xmlStartTag(name, attributes);
    if (!node.first_child()) {
        out += QLatin1String("/>") + newline;
        return;
    }
    const bool text = inline_ || holdsText(node);
    out += QLatin1Char('>');
    if (!text)
        out += QLatin1Char('\n');
    for (const pugi::xml_node& child : node.children())
        writeNode(out, child, level + 1, text);
    out += (text ? QString() : indent) + QLatin1String("</") + name + QLatin1Char('>') + newline;
}

}  // namespace

QByteArray QVXMLDocument::prettyText() const
{
    QString out = QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"no\"?>\n");
    for (const pugi::xml_node& node : dom_.children()) {
        if (node.type() == pugi::node_doctype)
            out += QLatin1String("<!DOCTYPE ") + QString::fromUtf8(node.value()) + QLatin1String(">\n");
        else if (node.type() == pugi::node_element || node.type() == pugi::node_comment)
            writeNode(out, node, 0, false);
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
