// Control types of template fields as the designer chooses them: the code
// stored in a field tag's "controlType", the position in the field panel's
// list and the display key of each entry. A code means different things on
// a text frame (a frame whose content is a story) and on a graphic frame
// (any other frame). Code 2 (the picker types) is never offered, so the
// lists skip it and positions map to codes arithmetically.
#pragma once

#include <string>

#include "host/BaseTypes.h"

namespace controltypes {

enum class FrameKind { kText, kGraphic };

// The code a disabled list stores (its position is taken as 4).
constexpr int32 kDisabledListPosition = 4;
constexpr int32 kDisabledListCode = 5;

// The stored code of list position `position`: position for positions
// below 2, position + 1 from 2 on.
constexpr int32 CodeOfPosition(int32 position) { return position < 2 ? position : position + 1; }
// The list position that shows code `code`: code for codes up to 2, code - 1
// above. A code outside the table gives a position outside the list.
constexpr int32 PositionOfCode(int32 code) { return code <= 2 ? code : code - 1; }

// How many entries the list of `kind` offers (4 for text, 3 for graphic).
int32 ListLength(FrameKind kind);
// The display key of list entry `position` of `kind`; null outside the list.
const char* ListKey(FrameKind kind, int32 position);
// The display key of stored code `code` on a frame of `kind`, including the
// picker types (code 2) the list does not offer; null for a code without a
// meaning on that kind (4 on a graphic frame, 5, anything else).
const char* DisplayKeyOfCode(FrameKind kind, int32 code);
// DisplayKeyOfCode of `code` as a field tag stores it: only a single
// decimal digit is a code, so null for any other text.
const char* DisplayKeyOfCodeText(FrameKind kind, const std::string& code);

}  // namespace controltypes
