// Keeps a publish run's hold on its template while the run works on this
// machine. The service holds a template for one run at a time and lets the
// hold lapse when the run has made no call for its publish time-out (30 s
// unless configured); a run whose own work between two calls takes longer
// (a large upload, the proof PDF of a long document, a question waiting for
// its answer) would otherwise lose the template to another publish midway.
//
// While a keeper lives, a thread of its own makes the run's cheapest call,
// getLogicGroups of the run's template, every `interval` on its own SOAP
// context; the service renews the hold with every call of the run. The
// keeper never touches the host (no alerts, no progress) and ignores the
// answers: a failure of the service shows at the run's own next call. When
// the process ends (quit, Ctrl-C, a kill) the thread ends with it and the
// hold lapses within the time-out, so a publisher that stopped keeps nobody
// out for long.
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

class LeaseKeeper {
 public:
  // How often a keeper renews: a third of the service's default time-out,
  // so that two late or lost renewals still leave the hold in place.
  static constexpr std::chrono::milliseconds kInterval{10000};

  // Starts the thread; `renew` is called from it every `interval` until the
  // keeper is destroyed. `renew` must not touch the host.
  explicit LeaseKeeper(std::function<void()> renew, std::chrono::milliseconds interval = kInterval);
  // Stops the thread and waits for a renewal in progress (bounded by the
  // call's own time limits).
  ~LeaseKeeper();
  LeaseKeeper(const LeaseKeeper&) = delete;
  LeaseKeeper& operator=(const LeaseKeeper&) = delete;

  // The number of renewals made so far.
  int Renewals() const;

 private:
  void Loop();

  const std::function<void()> renew_;
  const std::chrono::milliseconds interval_;
  mutable std::mutex mutex_;
  std::condition_variable wake_;
  bool stopping_ = false;
  int renewals_ = 0;
  std::thread thread_;
};

// The renewal of a publish run's hold: getLogicGroups of the template
// `templateID` / `templatePassword` at `endpoint` with the account `user` /
// `password`, on a SOAP context of its own.
std::function<void()> TemplateHoldRenewal(std::string endpoint, std::string user,
                                          std::string password, std::string templateID,
                                          std::string templatePassword);
