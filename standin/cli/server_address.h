// The check `osl prefs --server` makes before it stores an address: the
// plug-in stores whatever the preferences panel holds, so the command line
// refuses what can never reach a service.
#pragma once

#include <string>

namespace osl_cli {

// True when `address` starts with "http://" or "https://" (any case), names
// a host after it, and holds no blank or control character. Otherwise false
// with *why in plain words ("it must start with http:// or https://").
bool CheckServerAddress(const std::string& address, std::string* why);

}  // namespace osl_cli
