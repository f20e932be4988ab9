// What `osl publish` says at its end, from the record the plug-in reported
// (host/IPublishReport.h): one line a person reads, and the note an
// interruption of the run would print. Both escape every control character.
#pragma once

#include <string>

#include "host/IPublishReport.h"

namespace osl_cli {

// "published 'NAME' as ID to SERVER", "updated 'NAME' (ID) at SERVER", or
// "not published: REASON", where a reason the command line can help with
// gets a hint (a wrong user or password: run `osl prefs`) and a run that
// may have left an uncommitted template at the service says so.
std::string PublishResultLine(const PublishRecord& record);

// What an interruption now would leave, after "osl: cancelled": nothing
// yet at the service, or the uncommitted template the service may now
// hold; empty once the record is final.
std::string PublishInterruptNote(const PublishRecord& record);

}  // namespace osl_cli
