// One SOAP operation of osl-service (OSL_FUZZ_OPERATION), driven the way the service drives it:
// the request body goes through the pre-scan, then through the generated server skeleton reading
// from memory, against an in-memory store holding one user, one template with a group, a field
// and an asset. Each input runs inside a transaction that is rolled back, so every input starts
// from that same state. Checks: every request is answered with 200 or 500, and a request answered
// with a fault has changed nothing.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "osl_soapH.h"
#include "refservice/templates/field_record.h"
#include "refservice/app/service_app.h"
#include "refservice/soap/soap_endpoint.h"
#include "refservice/storage/sqlite_driver.h"
#include "refservice/storage/store.h"
#include "refservice/templates/template_manager.h"
#include "refservice/soap/xml_guard.h"

namespace {

using namespace refservice;

constexpr char kOperation[] = OSL_FUZZ_OPERATION;
constexpr char kUser[] = "fuzz@example.org";
constexpr char kPassword[] = "fuzz-pw";
constexpr char kTemplateId[] = "11111111-2222-4333-8444-555555555555";
constexpr char kTemplatePassword[] = "66666666-7777-4888-9999-aaaaaaaaaaaa";

[[noreturn]] void Fail(const char* what) {
  std::fprintf(stderr, "soap_%s: %s\n", kOperation, what);
  std::abort();
}

// Everything a request could change, as text.
std::string Snapshot(Store* store) {
  std::string out;
  std::vector<TemplateSummary> templates;
  if (!store->ListAllTemplates(&templates)) Fail("the store cannot be read");
  for (const TemplateSummary& summary : templates) {
    const TemplateData& data = summary.data;
    out += data.docId + "|" + data.docPassword + "|" + data.name.value_or("<nil>") + "|" +
           data.width + "|" + std::to_string(data.committed) + "|" +
           std::to_string(summary.commitCount) + "\n";
    std::vector<FieldData> fields;
    std::vector<LogicGroupData> groups;
    std::vector<AssetData> assets;
    if (!store->GetFields(summary.row, &fields) || !store->GetLogicGroups(summary.row, &groups) ||
        !store->GetAssets(summary.row, &assets)) {
      Fail("the store cannot be read");
    }
    for (const FieldData& field : fields) out += "F" + field.name + "=" + field.record + "\n";
    for (const LogicGroupData& group : groups) {
      out += "G" + std::to_string(group.id) + group.name + std::to_string(group.moveDirection);
    }
    for (const AssetData& asset : assets) {
      out += "A" + asset.name.value_or("<nil>") + asset.url.value_or("<nil>") +
             std::to_string(asset.type);
    }
  }
  return out;
}

// One account service for every run: its cache spares the Argon2 run of each sign-in, and the
// cheapest parameters keep the first one short.
refservice::Accounts* FuzzAccounts(Store* store) {
  static auto* accounts = [store] {
    refservice::AccountsOptions options;
    options.argon2 = refservice::Argon2Params{1, 8, 1};
    return new refservice::Accounts(store, options);
  }();
  return accounts;
}

void Fill(Store* store) {
  if (!FuzzAccounts(store)->SetPassword(kUser, kPassword)) Fail("cannot add the user");
  TemplateData data;
  data.name = "Fuzz";
  data.docId = kTemplateId;
  data.docPassword = kTemplatePassword;
  data.userId = 1;
  data.width = "612";
  int64_t row = store->InsertTemplate(data);
  if (row == 0 || store->AddLogicGroup(row, "Address", 0) == 0) Fail("cannot add the template");
  FieldRecordCodec codec;
  osl_soap::ns2__OstrFieldInfo field;
  field.soap_default(nullptr);
  std::string name = "name";
  field.fieldName = &name;
  FieldData stored{"name", ""};
  if (!codec.ToStored(field, &stored.record) || !store->ReplaceFields(row, {stored})) {
    Fail("cannot add the field");
  }
  AssetData asset;
  asset.name = "card.tlvd";
  asset.url = "http://127.0.0.1/files/s/0123456789abcdef0123456789abcdef/card.tlvd";
  if (!store->ReplaceAssets(row, {asset})) Fail("cannot add the asset");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view body(reinterpret_cast<const char*>(data), size);
  // The service refuses these before the parser sees them.
  if (CheckXml(body, XmlLimits())) return 0;

  static Store* store = [] {
    auto* opened = new SqliteStore;
    std::string error;
    if (!opened->Open(":memory:", &error)) Fail("cannot open an in-memory store");
    Fill(opened);
    return opened;
  }();
  static const std::string initial = Snapshot(store);
  {
    Store::Transaction scratch(store);  // never committed: rolled back when it ends
    TemplateManager manager(store, FuzzAccounts(store));
    GsoapDispatcher dispatcher(&manager, static_cast<unsigned>(XmlLimits().maxDepth));
    std::string path = std::string_view(kOperation) == "getLibraryTemplates" ? kDocumentBuilderPath
                                                                             : kTemplateManagerPath;
    std::string action = SoapActionFor(kOperation);
    HttpResponse response = dispatcher.Serve(SoapRequest{path, action, body}, SoapOverride::kNone);
    if (response.status != 200 && response.status != 500) Fail("an answer other than 200 or 500");
    if (response.status == 500 && Snapshot(store) != initial) {
      Fail("a refused request changed data");
    }
  }
  if (Snapshot(store) != initial) Fail("the scratch transaction did not roll back");
  return 0;
}
