// How many bytes of uploaded files each session and all sessions together may hold. The count is
// the store's: stored files plus the bytes reserved for uploads in flight, so every service that
// shares the store sees the same count, a restart keeps it, and concurrent uploads (to one
// service or to several) can never pass a limit together. An upload reserves its bytes as they
// arrive, under its own reservation (its token); they become the stored file's size when it is
// recorded and are given back when it fails.
#pragma once

#include <cstdint>
#include <string>

#include "refservice/storage/store.h"

namespace refservice {

// Bytes reserved at once while an upload streams in, so that the store is asked once per step
// rather than once per network read. A step that would pass a limit is retried with exactly the
// bytes needed, so a quota can be filled to the byte.
constexpr uint64_t kQuotaReserveStep = 1u << 20;

enum class ReserveResult { kReserved, kRefused, kError };

class UploadQuota {
 public:
  // Limits in bytes; 0 means no limit. `store` must outlive the quota; `instance` is the service
  // instance that holds the reservations.
  UploadQuota(Store* store, std::string instance, uint64_t perSession, uint64_t total)
      : store_(store), instance_(std::move(instance)), limits_{perSession, total} {}

  // Makes sure `needed` bytes in all are reserved under `reservation` for `session`; `*held` is
  // how many already are and is raised to what is held afterwards. kRefused, with a reason fit
  // for the client in `why`, when that would pass the session's or the total limit (nothing more
  // is reserved then); kError when the store failed.
  ReserveResult Reserve(const std::string& reservation, const std::string& session,
                        uint64_t needed, uint64_t* held, std::string* why);
  // Gives back everything reserved under `reservation`.
  void Release(const std::string& reservation);

 private:
  Store* store_;
  std::string instance_;
  QuotaLimits limits_;
};

// "N MiB" (or "N bytes" below one MiB or for a size that is no whole MiB), for messages.
std::string SizeText(uint64_t bytes);

}  // namespace refservice
