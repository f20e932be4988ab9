#include "schema/soap_namespaces.h"

#include <stdsoap2.h>

const char kOslDocumentBuilderNamespace[] = "urn:osl:templates/";
const char kOslTemplateManagerNamespace[] = "urn:osl:templates";

namespace {

// Input patterns: the envelope accepts SOAP 1.1 only; xsi and xsd accept any
// year. The last row ends the table.
const struct Namespace kTable[] = {
    {"SOAP-ENV", "http://schemas.xmlsoap.org/soap/envelope/", nullptr, nullptr},
    {"SOAP-ENC", "http://schemas.xmlsoap.org/soap/encoding/", "http://www.w3.org/*/soap-encoding",
     nullptr},
    {"xsi", "http://www.w3.org/2001/XMLSchema-instance", "http://www.w3.org/*/XMLSchema-instance",
     nullptr},
    {"xsd", "http://www.w3.org/2001/XMLSchema", "http://www.w3.org/*/XMLSchema", nullptr},
    {"ns3", "http://microsoft.com/wsdl/types/", nullptr, nullptr},
    {"ns4", kOslDocumentBuilderNamespace, nullptr, nullptr},
    {"ns5", "urn:osl:placeholder", nullptr, nullptr},
    {"ns2", kOslTemplateManagerNamespace, nullptr, nullptr},
    {nullptr, nullptr, nullptr, nullptr},
};

}  // namespace

const struct Namespace* OslSoapNamespaces() { return kTable; }

// The gSOAP runtime library refers to a table by this name; a context that was
// never given one still speaks the service's namespaces.
SOAP_NMAC struct Namespace namespaces[] = {kTable[0], kTable[1], kTable[2], kTable[3], kTable[4],
                                           kTable[5], kTable[6], kTable[7], kTable[8]};
