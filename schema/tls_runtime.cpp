#include "schema/tls_runtime.h"

#include <stdsoap2.h>

#include <mutex>

void OslInitTlsRuntime() {
  static std::once_flag once;
  std::call_once(once, [] { soap_ssl_init(); });
}
