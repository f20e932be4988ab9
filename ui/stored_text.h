// Text a designer types into a dialog or panel and the plug-in stores as a
// value of a field tag or of the document's template data. The stored
// format separates its entries with "|||", so a value cannot hold that
// sequence, nor end in "|" or "||" (they would join the separator that
// follows): the tag map drops them when it writes the value. The helpers
// here make that visible to the designer instead of changing the text
// without a word.
#pragma once

#include <vector>

#include "host/PMString.h"

// `typed` exactly as the label format will store it.
PMString StoredLabelValue(const PMString& typed);

// The runs of characters of `typed` that are missing from `stored` (a
// subsequence of `typed`, as StoredLabelValue returns it), in order; each run
// is a stretch of consecutive characters of `typed`.
std::vector<PMString> RemovedRuns(const PMString& typed, const PMString& stored);

// StoredLabelValue(typed). When that differs from `typed`, first shows a
// warning alert that names the value (`whatKey`, a string-table key such as
// "0x199e00kPromptTextWhatKey"), the typed and the stored text and the
// characters that were removed.
PMString StoreTypedText(const char* whatKey, const PMString& typed);
