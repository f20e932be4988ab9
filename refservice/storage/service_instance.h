// This service's membership among the services that share a store: it registers under a fresh
// id, beats its heart while it runs (so that the others know it is live and leave its uploads in
// flight alone) and, when it stops, forgets itself and the quota bytes it still held.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

#include "refservice/storage/store.h"

namespace refservice {

class ServiceInstance {
 public:
  // `store` must outlive the instance.
  explicit ServiceInstance(Store* store);
  // Stops the heartbeat and forgets the instance.
  ~ServiceInstance();
  ServiceInstance(const ServiceInstance&) = delete;
  ServiceInstance& operator=(const ServiceInstance&) = delete;

  // Registers under a fresh id (32 hexadecimal digits) with a description of this process. False
  // on a database error.
  bool Register();
  // Beats the heart every `intervalMs` on a thread of its own until Stop. False when the thread
  // cannot be started.
  bool StartHeartbeat(int64_t intervalMs);
  // Ends the heartbeat and removes the instance's record and reservations. Safe to call twice.
  void Stop();

  const std::string& id() const { return id_; }
  const std::string& description() const { return description_; }

 private:
  Store* store_;
  std::string id_;
  std::string description_;
  std::thread heart_;
  std::mutex mutex_;
  std::condition_variable wake_;
  bool stopping_ = false;
  bool registered_ = false;
};

}  // namespace refservice
