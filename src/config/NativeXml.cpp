// The XML document model and its writer. Attribute values are kept escaped, as they stand in the
// file, so what was read is written back byte for byte.
#include "config/NativeXml.h"

#include "util/ldiFileIO.h"
#include "util/ldiText.h"

#include <array>
#include <charconv>
#include <stdexcept>
#include <utility>

namespace kes {

namespace {

struct TEntity {
    char Char;
    std::string_view Text;
};
// Ampersand first, so the other replacements are not escaped twice.
constexpr std::array<TEntity, 5> kEntities = {
    {{'&', "&amp;"}, {'<', "&lt;"}, {'>', "&gt;"}, {'\'', "&apos;"}, {'"', "&quot;"}}};

void AppendUtf8(uint32_t code, std::string& out) {
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
bool DecodeNumericReference(std::string_view body, std::string& out) {
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
    AppendUtf8(code, out);
    return true;
}

// Decodes one "&...;" sequence into out; false when it is not one we know.
bool DecodeEntity(std::string_view entity, std::string& out) {
    for (const auto& e : kEntities) {
        if (entity == e.Text) {
            out += e.Char;
            return true;
        }
    }
    if (entity.size() > 3 && entity[1] == '#')
        return DecodeNumericReference(entity.substr(2, entity.size() - 3), out);
    return false;
}

std::string AttributeText(const TUtf8XmlNode& node) {
    std::string text;
    for (const auto& a : node.Attributes()) {
        // Escaping removes double quotes; a value read from a single-quoted attribute may still
        // hold one, and then only single quotes keep it well-formed.
        const char quote = a.Value.find('"') == std::string::npos ? '"' : '\'';
        text += ' ' + a.Name + '=' + quote + a.Value + quote;
    }
    return text;
}

class TXmlWriter {
  public:
    explicit TXmlWriter(const TXmlOptions& options) : Options_(options) {}

    std::string Write(const std::vector<std::unique_ptr<TUtf8XmlNode>>& nodes) {
        const char* topBreak = Options_.XmlFormat == xfReadable ? "\r\n" : "\n";
        for (const auto& node : nodes) {
            WriteNode(*node, 0);
            Out_ += topBreak;
        }
        return std::move(Out_);
    }

  private:
    std::string Indent(int depth) const {
        std::string indent;
        if (Options_.XmlFormat == xfReadable) {
            for (int i = 0; i < depth; ++i)
                indent += Options_.IndentString;
        }
        return indent;
    }

    std::string_view InnerBreak() const {
        switch (Options_.XmlFormat) {
        case xfReadable:
            return "\r\n";
        case xfLfOnly:
            return "\n";
        default:
            return "";
        }
    }

    void WriteNode(const TUtf8XmlNode& node, int depth) {
        if (node.ElementType() != xeCharData)
            Out_ += Indent(depth);
        if (node.ElementType() == xeElement)
            WriteElement(node, depth);
        else
            Out_ += Markup(node);
    }

    void WriteElement(const TUtf8XmlNode& node, int depth) {
        const size_t count = node.NodeCount();
        const bool shortForm = node.ValueText().empty() && count == 0 && depth > 0;
        Out_ += '<' + node.Name() + AttributeText(node) + (shortForm ? "/>" : ">");
        Out_ += node.ValueText();
        if (count > 0)
            Out_ += InnerBreak();
        for (size_t i = 0; i < count; ++i) {
            const TUtf8XmlNode& child = node.Nodes(i);
            WriteNode(child, depth + 1);
            const bool nextIsText = i + 1 < count && node.Nodes(i + 1).ElementType() == xeCharData;
            if (child.ElementType() != xeCharData && !nextIsText)
                Out_ += InnerBreak();
        }
        if (shortForm)
            return;
        if (count > 0)
            Out_ += Indent(depth);
        Out_ += "</" + node.Name() + '>';
    }

    static std::string Markup(const TUtf8XmlNode& node) {
        const std::string& v = node.ValueText();
        switch (node.ElementType()) {
        case xeDeclaration:
            return "<?xml" + AttributeText(node) + "?>";
        case xeComment:
            return "<!--" + v + "-->";
        case xeCData:
            return "<![CDATA[" + v + "]]>";
        case xeDocType:
            return "<!DOCTYPE " + v + '>';
        case xeInstruction:
            return "<?" + v + "?>";
        case xeCharData:
            return v;
        default:
            throw std::runtime_error("Illegal element type");
        }
    }

    const TXmlOptions& Options_;
    std::string Out_;
};

} // namespace

std::string XmlEscape(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        bool replaced = false;
        for (const auto& e : kEntities) {
            if (c == e.Char) {
                out += e.Text;
                replaced = true;
                break;
            }
        }
        if (!replaced)
            out += c;
    }
    return out;
}

std::string XmlUnescape(std::string_view text) {
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
        if (!DecodeEntity(entity, out))
            out += entity;
        pos = semi + 1;
    }
    return out;
}

