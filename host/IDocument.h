// A layout document (on the document boss).
#pragma once

#include "HostInterfaceIDs.h"
#include "IPMUnknown.h"
#include "PMString.h"
#include "UIDRef.h"

class IDocument : public IPMUnknown {
 public:
  enum { kDefaultIID = IID_IDOCUMENT };
  // The document's object store; valid as long as the document is open.
  virtual IDataBase* GetDocDataBase() const = 0;
  virtual PMString GetName() const = 0;
  virtual ~IDocument() = default;
};
