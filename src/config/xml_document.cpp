// The XML document model and its writer. Attribute values are kept escaped, as they stand in the
// file, so what was read is written back byte for byte.
#include "config/xml_document.h"

#include "util/text.h"

#include <array>
#include <charconv>
#include <stdexcept>
#include <utility>

namespace kestrava::config {

namespace {

struct Entity {
    char character;
    std::string_view text;
};
// Ampersand first, so the other replacements are not escaped twice.
constexpr std::array<Entity, 5> kEntities = {
    {{'&', "&amp;"}, {'<', "&lt;"}, {'>', "&gt;"}, {'\'', "&apos;"}, {'"', "&quot;"}}};

void appendUtf8(uint32_t code, std::string& out) {
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | (code >> 6));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += static_cast<char>(0xE0 | (code >> 12));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (code >> 18));
        out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

// Decodes the body of "&#...;" (without "&#" and ";"). False when it is no usable code point:
// NUL, a surrogate or past U+10FFFF would corrupt the text, so such a reference stays as written.
bool decodeNumericReference(std::string_view body, std::string& out) {
    int base = 10;
    if (!body.empty() && body.front() == 'x') {
        base = 16;
        body.remove_prefix(1);
    }
    uint32_t code = 0;
    const char* end = body.data() + body.size();
    auto [ptr, ec] = std::from_chars(body.data(), end, code, base);
    if (body.empty() || ec != std::errc() || ptr != end)
        return false;
    if (code == 0 || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
        return false;
    appendUtf8(code, out);
    return true;
}

// Decodes one "&...;" sequence into out; false when it is not one we know.
bool decodeEntity(std::string_view entity, std::string& out) {
    for (const auto& e : kEntities) {
        if (entity == e.text) {
            out += e.character;
            return true;
        }
    }
    if (entity.size() > 3 && entity[1] == '#')
        return decodeNumericReference(entity.substr(2, entity.size() - 3), out);
    return false;
}

std::string attributeText(const XmlNode& node) {
    std::string text;
    for (const auto& a : node.attributes()) {
        // Escaping removes double quotes; a value read from a single-quoted attribute may still
        // hold one, and then only single quotes keep it well-formed.
        const char quote = a.value.find('"') == std::string::npos ? '"' : '\'';
        text += ' ' + a.name + '=' + quote + a.value + quote;
    }
    return text;
}

class XmlWriter {
  public:
    explicit XmlWriter(const XmlOptions& options) : m_options(options) {}

    std::string write(const std::vector<std::unique_ptr<XmlNode>>& nodes) {
        const char* topBreak = m_options.xmlFormat == XmlFormat::Readable ? "\r\n" : "\n";
        for (const auto& node : nodes) {
            writeNode(*node, 0);
            m_out += topBreak;
        }
        return std::move(m_out);
    }

  private:
    std::string indent(int depth) const {
        std::string indent;
        if (m_options.xmlFormat == XmlFormat::Readable) {
            for (int i = 0; i < depth; ++i)
                indent += m_options.indentString;
        }
        return indent;
    }

    std::string_view innerBreak() const {
        switch (m_options.xmlFormat) {
        case XmlFormat::Readable:
            return "\r\n";
        case XmlFormat::LfOnly:
            return "\n";
        default:
            return "";
        }
    }

    void writeNode(const XmlNode& node, int depth) {
        if (node.elementType() != XmlElementType::CharData)
            m_out += indent(depth);
        if (node.elementType() == XmlElementType::Element)
            writeElement(node, depth);
        else
            m_out += markup(node);
    }

    void writeElement(const XmlNode& node, int depth) {
        const size_t count = node.nodeCount();
        const bool shortForm = node.valueText().empty() && count == 0 && depth > 0;
        m_out += '<' + node.name() + attributeText(node) + (shortForm ? "/>" : ">");
        m_out += node.valueText();
        if (count > 0)
            m_out += innerBreak();
        for (size_t i = 0; i < count; ++i) {
            const XmlNode& child = node.nodes(i);
            writeNode(child, depth + 1);
            const bool nextIsText =
                i + 1 < count && node.nodes(i + 1).elementType() == XmlElementType::CharData;
            if (child.elementType() != XmlElementType::CharData && !nextIsText)
                m_out += innerBreak();
        }
        if (shortForm)
            return;
        if (count > 0)
            m_out += indent(depth);
        m_out += "</" + node.name() + '>';
    }

    static std::string markup(const XmlNode& node) {
        const std::string& v = node.valueText();
        switch (node.elementType()) {
        case XmlElementType::Declaration:
            return "<?xml" + attributeText(node) + "?>";
        case XmlElementType::Comment:
            return "<!--" + v + "-->";
        case XmlElementType::CData:
            return "<![CDATA[" + v + "]]>";
        case XmlElementType::DocType:
            return "<!DOCTYPE " + v + '>';
        case XmlElementType::Instruction:
            return "<?" + v + "?>";
        case XmlElementType::CharData:
            return v;
        default:
            throw std::runtime_error("Illegal element type");
        }
    }

    const XmlOptions& m_options;
    std::string m_out;
};

} // namespace

std::string xmlEscape(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        bool replaced = false;
        for (const auto& e : kEntities) {
            if (c == e.character) {
                out += e.text;
                replaced = true;
                break;
            }
        }
        if (!replaced)
            out += c;
    }
    return out;
}

