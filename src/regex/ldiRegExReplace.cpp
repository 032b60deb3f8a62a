// Replacement templates: the token stream, its expansion per match, and Replace.
#include "regex/ldiRegExInternals.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <functional>

namespace kes {

namespace {

enum TTokenKind : uint8_t { tkLiteral = 0, tkGroup = 1, tkCustom = 2, tkEnd = 3 };

void PutInt(std::string& stream, int32_t value) {
    char bytes[sizeof value];
    std::memcpy(bytes, &value, sizeof value);
    stream.append(bytes, sizeof value);
}

int32_t GetInt(const std::string& stream, size_t& pos) {
    int32_t value = 0;
    std::memcpy(&value, stream.data() + pos, sizeof value);
    pos += sizeof value;
    return value;
}

// Builds the token stream of a template: literal runs, group numbers and custom-token indexes.
class TTokenizer {
  public:
    TTokenizer(const std::string& tmpl, const real_pcre* code,
               std::function<int32_t(const std::string&)> customTokenIndex)
        : fTemplate(tmpl), fCode(code), fCaptureCount(pcre_api::CaptureCount(code)),
          fCustomTokenIndex(std::move(customTokenIndex)) {
        const auto dollars = std::count(tmpl.begin(), tmpl.end(), '$');
        fStream.reserve(static_cast<size_t>(dollars) * 10 + tmpl.size() + 6);
    }

    // True with the stream built; false with the offset of the error.
    bool Run(std::string& stream, int32_t& errorOffset) {
        while (fPos < fTemplate.size()) {
            if (fTemplate[fPos] != '$')
                CopyLiteral();
            else if (!DollarToken())
                break;
        }
        if (fErrorOffset >= 0) {
            errorOffset = fErrorOffset;
            return false;
        }
        CloseLiteral();
        fStream.push_back(static_cast<char>(tkEnd));
        stream = std::move(fStream);
        return true;
    }

  private:
    void LiteralByte(char c) {
        if (fLiteralAt == std::string::npos) {
            fStream.push_back(static_cast<char>(tkLiteral));
            fLiteralAt = fStream.size();
            PutInt(fStream, 0);
        }
        fStream.push_back(c);
    }

    void CloseLiteral() {
        if (fLiteralAt == std::string::npos)
            return;
        const auto length = static_cast<int32_t>(fStream.size() - fLiteralAt - sizeof(int32_t));
        std::memcpy(fStream.data() + fLiteralAt, &length, sizeof length);
        fLiteralAt = std::string::npos;
    }

    void Emit(TTokenKind kind, int32_t value) {
        CloseLiteral();
        fStream.push_back(static_cast<char>(kind));
        PutInt(fStream, value);
    }

    // Copies up to the next '$'; a backslash takes the next character literally.
    void CopyLiteral() {
        while (fPos < fTemplate.size() && fTemplate[fPos] != '$') {
            if (fTemplate[fPos] == '\\' && fPos + 1 < fTemplate.size())
                ++fPos;
            LiteralByte(fTemplate[fPos++]);
        }
    }

    bool Fail(size_t offset) {
        fErrorOffset = static_cast<int32_t>(offset);
        return false;
    }

    bool DollarToken() {
        ++fPos;
        if (fPos == fTemplate.size()) {
            LiteralByte('$');
            return true;
        }
        const char next = fTemplate[fPos];
        if (next >= '0' && next <= '9')
            return GroupNumber();
        if (next == '<' || next == '{')
            return NamedToken(next == '<' ? '>' : '}');
        LiteralByte('$'); // any other character is read normally next
        return true;
    }

    bool GroupNumber() {
        int64_t number = 0;
        while (fPos < fTemplate.size() && fTemplate[fPos] >= '0' && fTemplate[fPos] <= '9') {
            number =
                std::min<int64_t>(number * 10 + (fTemplate[fPos] - '0'), int64_t{INT32_MAX} + 1);
            ++fPos;
        }
        if (number > fCaptureCount)
            return Fail(fPos);
        Emit(tkGroup, static_cast<int32_t>(number));
        return true;
    }

    bool NamedToken(char close) {
        const size_t end = fTemplate.find(close, fPos + 1);
        if (end == std::string::npos)
            return Fail(fTemplate.size());
        const std::string name = fTemplate.substr(fPos + 1, end - fPos - 1);
        if (close == '>') {
            const int32_t group = pcre_api::NamedGroupNumber(fCode, name);
            if (group == 0)
                return Fail(end);
            Emit(tkGroup, group);
        } else {
            const int32_t index = fCustomTokenIndex(name);
            if (index < 0)
                return Fail(end);
            Emit(tkCustom, index);
        }
        fPos = end + 1;
        return true;
    }

