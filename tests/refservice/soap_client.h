// A test client of osl-service: the eight operations through the generated gSOAP client calls,
// set up like the plug-in's context, with time-outs so a broken service cannot hang a test.
#pragma once

#include <stdsoap2.h>

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "osl_soapH.h"

namespace osltest {

constexpr char kZeroGuidText[] = "00000000-0000-0000-0000-000000000000";

struct SoapContextDeleter {
  void operator()(struct soap* soap) const;
};
using SoapContext = std::unique_ptr<struct soap, SoapContextDeleter>;

// A context like the plug-in's (UTF-8 strings, nil elements) with 10-second time-outs.
SoapContext NewClientContext();

// A nillable text member, "<nil>" when absent (so a missing member fails a test, not crash it).
std::string Text(const std::string* value);

// The fault string of the context's last call, or "".
std::string FaultText(struct soap* soap);

// The XML text of a field record as the generated serializer writes it.
std::string ToXml(const osl_soap::ns2__OstrFieldInfo& field);

// One asset of a setAssets request.
struct AssetSpec {
  std::string url;
  std::string name;
  osl_soap::ns2__eAssetType type = osl_soap::ns2__eAssetType__tolvanDocument;
};

// Drives one running service. The calls without credentials use the account given to the
// constructor. Every call returns the gSOAP status; results live in the client's context until it
// is destroyed.
class SoapClient {
 public:
  SoapClient(uint16_t port, std::string email, std::string password);

  struct soap* soap() {
    return soap_.get();
  }

  int GetLibraryTemplates(const std::string& email, const std::string& password,
                          std::vector<osl_soap::ns4__libraryTemplate*>* out);
  // setTemplate with a template named `name`; `code`/`codePassword` null create a new one.
  int SetTemplate(const std::string& email, const std::string& password, const std::string& name,
                  const std::string* code, const std::string* codePassword,
                  osl_soap::ns2__libraryTemplate** out);
  // Creates a template with the client's account; returns its identifier and password, or two
  // empty texts (with a test failure) when the service refuses.
  std::pair<std::string, std::string> CreateTemplate(const std::string& name);
  int GetFields(const std::string& email, const std::string& password, const std::string& id,
                const std::string& idPassword, std::vector<osl_soap::ns2__OstrFieldInfo*>* out);
  int SetFields(const std::string& id, const std::string& idPassword,
                std::vector<osl_soap::ns2__OstrFieldInfo*> fields, bool deleteOthers,
                std::vector<osl_soap::ns2__OstrFieldInfo*>* out);
  int GetLogicGroups(const std::string& id, const std::string& idPassword,
                     std::vector<osl_soap::ns2__logicGroup*>* out);
  // setLogicGroups with (id, name) pairs, all moving down.
  int SetLogicGroups(const std::string& id, const std::string& idPassword,
                     const std::vector<std::pair<int, std::string>>& groups,
                     std::vector<osl_soap::ns2__logicGroup*>* out);
  int SetAssets(const std::string& id, const std::string& idPassword,
                const std::vector<AssetSpec>& assets, std::vector<osl_soap::ns2__assetInfo*>* out);
  int CommitTemplate(const std::string& id, const std::string& idPassword,
                     osl_soap::ns2__libraryTemplate** out);

  // A field record named `name`, owned by this client's context, every other member at its
  // default.
  osl_soap::ns2__OstrFieldInfo* NewField(const std::string& name);

 private:
  template <typename Request>
  void Fill(Request* request, const std::string& id, const std::string& idPassword);

  SoapContext soap_;
  std::string email_;
  std::string password_;
  std::string builder_;
  std::string manager_;
};

}  // namespace osltest
