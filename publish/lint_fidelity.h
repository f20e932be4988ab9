// The lint's rules about what a filled document shows otherwise than the
// layout: a tag on a hidden item, text styles and alignments a field record
// cannot carry, a stroke on a text field, a group of text frames published
// as an image, and items lying above a field (which the document builder
// draws over them). Each finding is one the designer would otherwise learn
// of only from a customer's document.
#pragma once

#include <utility>
#include <vector>

#include "host/IDocument.h"
#include "publish/lint.h"

// A finding with the place it sorts at: (page number, visiting order of its
// item over the document, a group before its members, as the lint visits
// items).
using PlacedLintFinding = std::pair<std::pair<int32, int32>, LintFinding>;

// Characters of a story whose attributes are compared; the rest of a longer
// story is not read.
constexpr int32 kMaxStyleCheckedCharacters = 65536;

// The findings of those rules for `document` (none for null), in no
// particular order.
std::vector<PlacedLintFinding> LintFidelity(IDocument* document);