    const std::string& fTemplate;
    const real_pcre* fCode;
    int32_t fCaptureCount;
    std::function<int32_t(const std::string&)> fCustomTokenIndex;
    std::string fStream;
    size_t fPos = 0;
    size_t fLiteralAt = std::string::npos;
    int32_t fErrorOffset = -1;
};

// "Invalid <kind> "<token>"" for the token in front of the error offset.
std::string DescribeInvalidToken(const std::string& tmpl, int32_t offset) {
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
void AppendGrowing(std::string& output, const char* bytes, size_t count) {
    const size_t needed = output.size() + count;
    if (needed > output.capacity())
        output.reserve((needed * 3 / 2 + 3) & ~size_t{3});
    output.append(bytes, count);
}

} // namespace

void TldiRegExBase::Replace(int32_t patternID, const std::string& target,
                            const std::string& replaceTemplate, int32_t maxReplacements,
                            int32_t startAt, std::string& output) {
    if (startAt < 1)
        RaiseClassError(reStartAtTooSmall, rmReplace, ClassName(), 0, {int64_t{startAt}});
    MatchAndReplace(patternID, target.data(), output, static_cast<uint32_t>(startAt - 1),
                    maxReplacements, replaceTemplate, static_cast<uint32_t>(target.size()));
}

void TldiRegExBase::MatchAndReplace(int32_t patternID, const char* target, std::string& output,
                                    uint32_t startOffset, int32_t maxReplacements,
                                    const std::string& replaceTemplate, uint32_t targetLength) {
    const TEntryView entry = ValidatedEntry(patternID, rmMatch, rmMatchAndReplace, true, false);
    if (startOffset > targetLength)
        RaiseClassErrorCalling(reStartAtTooLarge, rmMatch, rmMatchAndReplace, ClassName(), 0,
                               {int64_t{targetLength}, int64_t{startOffset}});
    output.clear();
    if (entry.Compiled == nullptr) {
        output.assign(target, targetLength);
        return;
    }
    std::string tokens;
    int32_t errorOffset = 0;
    TTokenizer tokenizer(replaceTemplate, entry.Compiled,
                         [this](const std::string& name) { return CustomTokenIndex(name); });
    if (!tokenizer.Run(tokens, errorOffset))
        RaiseClassErrorCalling(reReplacementError, rmMatch, rmMatchAndReplace, ClassName(), 0,
                               {replaceTemplate, int64_t{errorOffset},
                                DescribeInvalidToken(replaceTemplate, errorOffset)});
    // NOTEMPTY: an empty match has nothing to replace.
    int32_t flags = fDefaultMatchFlags | pcre_api::kNotEmpty;
    std::vector<int> ovector(static_cast<size_t>(entry.CaptureCount + 1) * 3);
    uint32_t pos = startOffset;
    if (maxReplacements != 0) {
        output.reserve(targetLength);
        for (;;) {
            const int rc = pcre_api::Search(entry.Code(), target, targetLength, pos, flags,
                                            ovector.data(), static_cast<int>(ovector.size()));
            // A failed search must not pass for "no more matches": the output would be partial.
            if (rc < PCRE_ERROR_NOMATCH)
                RaiseExecError(ExecResultError(rc), rc, rmMatch, rmMatchAndReplace, ClassName());
            if (rc <= 0)
                break;
            AppendGrowing(output, target + pos, static_cast<size_t>(ovector[0]) - pos);
            AppendReplacement(tokens, entry, target, ovector.data(), rc, output);
            pos = static_cast<uint32_t>(ovector[1]);
            if (maxReplacements > 0 && --maxReplacements == 0)
                break;
            flags |= pcre_api::kNoUtf8Check;
        }
    }
    AppendGrowing(output, target + pos, targetLength - pos);
}

void TldiRegExBase::AppendReplacement(const std::string& tokens, const TEntryView& entry,
                                      const char* target, const int* ovector, int rc,
                                      std::string& output) {
    std::string replacement; // one per expansion, shared by its custom tokens
    size_t pos = 0;
    for (;;) {
        const auto kind = static_cast<uint8_t>(tokens[pos++]);
        if (kind > tkCustom)
            break;
        const int32_t value = GetInt(tokens, pos);
        if (kind == tkLiteral) {
            AppendGrowing(output, tokens.data() + pos, static_cast<size_t>(value));
            pos += static_cast<size_t>(value);
        } else if (kind == tkGroup) {
            if (value > entry.CaptureCount)
                RaiseError(reGroupNumOutOfBounds, rmAppendReplacement, 0, {int64_t{value}});
            if (value < rc) {
                const std::string_view text = GroupText(target, ovector, value);
                AppendGrowing(output, text.data(), text.size());
            }
        } else {
            if (value > static_cast<int32_t>(fCustomTokenList.size()) - 1)
                RaiseError(reCustomTokenIndex, rmAppendReplacement, 0, {int64_t{value}});
            if (!fOnReplaceCustomToken)
                RaiseError(reCustomTokenUnassigned, rmAppendReplacement, 0,
                           {CustomTokenName(value)});
            fOnReplaceCustomToken(*this, value, replacement);
            AppendGrowing(output, replacement.data(), replacement.size());
        }
    }
}

} // namespace kes
