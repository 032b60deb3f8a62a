// Matching: one match, every match of a text, splitting, and the unit-level conveniences.
#include "regex/ldiRegExInternals.h"

#include <algorithm>
#include <cstring>

namespace kes {

TRegExError ExecResultError(int rc) {
    switch (rc) {
    case PCRE_ERROR_NOMATCH:
        return reMatchNotFound;
    case PCRE_ERROR_NULL:
        return reNullPatternOrTarget;
    case PCRE_ERROR_BADOPTION:
        return reBadMatchOption;
    case PCRE_ERROR_BADMAGIC:
        return reBadPatternCode;
    case PCRE_ERROR_UNKNOWN_OPCODE:
        return reUnknownPatternItem;
    case PCRE_ERROR_NOMEMORY:
        return reOutOfMemory;
    // The recursion limit is the same kind of backtracking limit, so it gets the same message.
    case PCRE_ERROR_MATCHLIMIT:
    case PCRE_ERROR_RECURSIONLIMIT:
        return reMatchLimit;
    case PCRE_ERROR_BADUTF8:
        return reBadUtf8;
    default:
        return rc >= 0 ? reNone : reUnknownExecResult;
    }
}

void RaiseExecError(TRegExError code, int rc, TRegExMethod method, TRegExMethod called,
                    const std::string& className) {
    const int64_t value = code == reUnknownExecResult ? rc : 0;
    if (className.empty())
        RaiseErrorCalling(code, method, called, 0, {value});
    RaiseClassErrorCalling(code, method, called, className, 0, {value});
}

namespace {

void StoreExecResult(int rc, const char* target, uint32_t length, int32_t flags,
                     int32_t captureCount, TMatchResult& result) {
    result.Matched = rc >= 0;
    result.Target = result.Matched ? target : nullptr;
    result.TargetLength = result.Matched ? length : 0;
    result.MatchOptions = result.Matched ? flags : 0;
    result.GroupCount = result.Matched ? captureCount + 1 : 0;
    result.ErrorCode = ExecResultError(rc);
}

// The library leaves the pairs of trailing groups that did not take part untouched.
void MarkUnsetGroups(int rc, int32_t groupCount, TGroupStartEndArray& offsets) {
    if (rc <= 0)
        return; // no match, or every pair the vector holds was filled
    for (auto i = static_cast<size_t>(std::max(rc, 0)) * 2;
         i < static_cast<size_t>(groupCount) * 2 && i < offsets.size(); ++i)
        offsets[i] = -1;
}

uint32_t NextCharacter(const char* target, uint32_t length, uint32_t pos, bool utf8) {
    ++pos;
    while (utf8 && pos < length && (static_cast<unsigned char>(target[pos]) & 0xC0) == 0x80)
        ++pos;
    return pos;
}

// One match of a throw-away pattern; errors other than "no match" are raised.
bool GetMatchStatic(const real_pcre* code, const pcre_extra* extra, const char* target,
                    TMatchResult& result, TRegExMethod callingMethod, int32_t flags,
                    uint32_t startOffset, uint32_t length) {
    if (code == nullptr)
        RaiseErrorCalling(reCompiledPatternNil, callingMethod, rmGetMatchStatic, -1, {});
    if (startOffset > length)
        RaiseErrorCalling(reStartAtTooLarge, callingMethod, rmGetMatchStatic, -1,
                          {int64_t{length}, int64_t{startOffset}});
    const int32_t captureCount = pcre_api::CaptureCount(code);
    result.GroupStartEnd.assign(static_cast<size_t>(captureCount + 1) * 3, 0);
    const int rc =
        pcre_api::Exec(code, extra, target, length, startOffset, flags, result.GroupStartEnd.data(),
                       static_cast<int>(result.GroupStartEnd.size()));
    StoreExecResult(rc, target, length, flags, captureCount, result);
    MarkUnsetGroups(rc, result.GroupCount, result.GroupStartEnd);
    result.PatternID = -1;
    result.MatchPatternID = 0;
    if (result.ErrorCode != reNone && result.ErrorCode != reMatchNotFound) {
        const TRegExError code35 = result.ErrorCode;
        ClearMatchResult(result);
        RaiseExecError(code35, rc, callingMethod, rmGetMatchStatic, "");
    }
    return result.Matched;
}

[[noreturn]] void RaiseStatus(const TPatternStatus& status, TRegExMethod method, int32_t id) {
    RaiseError(status.StatusCode, method, id, {status.ErrorText, int64_t{status.ErrorOffset}});
}

} // namespace

TldiRegExBase::TEntryView TldiRegExBase::ValidatedEntry(int32_t patternID, TRegExMethod method,
                                                        TRegExMethod called, bool withClass,
                                                        bool requireCompiled) const {
    const std::string className = withClass ? ClassName() : "";
    auto lock = LockTable();
    if (patternID < 0 || patternID >= fSlotsUsed) {
        const bool cachingObject = dynamic_cast<const TldiRegEx*>(this) != nullptr;
        if (patternID == -1 && cachingObject)
            RaiseClassErrorCalling(reNoActivePattern, method, called, className, 0, {});
        RaiseClassErrorCalling(reInvalidPatternID, method, called, className, 0,
                               {int64_t{patternID}});
    }
    const TRegExPattern& entry = *fPatterns[static_cast<size_t>(patternID)];
    if (!entry.Compiled && requireCompiled)
        RaiseClassErrorCalling(reCompiledPatternNil, method, called, className, 0, {});
    return TEntryView{entry.Compiled.get(),
                      entry.Extra.get(),
                      entry.Serial,
                      entry.CaptureCount,
                      fGroupOffsetVectorSize,
                      entry.Literals.empty() ? nullptr : &entry.Literals,
                      entry.LiteralCaseless,
                      entry.Required.Text.empty() ? nullptr : &entry.Required,
                      entry.Unchecked.get(),
                      entry.UncheckedExtra.get(),
                      entry.Anchored.get(),
                      entry.AnchoredExtra.get(),
                      (entry.CompileOptions & PCRE_UTF8) != 0};
}

bool TldiRegExBase::GetMatch(int32_t patternID, const char* target, TMatchResult& result,
                             TRegExMethod callingMethod, bool capture, int32_t flags,
                             uint32_t startOffset, uint32_t targetLength) {
    const TEntryView entry = ValidatedEntry(patternID, callingMethod, rmGetMatch, true);
    if (startOffset > targetLength)
        RaiseClassErrorCalling(reStartAtTooLarge, callingMethod, rmGetMatch, ClassName(), 0,
                               {int64_t{targetLength}, int64_t{startOffset}});
    // Without captures only the whole match is asked for: its end is still needed to go on.
    result.GroupStartEnd.assign(static_cast<size_t>(capture ? entry.VectorSize : 3), 0);
    const int rc = pcre_api::Search(entry.Code(), target, targetLength, startOffset, flags,
                                    result.GroupStartEnd.data(),
                                    static_cast<int>(result.GroupStartEnd.size()));
    StoreExecResult(rc, target, targetLength, flags, capture ? entry.CaptureCount : 0, result);
    MarkUnsetGroups(rc, result.GroupCount, result.GroupStartEnd);
    if (!capture)
        result.GroupStartEnd.resize(result.Matched ? 2 : 0);
    result.PatternID = patternID;
    result.MatchPatternID = entry.Serial;
    if (result.ErrorCode != reNone && result.ErrorCode != reMatchNotFound)
        RaiseExecError(result.ErrorCode, rc, callingMethod, rmGetMatch, ClassName());
    return result.Matched;
}

bool TldiRegExBase::Matches(int32_t patternID, const char* target, uint32_t targetLength,
                            uint32_t startOffset, TMatchOptions options,
                            TMatchCollection& results) {
    results.clear();
    try {
        ForEachMatch(patternID, target, targetLength, startOffset, options,
                     [&results](TMatchResult& match) { results.push_back(std::move(match)); });
    } catch (...) {
        ClearMatchCollection(results);
        throw;
    }
    return !results.empty();
}

size_t TldiRegExBase::ForEachMatch(int32_t patternID, const char* target, uint32_t targetLength,
                                   uint32_t startOffset, TMatchOptions options,
                                   const TMatchFound& found) {
    const int32_t flags = MatchOptionsToFlags(options);
    const bool capture = !options.Contains(moNoCapturing);
    const TEntryView entry = ValidatedEntry(patternID, rmMatches, rmMatches, true);
    pcre_api::CheckStop(); // the plain-text searches look only now and then
    if (startOffset > targetLength)
        RaiseClassError(reStartAtTooLarge, rmMatches, ClassName(), 0,
                        {int64_t{targetLength}, int64_t{startOffset}});
    const bool anchored = (flags & pcre_api::kAnchored) != 0;
    if (entry.Literals != nullptr && !anchored)
        return LiteralMatches(patternID, entry, target, targetLength, startOffset, flags, capture,
                              found);
    if (entry.Required != nullptr && !anchored) {
        if (entry.Required->Stops.any())
            return RunBoundMatches(patternID, entry, target, targetLength, startOffset, flags,
                                   capture, found);
        if (FindLiteral(target, targetLength, startOffset, entry.Required->Text,
                        entry.LiteralCaseless) == std::string::npos)
            return 0;
    }
    return EngineMatches(patternID, entry, target, targetLength, startOffset, flags, capture,
                         found);
}

size_t TldiRegExBase::EngineMatches(int32_t patternID, const TEntryView& entry, const char* target,
                                    uint32_t targetLength, uint32_t startOffset, int32_t flags,
                                    bool capture, const TMatchFound& found) {
    const bool utf8 = pcre_api::IsUtf8(entry.Compiled);
    size_t count = 0;
    uint32_t pos = startOffset;
    int32_t retryFlags = 0; // set after an empty match: try a non-empty match at the same place
    for (;;) {
        TMatchResult result;
        if (!GetMatch(patternID, target, result, rmMatches, capture, flags | retryFlags, pos,
                      targetLength)) {
            if (retryFlags == 0)
                break;
            retryFlags = 0;
            pos = NextCharacter(target, targetLength, pos, utf8);
            if (pos > targetLength)
                break;
            continue;
        }
        const auto start = static_cast<uint32_t>(result.GroupStartEnd[0]);
        const auto end = static_cast<uint32_t>(result.GroupStartEnd[1]);
        found(result);
        ++count;
        if (end >= targetLength)
            break;
        retryFlags =
            (start == end || end <= pos) ? pcre_api::kNotEmptyAtStart | pcre_api::kAnchored : 0;
        pos = std::max(end, pos);
    }
    return count;
}

// Handing over a match costs far more than a stop check, so this few between checks keeps a
// stop prompt however slow the receiver is.
constexpr size_t kMatchesPerStopCheck = 64;

size_t TldiRegExBase::LiteralMatches(int32_t patternID, const TEntryView& entry, const char* target,
                                     uint32_t targetLength, uint32_t startOffset, int32_t flags,
                                     bool capture, const TMatchFound& found) const {
    TLiteralScanner scanner(*entry.Literals, entry.LiteralCaseless, target, targetLength);
    size_t count = 0;
    size_t start = 0;
    size_t end = 0;
    TMatchResult result;
    result.Matched = true;
    result.Target = target;
    result.TargetLength = targetLength;
    result.MatchOptions = flags;
    result.PatternID = patternID;
    result.MatchPatternID = entry.Serial;
    result.GroupCount = 1;
    for (size_t pos = startOffset; pos < targetLength && scanner.Next(pos, start, end); pos = end) {
        if (count % kMatchesPerStopCheck == 0)
            pcre_api::CheckStop(); // the scanner checks only while it searches far
        result.GroupStartEnd.assign(capture ? static_cast<size_t>(entry.VectorSize) : 2, 0);
        result.GroupStartEnd[0] = static_cast<int32_t>(start);
        result.GroupStartEnd[1] = static_cast<int32_t>(end);
        TMatchResult handed = result;
        found(handed);
        ++count;
    }
    return count;
}

namespace {

// Finds the run of bytes around a place that holds none of a set of stop bytes; a lone stop
// byte (a line break, mostly) is looked for with memchr.
class TRunLocator {
  public:
    explicit TRunLocator(const std::bitset<256>& stops) {
        for (unsigned c = 0; c < 256; ++c)
            Stop_[c] = stops[c];
        if (stops.count() == 1)
            for (unsigned c = 0; c < 256; ++c)
                Single_ = stops[c] ? static_cast<int>(c) : Single_;
    }

