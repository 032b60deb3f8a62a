// What the preview shows of a result file: the lines around one matched line, decoded for the
// screen, with the place of every match among them. Only a stretch around that line is read,
// so a file of any size opens at once; nothing here draws.
#pragma once

#include "search/search.h"

#include <QString>

#include <cstdint>
#include <vector>

namespace kestrava::ui {

// A match (or the part of one) within a shown line, in UTF-16 columns of that line.
struct PreviewSpan {
    int line = 0; // index among the lines shown
    int start = 0;
    int length = 0;
    bool operator==(const PreviewSpan&) const = default;
};

struct PreviewText {
    QString problem; // when set, nothing could be shown and this says why
    QString text;    // the lines shown, joined by "\n"
    int lineCount = 0;
    int64_t firstLineNumber = 1;      // of the first line shown (from 1, counting line feeds)
    int anchorLine = -1;              // index of the chosen match's line among those shown
    int anchorColumn = 0;             // where that match starts in it
    bool wholeFile = true;            // false: the file goes on above or below what is shown
    std::vector<PreviewSpan> matches; // in order
};

// How much is read around the chosen line, at most.
struct PreviewLimits {
    int linesAround = 2000;                    // lines above and below it
    int64_t bytesAround = int64_t{128} * 1024; // bytes before and after its match
};

// The text of results file `fileIndex` around its matched line `lineIndex`, with every match of
// that file among the lines read. problem is set when the file cannot be opened, is no regular
// file, or no longer holds what the search found there.
PreviewText loadPreviewText(const search::SearchResults& results, size_t fileIndex,
                            size_t lineIndex, const PreviewLimits& limits = {});

} // namespace kestrava::ui
