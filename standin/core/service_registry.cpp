#include "standin/core/service_registry.h"

#include <algorithm>

namespace standin {

namespace {

class ServiceRegistryImpl : public CPMUnknown<IServiceRegistry> {
 public:
  ServiceRegistryImpl(IPMUnknown* boss, const ServiceRegistry* registry)
      : CPMUnknown(boss), registry_(registry) {}
  IPMUnknown* QueryServiceProvider(ServiceID service) const override {
    return QueryNthServiceProvider(service, 0);
  }
  int32 GetServiceProviderCount(ServiceID service) const override {
    return static_cast<int32>(registry_->Providers(service).size());
  }
  IPMUnknown* QueryNthServiceProvider(ServiceID service, int32 index) const override {
    const auto& providers = registry_->Providers(service);
    if (index < 0 || static_cast<size_t>(index) >= providers.size()) return nullptr;
    Boss* provider = providers[static_cast<size_t>(index)];
    provider->AddRef();
    return provider;
  }

 private:
  const ServiceRegistry* registry_;
};

}  // namespace

void ServiceRegistry::Remove(Boss* provider) {
  for (auto& entry : providers_) {
    auto& list = entry.second;
    list.erase(std::remove(list.begin(), list.end(), provider), list.end());
  }
}

const std::vector<Boss*>& ServiceRegistry::Providers(ServiceID service) const {
  static const std::vector<Boss*> kNone;
  auto it = providers_.find(service);
  return it == providers_.end() ? kNone : it->second;
}

void ServiceRegistry::InstallOn(Boss& session) {
  if (!session.Has(IID_ISERVICEREGISTRY)) {
    session.AddNew<ServiceRegistryImpl>(IID_ISERVICEREGISTRY, this);
  }
}

}  // namespace standin
