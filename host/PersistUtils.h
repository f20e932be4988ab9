// Persistent identity of objects.
#pragma once

#include "IPMUnknown.h"
#include "UIDRef.h"

// The persistent name of the boss behind `object` (any of its
// implementations); the null reference for non-persistent objects or null.
UIDRef GetUIDRef(const IPMUnknown* object);
