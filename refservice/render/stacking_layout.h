// Stacking groups: how far each field moves when members of its group are empty. This is the
// service's contract with designers; refservice/README.md states the rule with an example.
//
// Members of one group are taken per page, in their order on the page: by the top edge of their
// rectangle (highest first), then by the left edge, then in stored order.
// - moveUp: an empty member gives its share, the distance from its top edge to the top edge of the
//   next member below it (its height plus the gap to that member), to every member below it; they
//   move up by the sum of the shares of the empty members above them.
// - moveDown mirrors it: an empty member gives the distance from its bottom edge to the bottom edge
//   of the next member above it to every member above it; they move down by the sum of the shares
//   of the empty members below them.
// A field counts as empty when its value is empty or holds only blanks and line breaks (IsBlank),
// or when the field it depends on
// (logicDependsOn) counts as empty. Fields outside any group, or in a group the template does not
// define, never move.
#pragma once

#include <string>
#include <vector>

#include "refservice/render/template_bundle.h"

namespace refservice {

// True when `utf8` shows nothing: it is empty or holds only spaces, tabs, line and paragraph
// breaks (CR, LF, U+2028, U+2029) and the Unicode space characters (U+00A0, U+1680, U+2000 to
// U+200B, U+202F, U+205F, U+3000, U+FEFF). Bytes that are not UTF-8 count as shown.
bool IsBlank(const std::string& utf8);

// Which fields count as empty: `valueEmpty[i]` says whether field i's own value is empty; a field
// depending on a field that counts as empty counts as empty too (through chains of any length; a
// dependency cycle or an unknown field name adds nothing).
std::vector<bool> EffectiveEmpty(const std::vector<RenderField>& fields,
                                 const std::vector<bool>& valueEmpty);

// The vertical move of every field, in points (positive: up the page, negative: down), for the
// given emptiness. Fields without a rectangle never move.
std::vector<double> StackingMoves(const std::vector<RenderField>& fields,
                                  const std::vector<RenderGroup>& groups,
                                  const std::vector<bool>& empty);

}  // namespace refservice
