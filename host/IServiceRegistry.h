// The host's service registry (on the session boss): finds the object that
// provides a service, such as the preferences dialog or the export
// providers.
#pragma once

#include "IPMUnknown.h"
#include "WidgetInterfaceIDs.h"

class IServiceRegistry : public IPMUnknown {
 public:
  enum { kDefaultIID = IID_ISERVICEREGISTRY };
  // The provider of `service` (a boss) with a reference added, or null when
  // nothing provides it.
  virtual IPMUnknown* QueryServiceProvider(ServiceID service) const = 0;
  // How many providers offer `service`, and provider `index` of them (in
  // registry order) with a reference added, or null outside the range.
  virtual int32 GetServiceProviderCount(ServiceID service) const = 0;
  virtual IPMUnknown* QueryNthServiceProvider(ServiceID service, int32 index) const = 0;
  virtual ~IServiceRegistry() = default;
};