// ---- TUtf8XmlNode ----

void TUtf8XmlNode::SetName(std::string_view name) {
    if (name.find_first_of("\t\n\r ") != std::string_view::npos)
        throw std::runtime_error("Illegal character in node name \"" + std::string(name) + "\"");
    Name_ = name;
}

void TUtf8XmlNode::AddRawAttribute(std::string_view name, std::string_view escapedValue) {
    Attributes_.push_back({std::string(name), std::string(escapedValue)});
}

std::string TUtf8XmlNode::AttributeByName(std::string_view name) const {
    for (const auto& a : Attributes_) {
        if (SameTextAscii(a.Name, name))
            return XmlUnescape(a.Value);
    }
    return {};
}

void TUtf8XmlNode::WriteAttributeString(std::string_view name, std::string_view value) {
    std::string escaped = XmlEscape(value);
    for (auto& a : Attributes_) {
        if (SameTextAscii(a.Name, name)) {
            a.Value = std::move(escaped);
            return;
        }
    }
    AddRawAttribute(name, escaped);
}

void TUtf8XmlNode::WriteAttributeInteger(std::string_view name, int64_t value) {
    WriteAttributeString(name, std::to_string(value));
}

TUtf8XmlNode* TUtf8XmlNode::NodeByName(std::string_view name) const {
    // Letter case is ignored for ASCII only: names here are ASCII, and folding other scripts
    // would need a locale the core does not assume.
    for (const auto& node : Nodes_) {
        if (node->Type_ == xeElement && SameTextAscii(node->Name_, name))
            return node.get();
    }
    return nullptr;
}

TUtf8XmlNode& TUtf8XmlNode::NodeNew(std::string_view name) {
    auto node = std::make_unique<TUtf8XmlNode>(xeElement);
    node->SetName(name);
    Nodes_.push_back(std::move(node));
    return *Nodes_.back();
}

TUtf8XmlNode& TUtf8XmlNode::NodeAdd(TXmlElementType type) {
    Nodes_.push_back(std::make_unique<TUtf8XmlNode>(type));
    return *Nodes_.back();
}

// ---- TUtf8NativeXml ----

TUtf8NativeXml::TUtf8NativeXml() : TUtf8NativeXml(std::string_view{}) {}

TUtf8NativeXml::TUtf8NativeXml(std::string_view rootName) {
    TUtf8XmlNode& declaration = AddNode(xeDeclaration);
    declaration.SetName("xml");
    declaration.WriteAttributeString("version", "1.0");
    declaration.WriteAttributeString("encoding", "UTF-8");
    AddNode(xeElement).SetName(rootName);
}

void TUtf8NativeXml::Clear() {
    Nodes_.clear();
}

TUtf8XmlNode& TUtf8NativeXml::AddNode(TXmlElementType type) {
    Nodes_.push_back(std::make_unique<TUtf8XmlNode>(type));
    return *Nodes_.back();
}

TUtf8XmlNode* TUtf8NativeXml::Root() const {
    for (const auto& node : Nodes_) {
        if (node->ElementType() == xeElement)
            return node.get();
    }
    return nullptr;
}

std::string TUtf8NativeXml::WriteToString() const {
    return TXmlWriter(Options_).Write(Nodes_);
}

void TUtf8NativeXml::SaveToFile(const std::string& fileName) const {
    std::string error;
    if (!ldiTryWriteTextFile(fileName, WriteToString(), error))
        throw std::runtime_error(error);
}

} // namespace kes
