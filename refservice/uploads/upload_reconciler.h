// Brings the uploaded files back in line with their record after a service that was cut (a
// kill, a crash, a power loss). An upload is recorded as pending, with the instance that moves
// it, before its file is moved to its address, and as stored once it is there
// (Store::BeginUpload, Store::RecordUpload); a file still arriving is a temporary file in its
// instance's own folder incoming/INSTANCE. So after a cut:
// - a pending upload of an instance that is gone was never answered: its address was never
//   handed out, and its file (if the move happened) is removed with the pending record;
// - a file at an address that no record names, stored or pending, is removed: nothing of this
//   service put it there through a finished upload, and it would be served while no quota
//   counts it;
// - the incoming folder of an instance that is gone holds uploads cut while they arrived, and is
//   removed, as are temporary files directly in incoming/ (where a service kept them before
//   instances had folders of their own);
// - the quota reservations of an instance that is gone are given back, and its record removed;
// - a token folder left empty is removed.
// Services may share a files folder and a store, so one service's start must never touch what a
// live one is doing: an instance is gone when the caller holds the folder alone (`exclusive`), or
// when its heartbeat is older than `staleAfterMs`. Entries whose shape no address can have are
// left alone.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "refservice/storage/file_system.h"
#include "refservice/storage/store.h"

namespace refservice {

struct ReconcileCounts {
  int pending = 0;  // pending uploads given up (with their files, where they had been moved)
  int orphans = 0;  // files without a record, removed
  int partial = 0;  // temporary files of uploads cut while they arrived, removed
  int instances = 0;  // instances found gone and forgotten
};

struct ReconcileScope {
  std::string self;      // the calling instance, registered in the store; never touched
  bool exclusive = true;  // the caller holds the files folder alone: every other instance is gone
  int64_t staleAfterMs = 60000;  // else: an instance whose heartbeat is older is gone
};

// Reconciles `uploadsFolder` (SESSION/TOKEN/NAME, and SESSION/NAME for files stored before
// tokens) and `incomingFolder` of `fs` with `store`. Returns false when the record could not be
// read (nothing is removed then); a single entry that cannot be removed adds a line to
// `warnings` and does not stop the rest.
bool ReconcileUploads(Store* store, FileSystem* fs, const std::string& uploadsFolder,
                      const std::string& incomingFolder, const ReconcileScope& scope,
                      ReconcileCounts* counts, std::vector<std::string>* warnings);

}  // namespace refservice
