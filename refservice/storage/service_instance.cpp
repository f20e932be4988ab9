#include "refservice/storage/service_instance.h"

#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <system_error>

#include "refservice/common/identifiers.h"

namespace refservice {

ServiceInstance::ServiceInstance(Store* store) : store_(store), id_(RandomHex(16)) {
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
  // The heart takes no signals (the thread inherits this mask): the signals that stop the service
  // belong to the thread that waits for them.
  sigset_t all, previous;
  sigfillset(&all);
  pthread_sigmask(SIG_BLOCK, &all, &previous);
  struct Restore {
    sigset_t* mask;
    ~Restore() { pthread_sigmask(SIG_SETMASK, mask, nullptr); }
  } restore{&previous};
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
