// The field-name check made before every publish: two tagged page items of
// the front document with the same field name are listed, and the user
// decides whether to publish anyway. Tags are not changed (apart from the
// field panel's pending input, which is committed first).
#pragma once

#include "host/PMString.h"
#include "host/UIDRef.h"

// The report of repeated field names among `items` (in that order): one
// entry per second and later occurrence of a name, each a line feed, three
// spaces and the name in double quotes. Names compare exactly (letter case
// and spaces count); items without a field name take no part. Empty when no
// name repeats.
PMString DuplicateFieldNames(const UIDList& items);

// The report of field names among `items` that hold a control character
// (U+0000 to U+001F, U+007F to U+009F): one entry per such item, in the
// duplicate report's form, each control character written as \xHH (below
// U+0080) or \uHHHH. Such a name cannot travel to the service intact (a NUL
// ends it there, so "Full\0A" and "Full\0B" would both be stored as "Full"),
// so it is refused rather than sent. Empty when every name is clean.
PMString FieldNamesWithControlCharacters(const UIDList& items);

// Runs the check on the front document. Returns true to go on with the
// publish: every name is free of control characters and no name repeats, or
// the user answered "Yes" to the question that lists the repeated names.
// False when there is no front document (no alert), when a name holds a
// control character (an error alert lists the names, and the publish stops
// without a question), or the user declined.
bool CheckFieldNames();
