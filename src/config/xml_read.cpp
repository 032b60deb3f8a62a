// Reading a document: pugixml parses (keeping entity text raw, so our own unescaping decides
// what an attribute value is), the tree is copied into our model, and pugixml's parse status is
// turned into the messages users of the settings file see.
#include "config/xml_document.h"

#include "util/text.h"

#include <pugixml.hpp>

#include <algorithm>
#include <array>
#include <cctype>
#include <stdexcept>

namespace kestrava::config {

namespace {

// No entity or end-of-line conversion: values stay byte for byte as in the file.
constexpr unsigned kParseOptions = pugi::parse_cdata | pugi::parse_comments | pugi::parse_pi |
                                   pugi::parse_declaration | pugi::parse_doctype;

bool isNameChar(char c) {
    return c != '>' && c != '/' && c != '<' && c != ' ' && c != '\t' && c != '\r' && c != '\n';
}

std::string nameAt(std::string_view text, size_t pos) {
    size_t end = pos;
    while (end < text.size() && isNameChar(text[end]))
        ++end;
    return std::string(text.substr(pos, end - pos));
}

// End (one past ">") of the start or close tag at lt, skipping quoted attribute values.
size_t tagEnd(std::string_view text, size_t lt) {
    char quote = 0;
    for (size_t i = lt + 1; i < text.size(); ++i) {
        const char c = text[i];
        if (quote != 0) {
            quote = c == quote ? 0 : quote;
        } else if (c == '"' || c == '\'') {
            quote = c;
        } else if (c == '>') {
            return i + 1;
        }
    }
    return std::string_view::npos;
}

// End of "<!...>" markup, whose internal subset in brackets may hold ">" of its own.
size_t declarationEnd(std::string_view text, size_t lt) {
    int depth = 0;
    for (size_t i = lt + 2; i < text.size(); ++i) {
        if (text[i] == '[')
            ++depth;
        else if (text[i] == ']')
            --depth;
        else if (text[i] == '>' && depth <= 0)
            return i + 1;
    }
    return std::string_view::npos;
}

size_t afterMarker(std::string_view text, size_t from, std::string_view marker) {
    const size_t at = text.find(marker, from);
    return at == std::string_view::npos ? at : at + marker.size();
}

size_t markupEnd(std::string_view text, size_t lt) {
    const std::string_view rest = text.substr(lt);
    if (rest.starts_with("<!--"))
        return afterMarker(text, lt + 4, "-->");
    if (rest.starts_with("<![CDATA["))
        return afterMarker(text, lt + 9, "]]>");
    if (rest.starts_with("<?"))
        return afterMarker(text, lt + 2, "?>");
    if (rest.starts_with("<!"))
        return declarationEnd(text, lt);
    return tagEnd(text, lt);
}

// The elements still open at limit, outermost first, found by walking the complete markup
// before it. pugixml has accepted everything there, so this walk needs no checks of its own.
std::vector<std::string> openElements(std::string_view text, size_t limit) {
    std::vector<std::string> open;
    size_t pos = 0;
    for (;;) {
        const size_t lt = text.find('<', pos);
        if (lt == std::string_view::npos || lt >= limit)
            break;
        const size_t end = markupEnd(text, lt);
        if (end == std::string_view::npos || end > limit)
            break;
        const char kind = lt + 1 < text.size() ? text[lt + 1] : 0;
        if (kind == '/' && !open.empty())
            open.pop_back();
        else if (kind != '/' && kind != '!' && kind != '?' && text[end - 2] != '/')
            open.push_back(nameAt(text, lt + 1));
        pos = end;
    }
    return open;
}

std::string innermostElement(std::string_view text, size_t limit) {
    const std::vector<std::string> open = openElements(text, limit);
    return open.empty() ? std::string() : open.back();
}

std::string mismatchMessage(std::string_view text, size_t offset) {
    if (offset >= 2 && text.substr(offset - 2, 2) == "</") {
        std::string element = innermostElement(text, offset);
        if (element.empty()) // a close tag with no element open: name the tag itself
            element = nameAt(text, offset);
        return "Incorrect close tag in element " + element;
    }
    // The text ended inside an element.
    std::string_view trimmed = text;
    while (!trimmed.empty() && std::string_view(" \t\r\n").find(trimmed.back()) != trimmed.npos)
        trimmed.remove_suffix(1);
    const std::string element = innermostElement(text, text.size());
    if (trimmed.ends_with('<') || trimmed.ends_with("</"))
        return "Missing data after \"<\" in element " + element;
    return "Missing close tag in element " + element;
}

std::string positionText(std::string_view text, size_t offset) {
    const std::string_view before = text.substr(0, offset);
    const size_t line = 1 + static_cast<size_t>(std::count(before.begin(), before.end(), '\n'));
    const size_t lineStart = before.rfind('\n');
    const size_t column = lineStart == std::string_view::npos ? offset + 1 : offset - lineStart;
    return " at line " + std::to_string(line) + ", column " + std::to_string(column);
}

std::string parseErrorMessage(std::string_view text, const pugi::xml_parse_result& result) {
    const size_t offset =
        std::min(static_cast<size_t>(std::max<ptrdiff_t>(result.offset, 0)), text.size());
    switch (result.status) {
    case pugi::status_no_document_element:
        return "No root element found in xml";
    case pugi::status_end_element_mismatch:
        return mismatchMessage(text, offset);
    case pugi::status_bad_end_element:
        return "Missing \">\" in close tag of element " + innermostElement(text, offset);
    case pugi::status_unrecognized_tag:
        if (offset >= text.size())
            return "Missing data after \"<\" in element " + innermostElement(text, offset);
        return "Missing element name";
    default:
        // Malformed start tags, attributes, comments, ...: pugixml's own words and the place.
        return result.description() + positionText(text, offset);
    }
}

bool isSupportedEncoding(std::string_view declared) {
    const std::string encoding = util::asciiLower(declared);
    // pugixml decodes these (UTF-16 by its byte order mark, Latin-1 by the declaration).
    static constexpr std::array<std::string_view, 9> kSupported = {
        "", "utf-8", "utf8", "us-ascii", "ascii", "utf-16", "iso-8859-1", "latin1", "latin-1"};
    return std::find(kSupported.begin(), kSupported.end(), encoding) != kSupported.end();
}

void copyAttributes(const pugi::xml_node& from, XmlNode& to) {
    for (const pugi::xml_attribute& a : from.attributes())
        to.addRawAttribute(a.name(), a.value());
}

// pugixml accepts a declaration whose odd attribute name makes it read on past the first "?>"
// into a value; written back, that value would end the declaration early. Refused here, as a
// plain file with "?>" inside a declaration value is.
void requireClosedDeclaration(const XmlNode& declaration) {
    for (const auto& attribute : declaration.attributes()) {
        if (attribute.value.find("?>") != std::string::npos)
            throw std::runtime_error("Error parsing document declaration/processing instruction");
    }
}

bool holdsOnlyText(const pugi::xml_node& element) {
    for (const pugi::xml_node& child : element.children()) {
        if (child.type() != pugi::node_pcdata)
            return false;
    }
    return true;
}

// The copy below recurses once per level, so a hostile file nested thousands deep would run out
// of stack; no settings file comes near this.
constexpr int kMaxNesting = 256;

void copyChildren(const pugi::xml_node& from, XmlNode& to, int depth);

// Copies one parsed node below `to`. The pugixml kinds map onto ours one to one, except that an
// element holding only text keeps it as its value text.
void copyNode(const pugi::xml_node& from, XmlNode& to, int depth) {
    switch (from.type()) {
    case pugi::node_element: {
        XmlNode& element = to.nodeNew(from.name());
        copyAttributes(from, element);
        if (holdsOnlyText(from)) {
            std::string value;
            for (const pugi::xml_node& child : from.children())
                value += child.value();
            element.setValueText(value);
        } else {
            copyChildren(from, element, depth + 1);
        }
        break;
    }
    case pugi::node_declaration: {
        XmlNode& declaration = to.nodeAdd(XmlElementType::Declaration);
        declaration.setName(from.name());
        copyAttributes(from, declaration);
        requireClosedDeclaration(declaration);
        break;
    }
    case pugi::node_pi: {
        const std::string value = from.value();
        to.nodeAdd(XmlElementType::Instruction)
            .setValueText(std::string(from.name()) + (value.empty() ? "" : " " + value));
        break;
    }
    case pugi::node_pcdata:
        to.nodeAdd(XmlElementType::CharData).setValueText(from.value());
        break;
    case pugi::node_cdata:
        to.nodeAdd(XmlElementType::CData).setValueText(from.value());
        break;
    case pugi::node_comment:
        to.nodeAdd(XmlElementType::Comment).setValueText(from.value());
        break;
    case pugi::node_doctype:
        to.nodeAdd(XmlElementType::DocType).setValueText(from.value());
        break;
    default:
        break;
    }
}

void copyChildren(const pugi::xml_node& from, XmlNode& to, int depth) {
    if (depth > kMaxNesting)
        throw std::runtime_error("Elements nested more than " + std::to_string(kMaxNesting) +
                                 " levels deep");
    for (const pugi::xml_node& child : from.children())
        copyNode(child, to, depth);
}

} // namespace

void XmlDocument::loadFromString(std::string_view text) {
    clear();
    pugi::xml_document parsed;
    const pugi::xml_parse_result result =
        parsed.load_buffer(text.data(), text.size(), kParseOptions, pugi::encoding_auto);
    // The top level is copied below a holder node, then taken over as the document's nodes.
    XmlNode holder(XmlElementType::Element);
    copyChildren(parsed, holder, 0);
    for (size_t i = 0; i < holder.nodeCount(); ++i) {
        XmlNode& node = holder.nodes(i);
        if (node.elementType() == XmlElementType::Declaration &&
            !isSupportedEncoding(node.attributeByName("encoding")))
            throw std::runtime_error("Unsupported string encoding");
    }
    m_nodes = std::move(holder.m_nodes);
    if (!result)
        throw std::runtime_error(parseErrorMessage(text, result));
    if (root() == nullptr)
        throw std::runtime_error("No root element found in xml");
}

} // namespace kestrava::config
