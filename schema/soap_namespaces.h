// The XML namespace table of the template service, in the order every
// envelope declares it: SOAP-ENV, SOAP-ENC, xsi, xsd, ns3 (the WSDL types
// namespace "http://microsoft.com/wsdl/types/", which holds the guid type),
// ns4 (document builder), ns5 (binding placeholder, declared only), ns2
// (template manager). ns2 is ns4 without its final "/".
#pragma once

struct Namespace;

// The table, terminated by an all-null entry. Static storage; never null.
// Pass it to soap_set_namespaces() right after a context is initialised.
const struct Namespace* OslSoapNamespaces();

// The service namespace URIs (ns4 ends with "/", ns2 is the same without it).
extern const char kOslDocumentBuilderNamespace[];  // ns4
extern const char kOslTemplateManagerNamespace[];  // ns2
