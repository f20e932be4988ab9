// How many bytes of uploaded files each session and the whole data folder may hold. Bytes are
// reserved while an upload streams in, kept when it is stored and given back when it fails, so
// that concurrent uploads can never together pass a limit. Thread-safe.
#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <string>

namespace refservice {

class UploadQuota {
 public:
  // Limits in bytes; 0 means no limit.
  UploadQuota(uint64_t perSession, uint64_t perDataFolder)
      : perSession_(perSession), perDataFolder_(perDataFolder) {}

  // Counts bytes already stored (at start-up).
  void AddStored(const std::string& session, uint64_t bytes);

  // Reserves `bytes` more for `session`. Returns false, with a reason fit for the client in
  // `why`, when that would pass the session's or the data folder's limit (nothing is reserved
  // then).
  bool Reserve(const std::string& session, uint64_t bytes, std::string* why);
  // Gives back bytes reserved for an upload that was not stored.
  void Release(const std::string& session, uint64_t bytes);

  uint64_t used(const std::string& session) const;
  uint64_t usedTotal() const;

 private:
  uint64_t perSession_;
  uint64_t perDataFolder_;
  mutable std::mutex mutex_;
  std::map<std::string, uint64_t> sessions_;
  uint64_t total_ = 0;
};

// "N MiB" (or "N bytes" below one MiB), for messages.
std::string SizeText(uint64_t bytes);

}  // namespace refservice
