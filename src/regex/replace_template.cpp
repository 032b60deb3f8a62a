// Replacement templates: the token stream, its expansion per match, and Replace.
#include "internal/pattern_internals.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <functional>

namespace kestrava::regex {

namespace {

enum class TokenKind : uint8_t { Literal = 0, Group = 1, Custom = 2, End = 3 };

void putInt(std::string& stream, int32_t value) {
    char bytes[sizeof value];
    std::memcpy(bytes, &value, sizeof value);
    stream.append(bytes, sizeof value);
}

int32_t getInt(const std::string& stream, size_t& pos) {
    int32_t value = 0;
    std::memcpy(&value, stream.data() + pos, sizeof value);
    pos += sizeof value;
    return value;
}

// Builds the token stream of a template: literal runs, group numbers and custom-token indexes.
class Tokenizer {
  public:
    Tokenizer(const std::string& tmpl, const pcre2_code* code,
              std::function<int32_t(const std::string&)> customTokenIndex)
        : m_template(tmpl), m_code(code), m_captureCount(pcre_api::captureCount(code)),
          m_customTokenIndex(std::move(customTokenIndex)) {
        const auto dollars = std::count(tmpl.begin(), tmpl.end(), '$');
        m_stream.reserve(static_cast<size_t>(dollars) * 10 + tmpl.size() + 6);
    }

    // True with the stream built; false with the offset of the error.
    bool run(std::string& stream, int32_t& errorOffset) {
        while (m_pos < m_template.size()) {
            if (m_template[m_pos] != '$')
                copyLiteral();
            else if (!dollarToken())
                break;
        }
        if (m_errorOffset >= 0) {
            errorOffset = m_errorOffset;
            return false;
        }
        closeLiteral();
        m_stream.push_back(static_cast<char>(TokenKind::End));
        stream = std::move(m_stream);
        return true;
    }

  private:
    void literalByte(char c) {
        if (m_literalAt == std::string::npos) {
            m_stream.push_back(static_cast<char>(TokenKind::Literal));
            m_literalAt = m_stream.size();
            putInt(m_stream, 0);
        }
        m_stream.push_back(c);
    }

    void closeLiteral() {
        if (m_literalAt == std::string::npos)
            return;
        const auto length = static_cast<int32_t>(m_stream.size() - m_literalAt - sizeof(int32_t));
        std::memcpy(m_stream.data() + m_literalAt, &length, sizeof length);
        m_literalAt = std::string::npos;
    }

    void emit(TokenKind kind, int32_t value) {
        closeLiteral();
        m_stream.push_back(static_cast<char>(kind));
        putInt(m_stream, value);
    }

    // Copies up to the next '$'; a backslash takes the next character literally.
    void copyLiteral() {
        while (m_pos < m_template.size() && m_template[m_pos] != '$') {
            if (m_template[m_pos] == '\\' && m_pos + 1 < m_template.size())
                ++m_pos;
            literalByte(m_template[m_pos++]);
        }
    }

    bool fail(size_t offset) {
        m_errorOffset = static_cast<int32_t>(offset);
        return false;
    }

    bool dollarToken() {
        ++m_pos;
        if (m_pos == m_template.size()) {
            literalByte('$');
            return true;
        }
        const char next = m_template[m_pos];
        if (next >= '0' && next <= '9')
            return groupNumber();
        if (next == '<' || next == '{')
            return namedToken(next == '<' ? '>' : '}');
        literalByte('$'); // any other character is read normally next
        return true;
    }

    bool groupNumber() {
        int64_t number = 0;
        while (m_pos < m_template.size() && m_template[m_pos] >= '0' && m_template[m_pos] <= '9') {
            number =
                std::min<int64_t>(number * 10 + (m_template[m_pos] - '0'), int64_t{INT32_MAX} + 1);
            ++m_pos;
        }
        if (number > m_captureCount)
            return fail(m_pos);
        emit(TokenKind::Group, static_cast<int32_t>(number));
        return true;
    }

    bool namedToken(char close) {
        const size_t end = m_template.find(close, m_pos + 1);
        if (end == std::string::npos)
            return fail(m_template.size());
        const std::string name = m_template.substr(m_pos + 1, end - m_pos - 1);
        if (close == '>') {
            const int32_t group = pcre_api::namedGroupNumber(m_code, name);
            if (group == 0)
                return fail(end);
            emit(TokenKind::Group, group);
        } else {
            const int32_t index = m_customTokenIndex(name);
            if (index < 0)
                return fail(end);
            emit(TokenKind::Custom, index);
        }
        m_pos = end + 1;
        return true;
    }

