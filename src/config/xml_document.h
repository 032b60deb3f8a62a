// A small XML document model for the settings file: read through pugixml, written by our own
// writer so the text on disk is exactly ours (declaration, one element per line, two-space
// indentation, CR LF, short-form empty elements, every attribute in its order).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace kestrava::config {

// Node kinds the reader produces. Texts of the non-element kinds are kept as they were read.
enum class XmlElementType : uint8_t {
    Element,
    Comment,
    CData,
    Declaration,
    DocType,
    Instruction, // processing instruction, style-sheet declarations included
    CharData,
};

// How the document is laid out when written.
enum class XmlFormat : uint8_t {
    Readable = 0, // CR LF line breaks and indentation
    Compact = 1,  // no line breaks inside the root, no indentation
    LfOnly = 2,   // LF line breaks, no indentation
};

// How a document is written.
struct XmlOptions {
    XmlFormat xmlFormat = XmlFormat::Compact;
    std::string indentString = "  ";
};

// The five entities, in the order they are applied.
std::string xmlEscape(std::string_view text);
// Decodes the five entities and numeric references (&#65; &#x41;) into UTF-8; anything else that
// starts with "&" stays as written.
std::string xmlUnescape(std::string_view text);

// One attribute; Value is stored escaped, as it appears between the quotes.
struct XmlAttribute {
    std::string name;
    std::string value;
};

// One node of the tree; it owns its children.
class XmlNode {
  public:
    explicit XmlNode(XmlElementType type) : m_type(type) {}
    XmlNode(const XmlNode&) = delete;
    XmlNode& operator=(const XmlNode&) = delete;

    XmlElementType elementType() const { return m_type; }
    const std::string& name() const { return m_name; }
    // Raises "Illegal character in node name "<name>"" for a tab, LF, CR or space.
    void setName(std::string_view name);
    // Raw text inside the node (element value text, comment text, ...), written unchanged.
    const std::string& valueText() const { return m_value; }
    void setValueText(std::string_view value) { m_value = value; }

    const std::vector<XmlAttribute>& attributes() const { return m_attributes; }
    // Appends an attribute whose value is already escaped (the reader's path).
    void addRawAttribute(std::string_view name, std::string_view escapedValue);
    // The value of the first attribute named so (ASCII case ignored), unescaped; "" when none.
    std::string attributeByName(std::string_view name) const;
    // Sets the attribute, replacing the value of one of that name (ASCII case ignored), else
    // appending it. Every value is written, defaults and empty ones included.
    void writeAttributeString(std::string_view name, std::string_view value);
    void writeAttributeInteger(std::string_view name, int64_t value);

    size_t nodeCount() const { return m_nodes.size(); }
    XmlNode& nodes(size_t index) const { return *m_nodes[index]; }
    // The first child element whose name equals name without regard to letter case, or null.
    XmlNode* nodeByName(std::string_view name) const;
    // Appends a child element named name and returns it.
    XmlNode& nodeNew(std::string_view name);
    // Appends a child of any kind and returns it.
    XmlNode& nodeAdd(XmlElementType type);

  private:
    friend class XmlDocument; // the reader hands a parsed tree over wholesale

    XmlElementType m_type;
    std::string m_name;
    std::string m_value;
    std::vector<XmlAttribute> m_attributes;
    std::vector<std::unique_ptr<XmlNode>> m_nodes;
};

// The document: top-level nodes (declaration, root element, comments, ...) and the options.
class XmlDocument {
  public:
    // A new document: the declaration (version "1.0", encoding "UTF-8") and an empty root.
    XmlDocument();
    explicit XmlDocument(std::string_view rootName);

    // Replaces the content by the parse of the text. Raises std::runtime_error with the parse
    // error's message; the document then holds what was read before it.
    void loadFromString(std::string_view text);
    std::string writeToString() const;

    // The first top-level element, or null.
    XmlNode* root() const;
    size_t nodeCount() const { return m_nodes.size(); }
    XmlNode& nodes(size_t index) const { return *m_nodes[index]; }

    XmlFormat xmlFormat() const { return m_options.xmlFormat; }
    void setXmlFormat(XmlFormat format) { m_options.xmlFormat = format; }

  private:
    void clear();
    XmlNode& addNode(XmlElementType type);

    XmlOptions m_options;
    std::vector<std::unique_ptr<XmlNode>> m_nodes;
};

} // namespace kestrava::config
