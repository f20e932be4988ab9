// The host entry points the Windows test host implements itself: the session
// of the execution context, which the test program installs, and no current
// stand-in host (so the stand-in's own text code, linked beside this file,
// leaves translatable text as it is: the test host has no string tables).
#include "host/ISession.h"
#include "standin/app/host.h"

namespace {
ISession* gSession = nullptr;
}  // namespace

ISession* GetExecutionContextSession() { return gSession; }

standin::Host* standin::Host::CurrentOrNull() { return nullptr; }

// Installs `session` (not owned; null: no session).
extern "C" void OslTestHostSetSession(ISession* session) { gSession = session; }