std::string xmlUnescape(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    size_t pos = 0;
    while (pos < text.size()) {
        const size_t amp = text.find('&', pos);
        const size_t semi = amp == std::string_view::npos ? amp : text.find(';', amp);
        if (semi == std::string_view::npos) {
            out += text.substr(pos);
            break;
        }
        out += text.substr(pos, amp - pos);
        const std::string_view entity = text.substr(amp, semi - amp + 1);
        if (!decodeEntity(entity, out))
            out += entity;
        pos = semi + 1;
    }
    return out;
}

// ---- XmlNode ----

void XmlNode::setName(std::string_view name) {
    if (name.find_first_of("\t\n\r ") != std::string_view::npos)
        throw std::runtime_error("Illegal character in node name \"" + std::string(name) + "\"");
    m_name = name;
}

void XmlNode::addRawAttribute(std::string_view name, std::string_view escapedValue) {
    m_attributes.push_back({std::string(name), std::string(escapedValue)});
}

std::string XmlNode::attributeByName(std::string_view name) const {
    for (const auto& a : m_attributes) {
        if (util::sameTextAscii(a.name, name))
            return xmlUnescape(a.value);
    }
    return {};
}

void XmlNode::writeAttributeString(std::string_view name, std::string_view value) {
    std::string escaped = xmlEscape(value);
    for (auto& a : m_attributes) {
        if (util::sameTextAscii(a.name, name)) {
            a.value = std::move(escaped);
            return;
        }
    }
    addRawAttribute(name, escaped);
}

void XmlNode::writeAttributeInteger(std::string_view name, int64_t value) {
    writeAttributeString(name, std::to_string(value));
}

XmlNode* XmlNode::nodeByName(std::string_view name) const {
    // Letter case is ignored for ASCII only: names here are ASCII, and folding other scripts
    // would need a locale the core does not assume.
    for (const auto& node : m_nodes) {
        if (node->m_type == XmlElementType::Element && util::sameTextAscii(node->m_name, name))
            return node.get();
    }
    return nullptr;
}

XmlNode& XmlNode::nodeNew(std::string_view name) {
    auto node = std::make_unique<XmlNode>(XmlElementType::Element);
    node->setName(name);
    m_nodes.push_back(std::move(node));
    return *m_nodes.back();
}

XmlNode& XmlNode::nodeAdd(XmlElementType type) {
    m_nodes.push_back(std::make_unique<XmlNode>(type));
    return *m_nodes.back();
}

// ---- XmlDocument ----

XmlDocument::XmlDocument() : XmlDocument(std::string_view{}) {}

XmlDocument::XmlDocument(std::string_view rootName) {
    XmlNode& declaration = addNode(XmlElementType::Declaration);
    declaration.setName("xml");
    declaration.writeAttributeString("version", "1.0");
    declaration.writeAttributeString("encoding", "UTF-8");
    addNode(XmlElementType::Element).setName(rootName);
}

void XmlDocument::clear() {
    m_nodes.clear();
}

XmlNode& XmlDocument::addNode(XmlElementType type) {
    m_nodes.push_back(std::make_unique<XmlNode>(type));
    return *m_nodes.back();
}

XmlNode* XmlDocument::root() const {
    for (const auto& node : m_nodes) {
        if (node->elementType() == XmlElementType::Element)
            return node.get();
    }
    return nullptr;
}

std::string XmlDocument::writeToString() const {
    return XmlWriter(m_options).write(m_nodes);
}

} // namespace kestrava::config
