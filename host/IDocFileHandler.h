// Saving documents.
#pragma once

#include "HostInterfaceIDs.h"
#include "IDFile.h"
#include "IPMUnknown.h"
#include "UIDRef.h"

class IDocFileHandler : public IPMUnknown {
 public:
  enum { kDefaultIID = IID_IDOCFILEHANDLER };
  // Writes a copy of document `document` in the host's native format to
  // `file` (the document keeps its own file and stays open). On failure the
  // host's global error code is set (ErrorUtils); a copy that cannot be
  // written whole is not left behind. UI flag 0 shows no dialog.
  virtual void SaveACopy(const UIDRef& document, const IDFile& file, int32 uiFlags) = 0;
  virtual ~IDocFileHandler() = default;
};

// Document utilities (UtilsBoss::QueryUtils).
class IDocumentUtils : public IPMUnknown {
 public:
  enum { kDefaultIID = IID_IDOCUMENTUTILS };
  // The file handler of `document` with a reference added, or null.
  virtual IDocFileHandler* QueryDocFileHandler(const UIDRef& document) const = 0;
  virtual ~IDocumentUtils() = default;
};
