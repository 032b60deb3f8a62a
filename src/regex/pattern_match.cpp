// Matching: one match, every match of a text, splitting, and the unit-level conveniences.
#include "internal/pattern_internals.h"

#include <algorithm>
#include <cstring>

namespace kestrava::regex {

RegexErrorCode execResultError(int rc) {
    // The library tells each kind of bad UTF-8 sequence apart; the layer has one code for all.
    if (rc <= PCRE2_ERROR_UTF8_ERR1 && rc >= PCRE2_ERROR_UTF8_ERR21)
        return RegexErrorCode::BadUtf8;
    switch (rc) {
    case PCRE2_ERROR_NOMATCH:
        return RegexErrorCode::MatchNotFound;
    case PCRE2_ERROR_NULL:
        return RegexErrorCode::NullPatternOrTarget;
    case PCRE2_ERROR_BADOPTION:
        return RegexErrorCode::BadMatchOption;
    case PCRE2_ERROR_BADMAGIC:
    case PCRE2_ERROR_BADMODE:
        return RegexErrorCode::BadPatternCode;
    case PCRE2_ERROR_INTERNAL:
        return RegexErrorCode::UnknownPatternItem;
    case PCRE2_ERROR_NOMEMORY:
        return RegexErrorCode::OutOfMemory;
    // The depth and heap limits are the same kind of backtracking limit, so they get the same
    // message.
    case PCRE2_ERROR_MATCHLIMIT:
    case PCRE2_ERROR_DEPTHLIMIT:
    case PCRE2_ERROR_HEAPLIMIT:
        return RegexErrorCode::MatchLimit;
    default:
        return rc >= 0 ? RegexErrorCode::None : RegexErrorCode::UnknownExecResult;
    }
}

void raiseExecError(RegexErrorCode code, int rc, RegexOperation method, RegexOperation called,
                    const std::string& className) {
    const int64_t value = code == RegexErrorCode::UnknownExecResult ? rc : 0;
    if (className.empty())
        raiseErrorCalling(code, method, called, 0, {value});
    raiseClassErrorCalling(code, method, called, className, 0, {value});
}

namespace {

void storeExecResult(int rc, const char* target, uint32_t length, uint32_t flags,
                     int32_t captureCount, MatchResult& result) {
    result.matched = rc >= 0;
    result.target = result.matched ? target : nullptr;
    result.targetLength = result.matched ? length : 0;
    result.matchOptions = result.matched ? flags : 0;
    result.groupCount = result.matched ? captureCount + 1 : 0;
    result.errorCode = execResultError(rc);
}

// The library leaves the pairs of trailing groups that did not take part untouched.
void markUnsetGroups(int rc, int32_t groupCount, GroupStartEndArray& offsets) {
    if (rc <= 0)
        return; // no match, or every pair the vector holds was filled
    for (auto i = static_cast<size_t>(std::max(rc, 0)) * 2;
         i < static_cast<size_t>(groupCount) * 2 && i < offsets.size(); ++i)
        offsets[i] = -1;
}

uint32_t nextCharacter(const char* target, uint32_t length, uint32_t pos, bool utf8) {
    ++pos;
    while (utf8 && pos < length && (static_cast<unsigned char>(target[pos]) & 0xC0) == 0x80)
        ++pos;
    return pos;
}

// Runs `exec` into the result's offset vector. Without captures only the whole match is asked
// for: its end is still needed to go on.
template <typename Exec>
int runInto(MatchResult& result, int32_t vectorSize, bool capture, Exec exec) {
    result.groupStartEnd.assign(static_cast<size_t>(capture ? vectorSize : 3), 0);
    return exec(result.groupStartEnd.data(), static_cast<int>(result.groupStartEnd.size()));
}

// Fills the result from the library's answer; `ids` are the pattern's ID and compile serial.
void storeMatch(int rc, std::pair<int32_t, int32_t> ids, int32_t captureCount, const char* target,
                uint32_t length, uint32_t flags, bool capture, MatchResult& result) {
    storeExecResult(rc, target, length, flags, capture ? captureCount : 0, result);
    markUnsetGroups(rc, result.groupCount, result.groupStartEnd);
    if (!capture)
        result.groupStartEnd.resize(result.matched ? 2 : 0);
    result.patternID = ids.first;
    result.matchPatternID = ids.second;
}

[[noreturn]] void raiseStatus(const PatternStatus& status, RegexOperation method, int32_t id) {
    raiseError(status.statusCode, method, id, {status.errorText, int64_t{status.errorOffset}});
}

} // namespace

PatternTable::EntryView PatternTable::validatedEntry(int32_t patternID, RegexOperation method,
                                                     RegexOperation called, bool withClass,
                                                     bool requireCompiled) const {
    const std::string shownClass = withClass ? className() : "";
    auto lock = lockTable();
    if (patternID < 0 || patternID >= m_slotsUsed) {
        const bool cachingObject = dynamic_cast<const CachedPatternTable*>(this) != nullptr;
        if (patternID == -1 && cachingObject)
            raiseClassErrorCalling(RegexErrorCode::NoActivePattern, method, called, shownClass, 0,
                                   {});
        raiseClassErrorCalling(RegexErrorCode::InvalidPatternID, method, called, shownClass, 0,
                               {int64_t{patternID}});
    }
    const Pattern& entry = *m_patterns[static_cast<size_t>(patternID)];
    if (!entry.compiled && requireCompiled)
        raiseClassErrorCalling(RegexErrorCode::CompiledPatternNil, method, called, shownClass, 0,
                               {});
    EntryView view;
    view.kept = entry.compiled;
    view.serial = entry.serial;
    view.captureCount = entry.captureCount;
    view.vectorSize = m_groupOffsetVectorSize;
    if (const CompiledPattern* compiled = view.kept.get()) {
        view.compiled = compiled->checked();
        view.anchored = compiled->anchored();
        view.literals = compiled->literals().empty() ? nullptr : &compiled->literals();
        view.literalCaseless = compiled->literalCaseless();
        view.required = compiled->knowsRequired() ? &compiled->required() : nullptr;
        view.utf8 = compiled->utf8();
        view.settings = {compiled->matchLimit(), m_onCallOut ? &m_onCallOut : nullptr,
                         compiled->stopCallOutAt()};
    }
    return view;
}

bool PatternTable::getMatch(int32_t patternID, const char* target, MatchResult& result,
                            RegexOperation callingMethod, bool capture, uint32_t flags,
                            uint32_t startOffset, uint32_t targetLength) {
    const EntryView entry =
        validatedEntry(patternID, callingMethod, RegexOperation::GetMatch, true);
    if (startOffset > targetLength)
        raiseClassErrorCalling(RegexErrorCode::StartAtTooLarge, callingMethod,
                               RegexOperation::GetMatch, className(), 0,
                               {int64_t{targetLength}, int64_t{startOffset}});
    const int rc = runInto(result, entry.vectorSize, capture, [&](int* ovector, int size) {
        return pcre_api::search(entry.code(), target, targetLength, startOffset, flags, ovector,
                                size);
    });
    storeMatch(rc, {patternID, entry.serial}, entry.captureCount, target, targetLength, flags,
               capture, result);
    if (result.errorCode != RegexErrorCode::None &&
        result.errorCode != RegexErrorCode::MatchNotFound)
        raiseExecError(result.errorCode, rc, callingMethod, RegexOperation::GetMatch, className());
    return result.matched;
}

// One attempt at `at` alone, over the text up to searchEnd, on the code compiled anchored.
bool PatternTable::attemptAt(int32_t patternID, const EntryView& entry, const char* target,
                             MatchResult& result, bool capture, uint32_t flags, uint32_t at,
                             uint32_t searchEnd) {
    const int rc = runInto(result, entry.vectorSize, capture, [&](int* ovector, int size) {
        return pcre_api::exec(entry.anchored, target, searchEnd, at, flags, ovector, size,
                              entry.settings);
    });
    storeMatch(rc, {patternID, entry.serial}, entry.captureCount, target, searchEnd, flags, capture,
               result);
    if (result.errorCode != RegexErrorCode::None &&
        result.errorCode != RegexErrorCode::MatchNotFound)
        raiseExecError(result.errorCode, rc, RegexOperation::Matches, RegexOperation::GetMatch,
                       className());
    return result.matched;
}

bool PatternTable::matches(int32_t patternID, const char* target, uint32_t targetLength,
                           uint32_t startOffset, MatchOptions options, MatchCollection& results) {
    results.clear();
    try {
        forEachMatch(patternID, target, targetLength, startOffset, options,
                     [&results](MatchResult& match) { results.push_back(std::move(match)); });
    } catch (...) {
        clearMatchCollection(results);
        throw;
    }
    return !results.empty();
}

// Matches tell how far the search has come at most once in this many bytes.
constexpr uint32_t kTellEvery = 256 << 10;

size_t PatternTable::forEachMatch(int32_t patternID, const char* target, uint32_t targetLength,
                                  uint32_t startOffset, MatchOptions options,
                                  const MatchFound& found) {
    const uint32_t flags = matchOptionsToFlags(options);
    const bool capture = !options.contains(MatchOption::NoCapturing);
    const EntryView entry =
        validatedEntry(patternID, RegexOperation::Matches, RegexOperation::Matches, true);
    pcre_api::checkStop(); // the plain-text searches look only now and then
    if (startOffset > targetLength)
        raiseClassError(RegexErrorCode::StartAtTooLarge, RegexOperation::Matches, className(), 0,
                        {int64_t{targetLength}, int64_t{startOffset}});
    // A long search tells how far it has come (see StopScope) where it finds matches too, not
    // only where it finds none.
    MatchFound telling;
    if (const pcre_api::PassedEvent passed = pcre_api::tThreadPassed) {
        telling = [&found, passed, target,
                   nextTold = startOffset + kTellEvery](MatchResult& match) mutable {
            const auto start = static_cast<uint32_t>(match.groupStartEnd[0]);
            found(match); // which may still read behind the match
            if (start >= nextTold) {
                passed(target + start);
                nextTold = start + kTellEvery;
            }
        };
    }
    const MatchFound& handTo = telling ? telling : found;
    const bool anchored = (flags & pcre_api::kAnchored) != 0;
    if (entry.literals != nullptr && !anchored)
        return literalMatches(patternID, entry, target, targetLength, startOffset, flags, capture,
                              handTo);
    if (entry.required != nullptr && !anchored) {
        if (entry.required->text.empty())
            return entry.anchored != nullptr
                       ? wordStartMatches(patternID, entry, target, targetLength, startOffset,
                                          flags, capture, handTo)
                       : engineMatches(patternID, entry, target, targetLength, startOffset, flags,
                                       capture, handTo);
        if (entry.required->stops.any())
            return runBoundMatches(patternID, entry, target, targetLength, startOffset, flags,
                                   capture, handTo);
        if (findLiteral(target, targetLength, startOffset, entry.required->text,
                        entry.literalCaseless) == std::string::npos)
            return 0;
    }
    return engineMatches(patternID, entry, target, targetLength, startOffset, flags, capture,
                         handTo);
}

size_t PatternTable::engineMatches(int32_t patternID, const EntryView& entry, const char* target,
                                   uint32_t targetLength, uint32_t startOffset, uint32_t flags,
                                   bool capture, const MatchFound& found) {
    const bool utf8 = entry.utf8;
    size_t count = 0;
    uint32_t pos = startOffset;
    uint32_t retryFlags = 0; // set after an empty match: try a non-empty match at the same place
    for (;;) {
        MatchResult result;
        if (!getMatch(patternID, target, result, RegexOperation::Matches, capture,
                      flags | retryFlags, pos, targetLength)) {
            if (retryFlags == 0)
                break;
            retryFlags = 0;
            pos = nextCharacter(target, targetLength, pos, utf8);
            if (pos > targetLength)
                break;
            continue;
        }
        const auto start = static_cast<uint32_t>(result.groupStartEnd[0]);
        const auto end = static_cast<uint32_t>(result.groupStartEnd[1]);
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

namespace {

// Hands over matches found without the engine as the engine would report them: group 0, with
// any further groups of a capturing search zero (a pattern searched this way has none).
class FoundWithoutEngine {
  public:
    // `ids`: the pattern's ID and compile serial; `vectorSize`: the slots of a capturing result.
    FoundWithoutEngine(std::pair<int32_t, int32_t> ids, int32_t vectorSize, const char* target,
                       uint32_t targetLength, uint32_t flags, bool capture,
                       const PatternTable::MatchFound& found)
        : m_found(found) {
        m_result.matched = true;
        m_result.target = target;
        m_result.targetLength = targetLength;
        m_result.matchOptions = flags;
        m_result.patternID = ids.first;
        m_result.matchPatternID = ids.second;
        m_result.groupCount = 1;
        m_slots = capture ? static_cast<size_t>(vectorSize) : 2;
    }

    // Match number `count` of the search, from start to end.
    void operator()(size_t count, size_t start, size_t end) const {
        // Handing over a match costs far more than a stop check, so this few between checks
        // keeps a stop prompt however slow the receiver is.
        constexpr size_t kMatchesPerStopCheck = 64;
        if (count % kMatchesPerStopCheck == 0)
            pcre_api::checkStop();
        MatchResult handed = m_result;
        handed.groupStartEnd.assign(m_slots, 0);
        handed.groupStartEnd[0] = static_cast<int32_t>(start);
        handed.groupStartEnd[1] = static_cast<int32_t>(end);
        m_found(handed);
    }

  private:
    const PatternTable::MatchFound& m_found;
    MatchResult m_result;
    size_t m_slots = 2;
};

} // namespace

size_t PatternTable::literalMatches(int32_t patternID, const EntryView& entry, const char* target,
                                    uint32_t targetLength, uint32_t startOffset, uint32_t flags,
                                    bool capture, const MatchFound& found) const {
    LiteralScanner scanner(*entry.literals, entry.literalCaseless, target, targetLength);
    const FoundWithoutEngine hand({patternID, entry.serial}, entry.vectorSize, target, targetLength,
                                  flags, capture, found);
    size_t count = 0;
    size_t start = 0;
    size_t end = 0;
    for (size_t pos = startOffset; pos < targetLength && scanner.next(pos, start, end); pos = end)
        hand(count++, start, end); // the scanner checks for a stop only while it searches far
    return count;
}

namespace {

// Finds the run of bytes around a place that holds none of a set of stop bytes; a lone stop
// byte (a line break, mostly) is looked for with memchr.
class RunLocator {
  public:
    explicit RunLocator(const std::bitset<256>& stops) {
        for (unsigned c = 0; c < 256; ++c)
            m_stop[c] = stops[c];
        if (stops.count() == 1)
            for (unsigned c = 0; c < 256; ++c)
                m_single = stops[c] ? static_cast<int>(c) : m_single;
    }

    // Where the run holding `at` starts, looking back no further than `from`. A huge run is
    // looked through a few megabytes at a time, so that a stop request is seen.
    uint32_t startBefore(const char* text, uint32_t from, uint32_t at) const {
        for (; at - from > kPiece; at -= kPiece) {
            const uint32_t start = startWithin(text, at - kPiece, at);
            if (start > at - kPiece)
                return start;
            pcre_api::checkStop();
        }
        return startWithin(text, from, at);
    }
    // Where the run holding `at` ends: its first stop byte, or the text's end.
    uint32_t endAfter(const char* text, uint32_t at, uint32_t length) const {
        for (; length - at > kPiece; at += kPiece) {
            const uint32_t end = endWithin(text, at, at + kPiece);
            if (end < at + kPiece)
                return end;
            pcre_api::checkStop(text + at + kPiece);
        }
        return endWithin(text, at, length);
    }

  private:
    static constexpr auto kPiece = static_cast<uint32_t>(pcre_api::kStopCheckBytes);

    // The first place after the last stop byte in [from, at), or from.
    uint32_t startWithin(const char* text, uint32_t from, uint32_t at) const {
        if (m_single >= 0) {
            const auto* stop = static_cast<const char*>(memrchr(text + from, m_single, at - from));
            return stop == nullptr ? from : static_cast<uint32_t>(stop + 1 - text);
        }
        while (at > from && !isStop(text[at - 1]))
            --at;
        return at;
    }
    // The first stop byte in [at, limit), or limit.
    uint32_t endWithin(const char* text, uint32_t at, uint32_t limit) const {
        if (m_single >= 0) {
            const auto* stop =
                static_cast<const char*>(std::memchr(text + at, m_single, limit - at));
            return stop == nullptr ? limit : static_cast<uint32_t>(stop - text);
        }
        while (at < limit && !isStop(text[at]))
            ++at;
        return at;
    }
    bool isStop(char c) const { return m_stop[static_cast<unsigned char>(c)]; }
    bool m_stop[256] = {};
    int m_single = -1;
};

} // namespace

// Every match holds the required text and lies within one run of bytes that are not stop bytes
// (a line, a word), so only the runs holding that text are searched. The engine sees the whole
// text before the run (for \b at its start) and the stop byte after it (for \b at its end),
// which no match can take in. Where nearly every run holds a match, skipping saves less than
// the extra calls cost, so after a trial the engine goes on over the whole rest alone (with the
// same matches).
size_t PatternTable::runBoundMatches(int32_t patternID, const EntryView& entry, const char* target,
                                     uint32_t targetLength, uint32_t startOffset, uint32_t flags,
                                     bool capture, const MatchFound& found) {
    // One call of the engine costs about as much as letting it run over this many bytes.
    constexpr uint64_t kBytesPerCall = 64;
    constexpr int kTrialRuns = 256;
    const std::string& required = entry.required->text;
    const RunLocator runs(entry.required->stops);
    size_t count = 0;
    int runsTried = 0;
    uint64_t bytesSkipped = 0;
    uint32_t runEnd = 0; // of the run searched last; a later hit before it is in that run
    uint32_t pos = startOffset;
    const auto keep = [&](MatchResult& result) {
        result.targetLength = targetLength;
        pos = static_cast<uint32_t>(result.groupStartEnd[1]);
        found(result);
        ++count;
    };
    while (pos < targetLength) {
        if (runsTried == kTrialRuns && bytesSkipped < kTrialRuns * kBytesPerCall)
            break;
        const size_t hit = findLiteral(target, targetLength, pos, required, entry.literalCaseless);
        if (hit == std::string::npos)
            return count;
        uint32_t runStart = pos;
        if (hit >= runEnd) {
            runStart = runs.startBefore(target, pos, static_cast<uint32_t>(hit));
            runEnd =
                runs.endAfter(target, static_cast<uint32_t>(hit + required.size()), targetLength);
            bytesSkipped += runStart - pos;
            runsTried += runsTried < kTrialRuns ? 1 : 0;
        }
        const uint32_t searchEnd = std::min(runEnd + 1, targetLength);
        MatchResult result;
        if (getMatch(patternID, target, result, RegexOperation::Matches, capture, flags, runStart,
                     searchEnd))
            keep(result);
        else
            pos = runEnd;
    }
    // The engine alone from here: no match is empty, so each search starts at the last end.
    for (MatchResult result;
         pos < targetLength && getMatch(patternID, target, result, RegexOperation::Matches, capture,
                                        flags, pos, targetLength);
         result = MatchResult())
        keep(result);
    return count;
}

// Every match begins where a run of non-stop bytes begins at a word boundary, and stays in that
// run (see RequiredText::wordStartLength): one anchored attempt per run long enough, which sees
// the whole text before the run and the stop byte after it, finds just what the engine finds.
size_t PatternTable::wordStartMatches(int32_t patternID, const EntryView& entry, const char* target,
                                      uint32_t targetLength, uint32_t startOffset, uint32_t flags,
                                      bool capture, const MatchFound& found) {
    WordStartRuns runs(entry.required->stops, entry.required->wordStartLength, target,
                       targetLength);
    size_t count = 0;
    uint32_t start = 0;
    uint32_t end = 0;
    if (entry.required->wholeRuns && entry.captureCount == 0) {
        // The engine would take each run whole, or nothing of it (RequiredText::wholeRuns).
        const FoundWithoutEngine hand({patternID, entry.serial}, entry.vectorSize, target,
                                      targetLength, flags, capture, found);
        for (uint32_t pos = startOffset; runs.next(pos, start, end); pos = end)
            if (!runs.wordByteAt(end))
                hand(count++, start, end);
        return count;
    }
    for (uint32_t pos = startOffset; runs.next(pos, start, end);) {
        MatchResult result;
        if (!attemptAt(patternID, entry, target, result, capture, flags, start,
                       std::min(end + 1, targetLength))) {
            pos = end;
            continue;
        }
        result.targetLength = targetLength;
        pos = static_cast<uint32_t>(result.groupStartEnd[1]);
        found(result);
        ++count;
    }
    return count;
}

void splitLoop(const pcre_api::SearchCode& code, int32_t captureCount, uint32_t flags,
               const char* target, uint32_t length, uint32_t startOffset, int32_t limit,
               std::vector<std::string>& pieces) {
    std::vector<int> ovector(static_cast<size_t>(captureCount + 1) * 3);
    uint32_t pos = startOffset;
    flags |= pcre_api::kNotEmpty;
    while (limit != 0) {
        const int rc = pcre_api::search(code, target, length, pos, flags, ovector.data(),
                                        static_cast<int>(ovector.size()));
        if (rc < 0 && rc != PCRE2_ERROR_NOMATCH)
            raiseExecError(execResultError(rc), rc, RegexOperation::SplitToArray,
                           RegexOperation::SplitToArray, "");
        if (rc <= 0)
            break;
        pieces.emplace_back(target + pos, static_cast<size_t>(ovector[0]) - pos);
        for (int group = 1; group < rc; ++group)
            pieces.emplace_back(groupText(target, ovector.data(), group));
        pos = static_cast<uint32_t>(ovector[1]);
        if (limit > 0 && --limit == 0)
            break;
        flags |= pcre_api::kNoUtf8Check;
    }
    if (pos < length)
        pieces.emplace_back(target + pos, length - pos);
}

void PatternTable::splitToArray(int32_t patternID, const char* target, uint32_t targetLength,
                                uint32_t startOffset, int32_t limit,
                                std::vector<std::string>& pieces) {
    const EntryView entry =
        validatedEntry(patternID, RegexOperation::Split, RegexOperation::SplitToArray, true);
    if (startOffset > targetLength)
        raiseError(RegexErrorCode::StartAtTooLarge, RegexOperation::SplitToArray, 0,
                   {int64_t{targetLength}, int64_t{startOffset}});
    pieces.clear();
    splitLoop(entry.code(), entry.captureCount, m_defaultMatchFlags, target, targetLength,
              startOffset, limit, pieces);
}

// ---- unit level --------------------------------------------------------------------------------

namespace {

// Resolves the pattern through the shared cache; -1 when it must be compiled per call.
int32_t cachedOrRaise(const std::string& pattern, bool bypassCache, RegexOperation method) {
    if (bypassCache)
        return -1;
    PatternStatus status;
    const int32_t id = regExStatic().getCachedPatternID(pattern, kDefaultStaticPatternOptions,
                                                        status, PatternLanguage::English);
    if (id < 0 && status.statusCode != RegexErrorCode::CacheFull)
        raiseStatus(status, method, id);
    return id;
}

std::shared_ptr<const CompiledPattern> compileThrowAway(const std::string& pattern,
                                                        RegexOperation method) {
    std::shared_ptr<const CompiledPattern> compiled;
    PatternStatus status;
    const bool study = !kDefaultStaticPatternOptions.contains(PatternOption::NoStudy);
    if (!compileStandalone(pattern, patternOptionsToFlags(kDefaultStaticPatternOptions), study,
                           PatternLanguage::English, compiled, status))
        raiseStatus(status, method, -1);
    return compiled;
}

// The throw-away pattern's forms as a search runs them.
pcre_api::SearchCode searchCode(const CompiledPattern& compiled) {
    return {compiled.checked(),
            compiled.unchecked(),
            compiled.anchored(),
            compiled.utf8(),
            {compiled.matchLimit(), nullptr, compiled.stopCallOutAt()}};
}

// One match of a throw-away pattern; errors other than "no match" are raised.
bool getMatchStatic(const CompiledPattern& compiled, const char* target, MatchResult& result,
                    RegexOperation callingMethod, uint32_t flags, uint32_t startOffset,
                    uint32_t length) {
    if (startOffset > length)
        raiseErrorCalling(RegexErrorCode::StartAtTooLarge, callingMethod,
                          RegexOperation::GetMatchStatic, -1,
                          {int64_t{length}, int64_t{startOffset}});
    const int32_t captureCount = compiled.captureCount();
    result.groupStartEnd.assign(static_cast<size_t>(captureCount + 1) * 3, 0);
    const int rc = pcre_api::search(searchCode(compiled), target, length, startOffset, flags,
                                    result.groupStartEnd.data(),
                                    static_cast<int>(result.groupStartEnd.size()));
    storeExecResult(rc, target, length, flags, captureCount, result);
    markUnsetGroups(rc, result.groupCount, result.groupStartEnd);
    result.patternID = -1;
    result.matchPatternID = 0;
    if (result.errorCode != RegexErrorCode::None &&
        result.errorCode != RegexErrorCode::MatchNotFound) {
        const RegexErrorCode code35 = result.errorCode;
        clearMatchResult(result);
        raiseExecError(code35, rc, callingMethod, RegexOperation::GetMatchStatic, "");
    }
    return result.matched;
}

} // namespace

bool match(const std::string& pattern, const std::string& target, bool bypassCache,
           MatchResult& result) {
    const auto length = static_cast<uint32_t>(target.size());
    const int32_t id = cachedOrRaise(pattern, bypassCache, RegexOperation::Match);
    if (id >= 0)
        return RegexInternals::getMatch(
            regExStatic(), id, target.data(), result, RegexOperation::Match, true,
            RegexInternals::defaultMatchFlags(regExStatic()), 0, length);
    const auto compiled = compileThrowAway(pattern, RegexOperation::Match);
    return getMatchStatic(*compiled, target.data(), result, RegexOperation::Match, 0, 0, length);
}

void split(const std::string& pattern, const std::string& target, bool bypassCache,
           std::vector<std::string>& pieces) {
    const auto length = static_cast<uint32_t>(target.size());
    const int32_t id = cachedOrRaise(pattern, bypassCache, RegexOperation::Split);
    if (id >= 0) {
        regExStatic().splitToArray(id, target.data(), length, 0, -1, pieces);
        return;
    }
    const auto compiled = compileThrowAway(pattern, RegexOperation::Split);
    pieces.clear();
    splitLoop(searchCode(*compiled), compiled->captureCount(), 0, target.data(), length, 0, -1,
              pieces);
}

void groupValue(const MatchResult& result, int32_t groupNumber, std::string& value) {
    if (groupNumber < 0 || groupNumber >= result.groupCount ||
        static_cast<size_t>(groupNumber) * 2 + 1 >= result.groupStartEnd.size())
        raiseError(RegexErrorCode::GroupNumOutOfBounds, RegexOperation::GroupValue, 0,
                   {int64_t{groupNumber}});
    value = groupText(result.target, result.groupStartEnd.data(), groupNumber);
}

void clearMatchResult(MatchResult& result) {
    result = MatchResult{};
}

void clearMatchCollection(MatchCollection& results) {
    results.clear();
}

} // namespace kestrava::regex
