// Texts of the publishing alerts: string keys translated through the host's
// string tables, and literal texts that are never looked up.
#pragma once

#include <string>

#include "host/PMString.h"

// The host's text for string key `key`, marked as translated (it is not
// looked up again when shown).
PMString Translated(const char* key);
// `text` as it is: never treated as a string key.
PMString Literal(const std::string& text);