    const std::string& m_template;
    const pcre2_code* m_code;
    int32_t m_captureCount;
    std::function<int32_t(const std::string&)> m_customTokenIndex;
    std::string m_stream;
    size_t m_pos = 0;
    size_t m_literalAt = std::string::npos;
    int32_t m_errorOffset = -1;
};

// "Invalid <kind> "<token>"" for the token in front of the error offset.
std::string describeInvalidToken(const std::string& tmpl, int32_t offset) {
    if (tmpl.size() < 2 || offset < 0 || static_cast<size_t>(offset) > tmpl.size())
        return {};
    auto i = static_cast<size_t>(offset); // 1-based position of the '$'
    while (i >= 1 && tmpl[i - 1] != '$')
        --i;
    if (i == 0)
        return {};
    const char next = i < tmpl.size() ? tmpl[i] : '\0';
    const char* kind = "Unknown Token";
    size_t length = static_cast<size_t>(offset) - i + 1;
    if (next >= '0' && next <= '9') {
        kind = "Capture Group";
    } else if (next == '<' || next == '{') {
        kind = next == '<' ? "Named Capture Group" : "Custom Token";
        ++length;
    }
    return std::string("Invalid ") + kind + " \"" + tmpl.substr(i - 1, length) + "\"";
}

// Grows the output by half again what is needed, so long runs of appends stay linear.
void appendGrowing(std::string& output, const char* bytes, size_t count) {
    const size_t needed = output.size() + count;
    if (needed > output.capacity())
        output.reserve((needed * 3 / 2 + 3) & ~size_t{3});
    output.append(bytes, count);
}

} // namespace

void PatternTable::replace(int32_t patternID, std::string_view target,
                           const std::string& replaceTemplate, int32_t maxReplacements,
                           int32_t startAt, std::string& output, const Replaced& replaced) {
    if (startAt < 1)
        raiseClassError(RegexErrorCode::StartAtTooSmall, RegexOperation::Replace, className(), 0,
                        {int64_t{startAt}});
    matchAndReplace(patternID, target.data(), output, static_cast<uint32_t>(startAt - 1),
                    maxReplacements, replaceTemplate, static_cast<uint32_t>(target.size()),
                    replaced);
}

void PatternTable::matchAndReplace(int32_t patternID, const char* target, std::string& output,
                                   uint32_t startOffset, int32_t maxReplacements,
                                   const std::string& replaceTemplate, uint32_t targetLength,
                                   const Replaced& replaced) {
    const EntryView entry = validatedEntry(patternID, RegexOperation::Match,
                                           RegexOperation::MatchAndReplace, true, false);
    if (startOffset > targetLength)
        raiseClassErrorCalling(RegexErrorCode::StartAtTooLarge, RegexOperation::Match,
                               RegexOperation::MatchAndReplace, className(), 0,
                               {int64_t{targetLength}, int64_t{startOffset}});
    output.clear();
    if (entry.compiled == nullptr) {
        output.assign(target, targetLength);
        return;
    }
    std::string tokens;
    int32_t errorOffset = 0;
    Tokenizer tokenizer(replaceTemplate, entry.compiled,
                        [this](const std::string& name) { return customTokenIndex(name); });
    if (!tokenizer.run(tokens, errorOffset))
        raiseClassErrorCalling(RegexErrorCode::ReplacementError, RegexOperation::Match,
                               RegexOperation::MatchAndReplace, className(), 0,
                               {replaceTemplate, int64_t{errorOffset},
                                describeInvalidToken(replaceTemplate, errorOffset)});
    // NOTEMPTY: an empty match has nothing to replace.
    uint32_t flags = m_defaultMatchFlags | pcre_api::kNotEmpty;
    std::vector<int> ovector(static_cast<size_t>(entry.captureCount + 1) * 3);
    uint32_t pos = startOffset;
    if (maxReplacements != 0) {
        output.reserve(targetLength);
        for (;;) {
            const int rc = pcre_api::search(entry.code(), target, targetLength, pos, flags,
                                            ovector.data(), static_cast<int>(ovector.size()));
            // A failed search must not pass for "no more matches": the output would be partial.
            if (rc < 0 && rc != PCRE2_ERROR_NOMATCH)
                raiseExecError(execResultError(rc), rc, RegexOperation::Match,
                               RegexOperation::MatchAndReplace, className());
            if (rc <= 0)
                break;
            appendGrowing(output, target + pos, static_cast<size_t>(ovector[0]) - pos);
            const size_t put = output.size();
            appendReplacement(tokens, entry, target, ovector.data(), rc, output);
            if (replaced)
                replaced(static_cast<uint32_t>(ovector[0]), static_cast<uint32_t>(ovector[1]),
                         std::string_view(output).substr(put));
            pos = static_cast<uint32_t>(ovector[1]);
            if (maxReplacements > 0 && --maxReplacements == 0)
                break;
            flags |= pcre_api::kNoUtf8Check;
        }
    }
    appendGrowing(output, target + pos, targetLength - pos);
}

void PatternTable::appendReplacement(const std::string& tokens, const EntryView& entry,
                                     const char* target, const int* ovector, int rc,
                                     std::string& output) {
    std::string replacement; // one per expansion, shared by its custom tokens
    size_t pos = 0;
    for (;;) {
        const auto kind = static_cast<TokenKind>(static_cast<uint8_t>(tokens[pos++]));
        if (kind > TokenKind::Custom)
            break;
        const int32_t value = getInt(tokens, pos);
        if (kind == TokenKind::Literal) {
            appendGrowing(output, tokens.data() + pos, static_cast<size_t>(value));
            pos += static_cast<size_t>(value);
        } else if (kind == TokenKind::Group) {
            if (value > entry.captureCount)
                raiseError(RegexErrorCode::GroupNumOutOfBounds, RegexOperation::AppendReplacement,
                           0, {int64_t{value}});
            if (value < rc) {
                const std::string_view text = groupText(target, ovector, value);
                appendGrowing(output, text.data(), text.size());
            }
        } else {
            if (value > static_cast<int32_t>(m_customTokenList.size()) - 1)
                raiseError(RegexErrorCode::CustomTokenIndex, RegexOperation::AppendReplacement, 0,
                           {int64_t{value}});
            if (!m_onReplaceCustomToken)
                raiseError(RegexErrorCode::CustomTokenUnassigned, RegexOperation::AppendReplacement,
                           0, {customTokenName(value)});
            m_onReplaceCustomToken(*this, value, replacement);
            appendGrowing(output, replacement.data(), replacement.size());
        }
    }
}

} // namespace kestrava::regex
