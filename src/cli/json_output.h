// kestrava-cli --json: the results as one JSON object per line, for scripts and editors.
#pragma once

#include "search/search.h"

#include <chrono>
#include <iosfwd>

namespace kestrava::cli {

// Writes, for each file with matches, a "begin" object, a "match" object per matched line (and
// a "context" object per context line kept), an "end" object with its counts, and finally a
// "summary" of the run. Where a replacing run kept its replacements, each match gives the text
// put in its place ("replacement"). Texts that are not valid UTF-8 are given as
// {"bytes": base64} instead of {"text": ...}.
void writeJsonResults(const search::SearchResults& results, bool replacing,
                      std::chrono::nanoseconds elapsed, std::ostream& out);

} // namespace kestrava::cli
