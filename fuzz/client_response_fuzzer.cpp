// Replies of the template service as the plug-in's client reads them: the
// HTTP head and the envelope of any of the eight responses, or a SOAP
// Fault. Whatever arrives is read without harm, and a failed read gives a
// fault report that fits its buffer.
#include <stdsoap2.h>

#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>

#include "fuzz/fuzz_host.h"
#include "osl_soapH.h"
#include "service_client/service_calls.h"
#include "service_client/soap_context.h"

using namespace osl_soap;

namespace {

int Receive(struct soap* soap, uint8_t operation) {
  switch (operation % 8) {
    case 0: {
      _ns4__getLibraryTemplatesResponse response;
      return soap_recv___ns4__getLibraryTemplates(soap, response);
    }
    case 1: {
      _ns2__setTemplateResponse response;
      return soap_recv___ns5__setTemplate(soap, response);
    }
    case 2: {
      _ns2__getFieldsResponse response;
      return soap_recv___ns5__getFields(soap, response);
    }
    case 3: {
      _ns2__setFieldsResponse response;
      return soap_recv___ns5__setFields(soap, response);
    }
    case 4: {
      _ns2__getLogicGroupsResponse response;
      return soap_recv___ns5__getLogicGroups(soap, response);
    }
    case 5: {
      _ns2__setLogicGroupsResponse response;
      return soap_recv___ns5__setLogicGroups(soap, response);
    }
    case 6: {
      _ns2__setAssetsResponse response;
      return soap_recv___ns5__setAssets(soap, response);
    }
    default: {
      _ns2__commitTemplateResponse response;
      return soap_recv___ns5__commitTemplate(soap, response);
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  standin::Host& host = osltest::FuzzHost();
  OslSoapContext context;
  struct soap* soap = context.get();
  if (!soap) return 0;
  std::istringstream reply(std::string(reinterpret_cast<const char*>(data) + 1, size - 1));
  soap->is = &reply;
  const int status = Receive(soap, data[0]);
  if (status != SOAP_OK) {
    host.AlertLog().TakeLog();
    ReportSoapFault(soap);
    const auto alerts = host.AlertLog().TakeLog();
    if (alerts.size() != 1 || alerts[0].text.size() >= kOslFaultReportSize) std::abort();
  }
  soap_destroy(soap);
  soap_end(soap);
  return 0;
}
