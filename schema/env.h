// Input of `soapcpp2 -penv`: the global SOAP Header and Fault serializers that
// the gSOAP runtime library calls by name. They are built once, into the
// namespace-table library, and shared by every module; the template service's
// own serializers live in the C++ namespace osl_soap.
