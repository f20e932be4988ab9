// Brings the uploaded files back in line with their record after a run that was cut (a kill, a
// crash, a power loss). An upload is recorded as pending before its file is moved to its address
// and as stored once it is there (Store::BeginUpload, Store::RecordUpload), so after a cut:
// - a pending upload was never answered: its address was never handed out, and its file (if the
//   move happened) is removed with the pending record;
// - a file at an address that no record names is removed: nothing of this service put it there
//   through a finished upload, and it would be served while no quota counts it;
// - a temporary file in the incoming folder is an upload cut while it arrived, and is removed;
// - a token folder left empty is removed.
// Must run before the service serves, while it holds the data-folder lock (no upload is in
// flight then). Entries whose shape no address can have are left alone.
#pragma once

#include <string>
#include <vector>

#include "refservice/storage/file_system.h"
#include "refservice/storage/store.h"

namespace refservice {

struct ReconcileCounts {
  int pending = 0;  // pending uploads given up (with their files, where they had been moved)
  int orphans = 0;  // files without a record, removed
  int partial = 0;  // temporary files of uploads cut while they arrived, removed
};

// Reconciles `uploadsFolder` (SESSION/TOKEN/NAME, and SESSION/NAME for files stored before
// tokens) and `incomingFolder` of `fs` with `store`. Returns false when the record could not be
// read (nothing is removed then); a single entry that cannot be removed adds a line to
// `warnings` and does not stop the rest.
bool ReconcileUploads(Store* store, FileSystem* fs, const std::string& uploadsFolder,
                      const std::string& incomingFolder, ReconcileCounts* counts,
                      std::vector<std::string>* warnings);

}  // namespace refservice
