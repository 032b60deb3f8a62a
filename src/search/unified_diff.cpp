// The unified diff of a file's replacement: its changed lines with three lines of context, as
// git apply and patch read them.
#include "search/search.h"

#include <algorithm>
#include <functional>
#include <optional>

namespace kestrava::search {

namespace {

constexpr int32_t kContextLines = 3;
// A diff handed on in pieces goes in pieces of about this size.
constexpr size_t kDiffBlock = size_t{1} << 20;
// Beyond this many differing lines the edit script is not worked out line by line: the file
// is given as one change, which applies just as well. The search keeps one row of diagonals per
// step, so this bounds its memory to about 16 MB.
constexpr int64_t kMostEditDistance = 1024;

// The lines of a text, each with its line feed (the last one may have none).
std::vector<std::string_view> splitLines(std::string_view text) {
    std::vector<std::string_view> lines;
    for (size_t start = 0; start < text.size();) {
        const size_t feed = text.find('\n', start);
        const size_t end = feed == std::string_view::npos ? text.size() : feed + 1;
        lines.push_back(text.substr(start, end - start));
        start = end;
    }
    return lines;
}

enum class EditKind : uint8_t { Keep, Remove, Add };

struct Edit {
    EditKind kind;
    int32_t oldLine; // 0-based index into the old lines (Keep, Remove)
    int32_t newLine; // and into the new lines (Keep, Add)
};

// Myers' shortest edit script between two line lists; nothing when it is longer than
// kMostEditDistance.
std::optional<std::vector<Edit>> editScript(const std::vector<std::string_view>& a,
                                            const std::vector<std::string_view>& b) {
    const auto n = static_cast<int64_t>(a.size());
    const auto m = static_cast<int64_t>(b.size());
    const int64_t most = std::min(n + m, kMostEditDistance);
    const int64_t offset = most + 1;
    std::vector<int64_t> v(static_cast<size_t>(2 * most + 3), 0);
    std::vector<std::vector<int64_t>> trace;
    const auto at = [&](int64_t k) -> int64_t& { return v[static_cast<size_t>(k + offset)]; };
    for (int64_t d = 0; d <= most; ++d) {
        trace.push_back(v);
        for (int64_t k = -d; k <= d; k += 2) {
            int64_t x = (k == -d || (k != d && at(k - 1) < at(k + 1))) ? at(k + 1) : at(k - 1) + 1;
            int64_t y = x - k;
            while (x < n && y < m && a[static_cast<size_t>(x)] == b[static_cast<size_t>(y)])
                ++x, ++y;
            at(k) = x;
            if (x < n || y < m)
                continue;
            // Walk the trace back from the end to the start.
            std::vector<Edit> edits;
            for (int64_t back = d; back > 0; --back) {
                const std::vector<int64_t>& previous = trace[static_cast<size_t>(back)];
                const auto prev = [&](int64_t kk) {
                    return previous[static_cast<size_t>(kk + offset)];
                };
                const int64_t kk = x - y;
                const bool down = kk == -back || (kk != back && prev(kk - 1) < prev(kk + 1));
                const int64_t prevK = down ? kk + 1 : kk - 1;
                const int64_t prevX = prev(prevK);
                const int64_t prevY = prevX - prevK;
                for (; x > prevX && y > prevY; --x, --y)
                    edits.push_back(
                        {EditKind::Keep, static_cast<int32_t>(x - 1), static_cast<int32_t>(y - 1)});
                if (down)
                    edits.push_back(
                        {EditKind::Add, static_cast<int32_t>(x), static_cast<int32_t>(y - 1)});
                else
                    edits.push_back(
                        {EditKind::Remove, static_cast<int32_t>(x - 1), static_cast<int32_t>(y)});
                x = prevX;
                y = prevY;
            }
            for (; x > 0 && y > 0; --x, --y)
                edits.push_back(
                    {EditKind::Keep, static_cast<int32_t>(x - 1), static_cast<int32_t>(y - 1)});
            std::reverse(edits.begin(), edits.end());
            return edits;
        }
    }
    return std::nullopt;
}

// The whole old text removed and the whole new text added.
std::vector<Edit> replaceAll(size_t oldCount, size_t newCount) {
    std::vector<Edit> edits;
    for (size_t i = 0; i < oldCount; ++i)
        edits.push_back({EditKind::Remove, static_cast<int32_t>(i), 0});
    for (size_t i = 0; i < newCount; ++i)
        edits.push_back({EditKind::Add, static_cast<int32_t>(oldCount), static_cast<int32_t>(i)});
    return edits;
}

void appendLine(std::string& out, char mark, std::string_view line) {
    out += mark;
    out += line;
    if (!line.ends_with('\n'))
        out += "\n\\ No newline at end of file\n";
}

// "@@ -l,n +l,n @@": an empty side is numbered by the line before it.
std::string hunkHeader(int32_t oldStart, int32_t oldCount, int32_t newStart, int32_t newCount) {
    const auto side = [](int32_t start, int32_t count) {
        return std::to_string(count == 0 ? start : start + 1) + "," + std::to_string(count);
    };
    return "@@ -" + side(oldStart, oldCount) + " +" + side(newStart, newCount) + " @@\n";
}

void appendHunk(const std::vector<Edit>& edits, size_t first, size_t last,
                const std::vector<std::string_view>& oldLines,
                const std::vector<std::string_view>& newLines, std::string& out,
                const DiffWrite& write) {
    int32_t oldCount = 0;
    int32_t newCount = 0;
    for (size_t e = first; e < last; ++e) {
        oldCount += edits[e].kind != EditKind::Add ? 1 : 0;
        newCount += edits[e].kind != EditKind::Remove ? 1 : 0;
    }
    out += hunkHeader(edits[first].oldLine, oldCount, edits[first].newLine, newCount);
    for (size_t e = first; e < last; ++e) {
        const Edit& edit = edits[e];
        switch (edit.kind) {
        case EditKind::Keep:
            appendLine(out, ' ', oldLines[static_cast<size_t>(edit.oldLine)]);
            break;
        case EditKind::Remove:
            appendLine(out, '-', oldLines[static_cast<size_t>(edit.oldLine)]);
            break;
        case EditKind::Add:
            appendLine(out, '+', newLines[static_cast<size_t>(edit.newLine)]);
            break;
        }
        if (write && out.size() >= kDiffBlock) {
            write(out);
            out.clear();
        }
    }
}

// A name as git writes it on a "---" or "+++" line. One holding a control byte, '"', '\\' or a
// byte beyond ASCII goes in double quotes with C escapes, prefix inside, so that no name can end
// the line early and both git apply and patch read its bytes back. One holding a space, quoted
// or not, is followed by a tab: patch takes an unquoted name up to a tab, not up to a space.
std::string headerName(std::string_view prefix, std::string_view name) {
    const auto plain = [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return byte >= 0x20 && byte < 0x7f && c != '"' && c != '\\';
    };
    std::string out;
    if (std::all_of(name.begin(), name.end(), plain)) {
        out.append(prefix).append(name);
    } else {
        static constexpr std::string_view kLetters = "abtnvfr"; // for bytes 7 to 13
        out = '"';
        out += prefix;
        for (const char c : name) {
            const auto byte = static_cast<unsigned char>(c);
            if (plain(c)) {
                out += c;
            } else if (c == '"' || c == '\\') {
                out += '\\';
                out += c;
            } else if (byte >= 7 && byte <= 13) {
                out += '\\';
                out += kLetters[byte - 7];
            } else {
                out += '\\';
                out += static_cast<char>('0' + (byte >> 6));
                out += static_cast<char>('0' + ((byte >> 3) & 7));
                out += static_cast<char>('0' + (byte & 7));
            }
        }
        out += '"';
    }
    if (name.find(' ') != std::string_view::npos)
        out += '\t';
    return out;
}

// Where each line starts, and the text's end after the last.
std::vector<size_t> lineStarts(const std::vector<std::string_view>& lines) {
    std::vector<size_t> starts{0};
    for (const std::string_view line : lines)
        starts.push_back(starts.back() + line.size());
    return starts;
}

std::vector<Edit> editsBetween(const std::vector<std::string_view>& oldLines,
                               const std::vector<std::string_view>& newLines) {
    std::optional<std::vector<Edit>> script = editScript(oldLines, newLines);
    return script ? std::move(*script) : replaceAll(oldLines.size(), newLines.size());
}

} // namespace

std::vector<Replacement> changedLineRuns(std::string_view oldText, std::string_view newText) {
    if (oldText == newText)
        return {};
    const std::vector<std::string_view> oldLines = splitLines(oldText);
    const std::vector<std::string_view> newLines = splitLines(newText);
    const std::vector<size_t> starts = lineStarts(oldLines);
    const std::vector<Edit> edits = editsBetween(oldLines, newLines);
    std::vector<Replacement> runs;
    for (size_t e = 0; e < edits.size();) {
        if (edits[e].kind == EditKind::Keep) {
            ++e;
            continue;
        }
        // A run of removed and added lines: the removed ones are consecutive old lines.
        Replacement& run = runs.emplace_back();
        run.start = static_cast<int32_t>(starts[static_cast<size_t>(edits[e].oldLine)]);
        run.end = run.start;
        for (; e < edits.size() && edits[e].kind != EditKind::Keep; ++e) {
            if (edits[e].kind == EditKind::Remove)
                run.end = static_cast<int32_t>(starts[static_cast<size_t>(edits[e].oldLine) + 1]);
            else
                run.text += newLines[static_cast<size_t>(edits[e].newLine)];
        }
    }
    return runs;
}

std::string unifiedDiff(std::string_view oldText, std::string_view newText, const std::string& path,
                        const DiffWrite& write) {
    if (oldText == newText)
        return {};
    const std::vector<std::string_view> oldLines = splitLines(oldText);
    const std::vector<std::string_view> newLines = splitLines(newText);
    const std::vector<Edit> edits = editsBetween(oldLines, newLines);
    // "a/" + the path as listed; an absolute path keeps one "/" ("a/tmp/x"), so -p1 applies it
    // from the root as a relative one applies from where the search ran. Its "." and empty
    // steps go: they name the same file, and git apply refuses "a/./x" and "a/s/./x".
    std::string name;
    for (size_t start = 0; start < path.size();) {
        const size_t slash = std::min(path.find('/', start), path.size());
        const std::string_view step = std::string_view(path).substr(start, slash - start);
        if (!step.empty() && step != ".")
            name.append(name.empty() ? "" : "/").append(step);
        start = slash + 1;
    }
    std::string out = "--- " + headerName("a/", name) + "\n+++ " + headerName("b/", name) + "\n";
    // Hunks: each run of changes with up to three kept lines around it, joined with the next
    // run when no more than six kept lines lie between them.
    const auto changeFrom = [&edits](size_t e) {
        while (e < edits.size() && edits[e].kind == EditKind::Keep)
            ++e;
        return e;
    };
    const size_t context = kContextLines;
    for (size_t change = changeFrom(0); change < edits.size();) {
        const size_t first = change >= context ? change - context : 0;
        size_t lastChange = change;
        for (change = changeFrom(change + 1);
             change < edits.size() && change - lastChange - 1 <= 2 * context;
             change = changeFrom(change + 1))
            lastChange = change;
        appendHunk(edits, first, std::min(edits.size(), lastChange + 1 + context), oldLines,
                   newLines, out, write);
    }
    return out;
}

} // namespace kestrava::search
