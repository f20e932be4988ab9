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

// Runs the check on the front document. Returns true to go on with the
// publish: no name repeats, or the user answered "Yes" to the question that
// lists the repeated names. False when there is no front document (no
// alert) or the user declined.
bool CheckFieldNames();
