// A small XML document model for the settings file: read through pugixml, written by our own
// writer so the text on disk is exactly ours (declaration, one element per line, two-space
// indentation, CR LF, short-form empty elements, every attribute in its order).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace kes {

// Node kinds the reader produces. Texts of the non-element kinds are kept as they were read.
enum TXmlElementType : uint8_t {
    xeElement,
    xeComment,
    xeCData,
    xeDeclaration,
    xeDocType,
    xeInstruction, // processing instruction, style-sheet declarations included
    xeCharData,
};

// How the document is laid out when written.
enum TXmlFormat : uint8_t {
    xfReadable = 0, // CR LF line breaks and indentation
    xfCompact = 1,  // no line breaks inside the root, no indentation
    xfLfOnly = 2,   // LF line breaks, no indentation
};

// How a document is written.
struct TXmlOptions {
    TXmlFormat XmlFormat = xfCompact;
    std::string IndentString = "  ";
};

// The five entities, in the order they are applied.
std::string XmlEscape(std::string_view text);
// Decodes the five entities and numeric references (&#65; &#x41;) into UTF-8; anything else that
// starts with "&" stays as written.
std::string XmlUnescape(std::string_view text);

// One attribute; Value is stored escaped, as it appears between the quotes.
struct TXmlAttribute {
    std::string Name;
    std::string Value;
};

// One node of the tree; it owns its children.
class TUtf8XmlNode {
  public:
    explicit TUtf8XmlNode(TXmlElementType type) : Type_(type) {}
    TUtf8XmlNode(const TUtf8XmlNode&) = delete;
    TUtf8XmlNode& operator=(const TUtf8XmlNode&) = delete;

    TXmlElementType ElementType() const { return Type_; }
    const std::string& Name() const { return Name_; }
    // Raises "Illegal character in node name "<name>"" for a tab, LF, CR or space.
    void SetName(std::string_view name);
    // Raw text inside the node (element value text, comment text, ...), written unchanged.
    const std::string& ValueText() const { return Value_; }
    void SetValueText(std::string_view value) { Value_ = value; }

    const std::vector<TXmlAttribute>& Attributes() const { return Attributes_; }
    // Appends an attribute whose value is already escaped (the reader's path).
    void AddRawAttribute(std::string_view name, std::string_view escapedValue);
    // The value of the first attribute named so (ASCII case ignored), unescaped; "" when none.
    std::string AttributeByName(std::string_view name) const;
    // Sets the attribute, replacing the value of one of that name (ASCII case ignored), else
    // appending it. Every value is written, defaults and empty ones included.
    void WriteAttributeString(std::string_view name, std::string_view value);
    void WriteAttributeInteger(std::string_view name, int64_t value);

    size_t NodeCount() const { return Nodes_.size(); }
    TUtf8XmlNode& Nodes(size_t index) const { return *Nodes_[index]; }
    // The first child element whose name equals name without regard to letter case, or null.
    TUtf8XmlNode* NodeByName(std::string_view name) const;
    // Appends a child element named name and returns it.
    TUtf8XmlNode& NodeNew(std::string_view name);
    // Appends a child of any kind and returns it.
    TUtf8XmlNode& NodeAdd(TXmlElementType type);

  private:
    friend class TUtf8NativeXml; // the reader hands a parsed tree over wholesale

    TXmlElementType Type_;
    std::string Name_;
    std::string Value_;
    std::vector<TXmlAttribute> Attributes_;
    std::vector<std::unique_ptr<TUtf8XmlNode>> Nodes_;
};

// The document: top-level nodes (declaration, root element, comments, ...) and the options.
class TUtf8NativeXml {
  public:
    // A new document: the declaration (version "1.0", encoding "UTF-8") and an empty root.
    TUtf8NativeXml();
    explicit TUtf8NativeXml(std::string_view rootName);

    // Replaces the content by the parse of the file. Raises std::runtime_error with the parse
    // error's message (or the read error); the document then holds what was read before it.
    void LoadFromFile(const std::string& fileName);
    void LoadFromString(std::string_view text);
    // Writes the document, replacing the file atomically; raises std::runtime_error on failure.
    void SaveToFile(const std::string& fileName) const;
    std::string WriteToString() const;

    // The first top-level element, or null.
    TUtf8XmlNode* Root() const;
    size_t NodeCount() const { return Nodes_.size(); }
    TUtf8XmlNode& Nodes(size_t index) const { return *Nodes_[index]; }

    TXmlFormat XmlFormat() const { return Options_.XmlFormat; }
    void SetXmlFormat(TXmlFormat format) { Options_.XmlFormat = format; }

  private:
    void Clear();
    TUtf8XmlNode& AddNode(TXmlElementType type);

    TXmlOptions Options_;
    std::vector<std::unique_ptr<TUtf8XmlNode>> Nodes_;
};

} // namespace kes
