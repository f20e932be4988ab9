// Identifiers as plug-in resources write them: numbers, or strings holding
// a decimal or "0x..." number; interface identifiers also by name.
#pragma once

#include <nlohmann/json.hpp>
#include <string>

#include "host/IPMUnknown.h"

namespace standin {

// Parses an identifier written as a number or as a "0x..." / decimal
// string of at most 32 bits. False for anything else.
bool ParseNumericID(const nlohmann::json& value, uint32* id);
// A host interface identifier by name ("IActionComponent") or number.
bool ParseInterfaceID(const nlohmann::json& value, PMIID* iid);

// An identifier as messages and dialog scripts write it: "0x1A2B", or
// "0x1a2b" with `lowerCase`.
std::string HexID(uint32 id, bool lowerCase = false);

}  // namespace standin