    // Where the run holding `at` starts, looking back no further than `from`. A huge run is
    // looked through a few megabytes at a time, so that a stop request is seen.
    uint32_t StartBefore(const char* text, uint32_t from, uint32_t at) const {
        for (; at - from > kPiece; at -= kPiece) {
            const uint32_t start = StartWithin(text, at - kPiece, at);
            if (start > at - kPiece)
                return start;
            pcre_api::CheckStop();
        }
        return StartWithin(text, from, at);
    }
    // Where the run holding `at` ends: its first stop byte, or the text's end.
    uint32_t EndAfter(const char* text, uint32_t at, uint32_t length) const {
        for (; length - at > kPiece; at += kPiece) {
            const uint32_t end = EndWithin(text, at, at + kPiece);
            if (end < at + kPiece)
                return end;
            pcre_api::CheckStop();
        }
        return EndWithin(text, at, length);
    }

  private:
    static constexpr auto kPiece = static_cast<uint32_t>(pcre_api::kStopCheckBytes);

    // The first place after the last stop byte in [from, at), or from.
    uint32_t StartWithin(const char* text, uint32_t from, uint32_t at) const {
        if (Single_ >= 0) {
            const auto* stop = static_cast<const char*>(memrchr(text + from, Single_, at - from));
            return stop == nullptr ? from : static_cast<uint32_t>(stop + 1 - text);
        }
        while (at > from && !IsStop(text[at - 1]))
            --at;
        return at;
    }
    // The first stop byte in [at, limit), or limit.
    uint32_t EndWithin(const char* text, uint32_t at, uint32_t limit) const {
        if (Single_ >= 0) {
            const auto* stop =
                static_cast<const char*>(std::memchr(text + at, Single_, limit - at));
            return stop == nullptr ? limit : static_cast<uint32_t>(stop - text);
        }
        while (at < limit && !IsStop(text[at]))
            ++at;
        return at;
    }
    bool IsStop(char c) const { return Stop_[static_cast<unsigned char>(c)]; }
    bool Stop_[256] = {};
    int Single_ = -1;
};

} // namespace

// Every match holds the required text and lies within one run of bytes that are not stop bytes
// (a line, a word), so only the runs holding that text are searched. The engine sees the whole
// text before the run (for \b at its start) and the stop byte after it (for \b at its end),
// which no match can take in. Where nearly every run holds a match, skipping saves less than
// the extra calls cost, so after a trial the engine goes on over the whole rest alone (with the
// same matches).
size_t TldiRegExBase::RunBoundMatches(int32_t patternID, const TEntryView& entry,
                                      const char* target, uint32_t targetLength,
                                      uint32_t startOffset, int32_t flags, bool capture,
                                      const TMatchFound& found) {
    // One call of the engine costs about as much as letting it run over this many bytes.
    constexpr uint64_t kBytesPerCall = 64;
    constexpr int kTrialRuns = 256;
    const std::string& required = entry.Required->Text;
    const TRunLocator runs(entry.Required->Stops);
    size_t count = 0;
    int runsTried = 0;
    uint64_t bytesSkipped = 0;
    uint32_t runEnd = 0; // of the run searched last; a later hit before it is in that run
    uint32_t pos = startOffset;
    const auto keep = [&](TMatchResult& result) {
        result.TargetLength = targetLength;
        pos = static_cast<uint32_t>(result.GroupStartEnd[1]);
        found(result);
        ++count;
    };
    while (pos < targetLength) {
        if (runsTried == kTrialRuns && bytesSkipped < kTrialRuns * kBytesPerCall)
            break;
        const size_t hit = FindLiteral(target, targetLength, pos, required, entry.LiteralCaseless);
        if (hit == std::string::npos)
            return count;
        uint32_t runStart = pos;
        if (hit >= runEnd) {
            runStart = runs.StartBefore(target, pos, static_cast<uint32_t>(hit));
            runEnd =
                runs.EndAfter(target, static_cast<uint32_t>(hit + required.size()), targetLength);
            bytesSkipped += runStart - pos;
            runsTried += runsTried < kTrialRuns ? 1 : 0;
        }
        const uint32_t searchEnd = std::min(runEnd + 1, targetLength);
        TMatchResult result;
        if (GetMatch(patternID, target, result, rmMatches, capture, flags, runStart, searchEnd))
            keep(result);
        else
            pos = runEnd;
    }
    // The engine alone from here: no match is empty, so each search starts at the last end.
    for (TMatchResult result; pos < targetLength && GetMatch(patternID, target, result, rmMatches,
                                                             capture, flags, pos, targetLength);
         result = TMatchResult())
        keep(result);
    return count;
}

void SplitLoop(const pcre_api::TSearchCode& code, int32_t captureCount, int32_t flags,
               const char* target, uint32_t length, uint32_t startOffset, int32_t limit,
               std::vector<std::string>& pieces) {
    std::vector<int> ovector(static_cast<size_t>(captureCount + 1) * 3);
    uint32_t pos = startOffset;
    flags |= pcre_api::kNotEmpty;
    while (limit != 0) {
        const int rc = pcre_api::Search(code, target, length, pos, flags, ovector.data(),
                                        static_cast<int>(ovector.size()));
        if (rc < PCRE_ERROR_NOMATCH)
            RaiseExecError(ExecResultError(rc), rc, rmSplitToArray, rmSplitToArray, "");
        if (rc <= 0)
            break;
        pieces.emplace_back(target + pos, static_cast<size_t>(ovector[0]) - pos);
        for (int group = 1; group < rc; ++group)
            pieces.emplace_back(GroupText(target, ovector.data(), group));
        pos = static_cast<uint32_t>(ovector[1]);
        if (limit > 0 && --limit == 0)
            break;
        flags |= pcre_api::kNoUtf8Check;
    }
    if (pos < length)
        pieces.emplace_back(target + pos, length - pos);
}

void TldiRegExBase::SplitToArray(int32_t patternID, const char* target, uint32_t targetLength,
                                 uint32_t startOffset, int32_t limit,
                                 std::vector<std::string>& pieces) {
    const TEntryView entry = ValidatedEntry(patternID, rmSplit, rmSplitToArray, true);
    if (startOffset > targetLength)
        RaiseError(reStartAtTooLarge, rmSplitToArray, 0,
                   {int64_t{targetLength}, int64_t{startOffset}});
    pieces.clear();
    SplitLoop(entry.Code(), entry.CaptureCount, fDefaultMatchFlags, target, targetLength,
              startOffset, limit, pieces);
}

// ---- unit level --------------------------------------------------------------------------------

namespace {

// Resolves the pattern through the shared cache; -1 when it must be compiled per call.
int32_t CachedOrRaise(const std::string& pattern, bool bypassCache, TRegExMethod method) {
    if (bypassCache)
        return -1;
    TPatternStatus status;
    const int32_t id =
        RegExStatic().GetCachedPatternID(pattern, DefaultStaticPatternOptions, status, laEnglish);
    if (id < 0 && status.StatusCode != reCacheFull)
        RaiseStatus(status, method, id);
    return id;
}

struct TThrowAway {
    TCompiledPtr Compiled;
    TExtraPtr Extra;
};

TThrowAway CompileThrowAway(const std::string& pattern, TRegExMethod method) {
    TThrowAway block;
    TPatternStatus status;
    const bool study = !DefaultStaticPatternOptions.Contains(coNoStudy);
    if (!CompileStandalone(pattern, PatternOptionsToFlags(DefaultStaticPatternOptions), study,
                           laEnglish, block.Compiled, block.Extra, status))
        RaiseStatus(status, method, -1);
    return block;
}

} // namespace

bool Match(const std::string& pattern, const std::string& target, bool bypassCache,
           TMatchResult& result) {
    const auto length = static_cast<uint32_t>(target.size());
    const int32_t id = CachedOrRaise(pattern, bypassCache, rmMatch);
    if (id >= 0)
        return TRegExInternals::GetMatch(RegExStatic(), id, target.data(), result, rmMatch, true,
                                         TRegExInternals::DefaultMatchFlags(RegExStatic()), 0,
                                         length);
    const TThrowAway block = CompileThrowAway(pattern, rmMatch);
    return GetMatchStatic(block.Compiled.get(), block.Extra.get(), target.data(), result, rmMatch,
                          0, 0, length);
}

void Split(const std::string& pattern, const std::string& target, bool bypassCache,
           std::vector<std::string>& pieces) {
    const auto length = static_cast<uint32_t>(target.size());
    const int32_t id = CachedOrRaise(pattern, bypassCache, rmSplit);
    if (id >= 0) {
        RegExStatic().SplitToArray(id, target.data(), length, 0, -1, pieces);
        return;
    }
    const TThrowAway block = CompileThrowAway(pattern, rmSplit);
    pieces.clear();
    SplitLoop({block.Compiled.get(), block.Extra.get()},
              pcre_api::CaptureCount(block.Compiled.get()), 0, target.data(), length, 0, -1,
              pieces);
}

void GroupValue(const TMatchResult& result, int32_t groupNumber, std::string& value) {
    if (groupNumber < 0 || groupNumber >= result.GroupCount ||
        static_cast<size_t>(groupNumber) * 2 + 1 >= result.GroupStartEnd.size())
        RaiseError(reGroupNumOutOfBounds, rmGroupValue, 0, {int64_t{groupNumber}});
    value = GroupText(result.Target, result.GroupStartEnd.data(), groupNumber);
}

void ClearMatchResult(TMatchResult& result) {
    result = TMatchResult{};
}

void ClearMatchCollection(TMatchCollection& results) {
    results.clear();
}

} // namespace kes
