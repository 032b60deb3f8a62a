// The search engine, all its parts: the Folder(s) and File(s) entries, the walk, the records, the
// run, replacing and the press. Include the part a file needs where it needs one.
#pragma once

#include "search/criteria.h"
#include "search/entries.h"
#include "search/file_list.h"
#include "search/records.h"
#include "search/replace.h"
#include "search/run.h"
