#include "publish/lease_keeper.h"

#include <utility>

#include "osl_soapH.h"
#include "service_client/messages.h"
#include "service_client/service_calls.h"
#include "service_client/soap_context.h"

namespace {
constexpr int kRenewalSocketSeconds = 5;
}  // namespace

LeaseKeeper::LeaseKeeper(std::function<void()> renew, std::chrono::milliseconds interval)
    : renew_(std::move(renew)), interval_(interval), thread_([this] { Loop(); }) {}

LeaseKeeper::~LeaseKeeper() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_all();
  thread_.join();
}

int LeaseKeeper::Renewals() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return renewals_;
}

void LeaseKeeper::Loop() {
  std::unique_lock<std::mutex> lock(mutex_);
  while (!wake_.wait_for(lock, interval_, [this] { return stopping_; })) {
    lock.unlock();
    if (renew_) renew_();
    lock.lock();
    ++renewals_;
  }
}

std::function<void()> TemplateHoldRenewal(std::string endpoint, std::string user,
                                          std::string password, std::string templateID,
                                          std::string templatePassword) {
  return [endpoint = std::move(endpoint), user = std::move(user), password = std::move(password),
          templateID = std::move(templateID), templatePassword = std::move(templatePassword)] {
    OslSoapContext context;
    if (!context) return;
    // A renewal that cannot get through quickly is of no use, and the run's
    // end waits for the one in progress: short socket limits.
    context.get()->connect_timeout = kRenewalSocketSeconds;
    context.get()->send_timeout = kRenewalSocketSeconds;
    context.get()->recv_timeout = kRenewalSocketSeconds;
    osl_soap::_ns2__getLogicGroups request;
    request.userEmail = user;
    request.userPassword = password;
    request.docCode = templateID;
    request.docPassword = templatePassword;
    osl_soap::_ns2__getLogicGroupsResponse response;
    CallGetLogicGroups(context.get(), endpoint.c_str(), nullptr, &request, response);
  };
}
