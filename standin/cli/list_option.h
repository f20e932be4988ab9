// Options that choose an entry of one of the plug-in's drop-down lists
// (the control type, the client type, the move direction) by name or by
// position. A name stands for the entry whose caption is the translation
// of the display key the plug-in's resources give that name ("choices"), so
// a name always means the same entry whatever position the list gives it.
#pragma once

#include <string>
#include <vector>

#include "host/BaseTypes.h"

namespace standin {
class StringTables;
}

namespace osl_cli {

struct ListEntryName {
  const char* name;  // what the option takes ("textbox")
};

// The names of the field panel's control types, of the template dialog's
// client types and of the group dialog's move directions.
const std::vector<ListEntryName>& ControlTypeNames();
const std::vector<ListEntryName>& ClientTypeNames();
const std::vector<ListEntryName>& DirectionNames();

// "a|b|c" of `names`, for help texts.
std::string NameChoices(const std::vector<ListEntryName>& names);

// The position `value` chooses in a list whose entries read `captions`:
// a decimal position, or one of `names` whose caption (the text of the
// display key `strings` gives the name) the list holds.
// False with *error ("--type image: ...", naming what the list offers) when
// the value is neither.
bool ResolveListOption(const std::string& option, const std::string& value,
                       const std::vector<ListEntryName>& names,
                       const std::vector<std::string>& captions,
                       const standin::StringTables& strings, int32* position, std::string* error);

}  // namespace osl_cli
