// The outcome of a publish run, reported to the host as a record rather than
// only as alerts, so that the host can say in one line what happened (and
// hand the same record to a script). On the session; a host may not offer
// it, in which case the run's alerts are its only report.
//
// The run calls Update with the whole record each time it changes: when it
// starts, when it is about to ask the service to create or change the
// template (from then on the service may hold an uncommitted template, until
// the commit succeeded), when the service named the template's identifier,
// and once at the end with a final status. A run that ends before it starts
// (its action refused, its dialog cancelled) may report only the final
// record.
#pragma once

#include <string>

#include "HostInterfaceIDs.h"
#include "IPMUnknown.h"

struct PublishRecord {
  enum class Status {
    kRunning,       // not ended yet
    kPublished,     // a new template was created and committed
    kUpdated,       // an existing template was changed and committed
    kNotPublished,  // the run stopped; `reason` says why
  };
  // What kind of thing stopped a run (kNone unless kNotPublished).
  enum class Fault {
    kNone,
    kNotConfigured,   // no server address in the settings
    kCancelled,       // the designer cancelled the properties dialog
    kDeclined,        // the designer chose not to replace a template
    kCredentials,     // the service refused the user name or password
    kNoService,       // nothing answered at the service's address
    kTimeout,         // the service took too long
    kTls,             // the secure connection could not be made
    kHttpStatus,      // the service answered an HTTP status other than 200
    kServiceRefused,  // the service answered with a fault of its own
    kTransfer,        // the exchange broke off or its answer was unreadable
    kLocal,           // something on this machine failed (file, export, memory)
  };

  Status status = Status::kRunning;
  Fault fault = Fault::kNone;
  std::string name;        // the template name (UTF-8)
  std::string server;      // the service's base address, as configured
  std::string templateID;  // the service's identifier; empty until known
  std::string reason;      // plain words, UTF-8; empty unless kNotPublished
  int httpStatus = 0;      // the status answered, for kHttpStatus
  // True from the moment the run asked the service to create or change the
  // template until the commit succeeded: an interrupted or failed run may
  // leave an uncommitted template at the service.
  bool serviceMayHoldUncommitted = false;
};

class IPublishReport : public IPMUnknown {
 public:
  enum { kDefaultIID = IID_IPUBLISHREPORT };
  // The run's record as it stands now (rules in the file comment). The host
  // copies what it keeps; it must not call back into the plug-in.
  virtual void Update(const PublishRecord& record) = 0;
  virtual ~IPublishReport() = default;
};
