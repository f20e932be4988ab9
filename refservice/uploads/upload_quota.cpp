#include "refservice/uploads/upload_quota.h"

namespace refservice {

std::string SizeText(uint64_t bytes) {
  if (bytes >= (1u << 20) && bytes % (1u << 20) == 0) {
    return std::to_string(bytes >> 20) + " MiB";
  }
  return std::to_string(bytes) + " bytes";
}

ReserveResult UploadQuota::Reserve(const std::string& reservation, const std::string& session,
                                   uint64_t needed, uint64_t* held, std::string* why) {
  if (needed <= *held) return ReserveResult::kReserved;
  uint64_t missing = needed - *held;
  uint64_t step = missing < kQuotaReserveStep ? kQuotaReserveStep : missing;
  QuotaResult result = store_->ReserveUploadBytes(reservation, instance_, session, step, limits_);
  if (result != QuotaResult::kReserved && result != QuotaResult::kError && step != missing) {
    result = store_->ReserveUploadBytes(reservation, instance_, session, missing, limits_);
    step = missing;
  }
  switch (result) {
    case QuotaResult::kReserved:
      *held += step;
      return ReserveResult::kReserved;
    case QuotaResult::kSessionFull:
      *why = "session " + session + " would hold more than its quota of " +
             SizeText(limits_.perSession) + " of uploaded files";
      return ReserveResult::kRefused;
    case QuotaResult::kTotalFull:
      *why = "the data folder would hold more than its quota of " + SizeText(limits_.total) +
             " of uploaded files";
      return ReserveResult::kRefused;
    case QuotaResult::kError:
      break;
  }
  *why = "the quota of uploaded files could not be checked";
  return ReserveResult::kError;
}

void UploadQuota::Release(const std::string& reservation) { store_->ReleaseReservation(reservation); }

}  // namespace refservice
