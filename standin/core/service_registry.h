// The host's service registry: which bosses provide which service (the
// preferences dialog, export providers), in registration order.
#pragma once

#include <map>
#include <vector>

#include "host/IServiceRegistry.h"
#include "standin/core/boss.h"

namespace standin {

class ServiceRegistry {
 public:
  // Adds `provider` (not owned; it must outlive the registry's use) as the
  // last provider of `service`.
  void Add(ServiceID service, Boss* provider) { providers_[service].push_back(provider); }
  // Removes `provider` from every service.
  void Remove(Boss* provider);
  const std::vector<Boss*>& Providers(ServiceID service) const;

  // Gives `session` the IServiceRegistry that answers from this registry.
  void InstallOn(Boss& session);

 private:
  std::map<ServiceID, std::vector<Boss*>> providers_;
};

}  // namespace standin
