// The running application session: the root boss of the host. It carries
// the implementation registration (IID_IREGISTRATION) and the plug-in list.
#pragma once

#include "HostInterfaceIDs.h"
#include "IPMUnknown.h"

class ISession : public IPMUnknown {
 public:
  enum { kDefaultIID = IID_ISESSION };
  virtual ~ISession() = default;
};

// The session of the current execution context, or null before the host
// has started one. Not owned by the caller (no reference is added).
ISession* GetExecutionContextSession();
