#include "refservice/storage/upload_quota.h"

namespace refservice {

std::string SizeText(uint64_t bytes) {
  if (bytes >= (1u << 20) && bytes % (1u << 20) == 0) {
    return std::to_string(bytes >> 20) + " MiB";
  }
  return std::to_string(bytes) + " bytes";
}

void UploadQuota::AddStored(const std::string& session, uint64_t bytes) {
  std::lock_guard<std::mutex> lock(mutex_);
  sessions_[session] += bytes;
  total_ += bytes;
}

bool UploadQuota::Reserve(const std::string& session, uint64_t bytes, std::string* why) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto found = sessions_.find(session);
  uint64_t used = found == sessions_.end() ? 0 : found->second;
  if (perSession_ != 0 && (bytes > perSession_ || used > perSession_ - bytes)) {
    *why = "session " + session + " would hold more than its quota of " + SizeText(perSession_) +
           " of uploaded files";
    return false;
  }
  if (perDataFolder_ != 0 && (bytes > perDataFolder_ || total_ > perDataFolder_ - bytes)) {
    *why = "the data folder would hold more than its quota of " + SizeText(perDataFolder_) +
           " of uploaded files";
    return false;
  }
  sessions_[session] = used + bytes;
  total_ += bytes;
  return true;
}

void UploadQuota::Release(const std::string& session, uint64_t bytes) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto found = sessions_.find(session);
  if (found == sessions_.end()) return;
  uint64_t back = std::min(bytes, found->second);
  found->second -= back;
  total_ -= std::min(back, total_);
  if (found->second == 0) sessions_.erase(found);
}

uint64_t UploadQuota::used(const std::string& session) const {
  std::lock_guard<std::mutex> lock(mutex_);
  auto found = sessions_.find(session);
  return found == sessions_.end() ? 0 : found->second;
}

uint64_t UploadQuota::usedTotal() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return total_;
}

}  // namespace refservice
