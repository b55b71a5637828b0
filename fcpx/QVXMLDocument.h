// A library document handed over by the partner editor, parsed once and queried with XPath, and
// its elements as shared records: the same node always comes back as the same element while
// anyone holds it, so that sets of clips compare by identity. External entities are never read,
// no entity declared in the document is expanded and its document type is never written back.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <pugixml.hpp>

#include <map>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

class QVXMLElement;

// Values a query compares with, bound as XPath string variables ($id, $ref...), never pasted
// into the query text.
using XPathVariables = std::vector<std::pair<QString, QString>>;

class QVXMLDocument : public std::enable_shared_from_this<QVXMLDocument> {
public:
    // Texts larger than this are refused before parsing: 64 MiB, far above the largest library.
    static constexpr qsizetype kMaximumTextBytes = qsizetype(64) * 1024 * 1024;

    // An element more than this many levels below the root makes a text unreadable: far deeper
    // than any library the editor writes, as deep as XML readers commonly take by default, and
    // every walk of the tree stays shallow.
    static constexpr int kMaximumDepth = 256;
    // Lines are indented by at most this many levels, however deep they lie.
    static constexpr int kMaximumIndentLevel = 16;

    // The characters of a library's bytes: UTF-16 when they start with its byte-order mark,
    // else in the encoding their XML declaration names, UTF-8 when it names none. None when the
    // bytes are not in that encoding, the declaration contradicts the byte-order mark, or names
    // an encoding other than UTF-8, UTF-16 and ISO-8859-1: such a library could only be misread.
    static std::optional<QString> decodedText(const QByteArray& bytes);

    // The document of `text`, keeping CDATA sections; none when it is not well-formed XML, has
    // no root element or more than one, nests elements deeper than kMaximumDepth or is larger
    // than kMaximumTextBytes. What pugixml lets through but XML forbids is not well-formed
    // either: names that are not XML names, an attribute given twice, characters or character
    // references to characters XML does not allow, an XML declaration anywhere but at the very
    // start, more than one document type or one after the root, text outside the root. The
    // text is characters already: the encoding its declaration names is not looked at.
    // Comments are left out.
    static std::shared_ptr<QVXMLDocument> parse(const QString& text);

    QVXMLDocument(const QVXMLDocument&) = delete;
    QVXMLDocument& operator=(const QVXMLDocument&) = delete;

    std::shared_ptr<QVXMLElement> rootElement();
    // The document as UTF-8 text: declaration (standalone "no"), "<!DOCTYPE fcpxml>" when it has
    // a document type (never the declarations it held), then the tree indented by four spaces a
    // level up to kMaximumIndentLevel, empty elements in their compact form, the content of an
    // element that holds text kept on its line; one line break at the end.
    QByteArray prettyText() const;
    // The element record of `node`; null for a node that is not an element.
    std::shared_ptr<QVXMLElement> element(const pugi::xml_node& node);

    pugi::xml_document& dom() { return dom_; }

private:
    friend class QVXMLElement;
    QVXMLDocument() = default;
    // The records of `node` and the elements under it stop pointing at them before they go.
    void forget(const pugi::xml_node& node);

    // The UTF-8 text parsed, which holds the tree's names and values.
    QByteArray source_;
    pugi::xml_document dom_;
    std::map<pugi::xml_node_struct*, std::weak_ptr<QVXMLElement>> elements_;
};

class QVXMLElement {
public:
    QVXMLElement(std::shared_ptr<QVXMLDocument> document, pugi::xml_node node)
        : document_(std::move(document)), node_(node)
    {
    }

    QString name() const;
    bool hasAttribute(const char* name) const;
    // The attribute's text; none when absent.
    std::optional<QString> attribute(const char* name) const;
    // The attribute's text; empty when absent.
    QString attributeText(const char* name) const { return attribute(name).value_or(QString()); }
    void setAttribute(const char* name, const QString& value);
    // Takes the element out of its document; its record stays valid but belongs to no tree.
    void remove();
    // A new element named `name` with these attributes, in this order, inserted before
    // `before` (a child of this element) or appended when `before` is null.
    std::shared_ptr<QVXMLElement> insertChild(const char* name, const std::vector<std::pair<QString, QString>>& attributes,
                                              const QVXMLElement* before);
    // The text of the element and all its descendants.
    QString stringValue() const;
    // The parent element; null at the root.
    std::shared_ptr<QVXMLElement> parent() const;
    // The first child element named `name`; null when none.
    std::shared_ptr<QVXMLElement> firstChildElement(const char* name) const;

    // The elements a query selects from here, in document order; attributes the query selects
    // are left out. A query that does not compile or evaluate selects nothing.
    std::vector<std::shared_ptr<QVXMLElement>> elementsForXPath(const char* query, const XPathVariables& variables = {}) const;
    // The first of them; null when none.
    std::shared_ptr<QVXMLElement> firstElementForXPath(const char* query, const XPathVariables& variables = {}) const;
    // The attributes a query selects, as (name, value), in document order.
    std::vector<std::pair<QString, QString>> attributesForXPath(const char* query) const;

    const std::shared_ptr<QVXMLDocument>& document() const { return document_; }
    pugi::xml_node node() const { return node_; }

private:
    friend class QVXMLDocument;
    std::shared_ptr<QVXMLDocument> document_;
    pugi::xml_node node_;
};
