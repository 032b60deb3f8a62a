// The text lines around a file's matched lines, for a run that asks for context. Internal to the
// search run.
#pragma once

#include "search/search.h"

#include <string_view>
#include <vector>

namespace kestrava::search {

// Fills `context` with the lines of `text` within `before` lines before and `after` lines after
// each matched line, in line order, leaving out lines that hold a match. Lines end at a line
// feed; a carriage return before it is not part of the text.
void collectContextLines(std::string_view text, const MatchedLineArray& lines, int32_t before,
                         int32_t after, std::vector<ContextLine>& context);

} // namespace kestrava::search
