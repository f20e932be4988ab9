#include "refservice/storage/service_instance.h"

#include <unistd.h>

#include <chrono>
#include <system_error>

#include "refservice/storage/file_util.h"

namespace refservice {

ServiceInstance::ServiceInstance(Store* store) : store_(store), id_(NewUploadToken()) {
  char host[256] = {};
  if (::gethostname(host, sizeof host - 1) != 0) host[0] = '\0';
  description_ = "pid " + std::to_string(::getpid()) + " on host " + host;
}

ServiceInstance::~ServiceInstance() { Stop(); }

bool ServiceInstance::Register() {
  registered_ = store_->RegisterInstance(id_, description_);
  return registered_;
}

bool ServiceInstance::StartHeartbeat(int64_t intervalMs) {
  try {
    heart_ = std::thread([this, intervalMs] {
      std::unique_lock<std::mutex> lock(mutex_);
      while (!wake_.wait_for(lock, std::chrono::milliseconds(intervalMs),
                             [this] { return stopping_; })) {
        lock.unlock();
        store_->Heartbeat(id_, description_);
        lock.lock();
      }
    });
  } catch (const std::system_error&) {
    return false;
  }
  return true;
}

void ServiceInstance::Stop() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_all();
  if (heart_.joinable()) heart_.join();
  if (registered_) store_->ForgetInstance(id_);
  registered_ = false;
}

}  // namespace refservice
