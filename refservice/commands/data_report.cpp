#include "refservice/commands/data_report.h"

#include <sys/stat.h>

#include <cmath>
#include <cstdint>
#include <map>
#include <optional>
#include <vector>

#include "osl_soapH.h"
#include "refservice/templates/field_record.h"
#include "refservice/storage/store_factory.h"
#include "text/number_text.h"
#include "text/printable_text.h"

namespace refservice {

using textutil::PrintableText;

namespace {

constexpr char kAbsent[] = "(absent)";

std::string Optional(const std::optional<std::string>& text) {
  return text ? PrintableText(*text) : kAbsent;
}

std::string Optional(const std::string* text) {
  return text != nullptr ? PrintableText(*text) : kAbsent;
}

const char* YesNo(bool value) { return value ? "yes" : "no"; }

// The shortest decimal text that reads back as `value`.
std::string ShortestDouble(double value) {
  if (std::isnan(value)) return "NaN";
  if (std::isinf(value)) return value > 0 ? "INF" : "-INF";
  return textutil::ShortestDecimal(value);
}

// What the messages call the store: the data folder, or the database (whose URL may hold a
// password, so it is never printed).
std::string StoreName(const StoreLocation& location) {
  return location.databaseUrl.empty() ? location.dataDir : "the PostgreSQL database";
}

// Opens the store read-only; prints why not and returns null otherwise.
std::unique_ptr<Store> OpenForReport(const StoreLocation& location, std::ostream& err) {
  std::string error;
  if (location.databaseUrl.empty()) {
    const std::string& dataDir = location.dataDir;
    struct stat info;
    if (dataDir.empty() || ::stat(dataDir.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
      err << "osl-service: no data folder at " << dataDir << "\n";
      return nullptr;
    }
    std::string database = SqlitePathOf(dataDir);
    if (::stat(database.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) {
      err << "osl-service: " << dataDir
          << " is not a data folder of osl-service (it holds no service.db)\n";
      return nullptr;
    }
  }
  std::unique_ptr<Store> store = OpenStoreReadOnly(location, &error);
  if (!store) err << "osl-service: " << error << "\n";
  return store;
}

// The size of the uploaded file an asset address points at, when this service stored it.
std::optional<uint64_t> UploadedSize(Store* store, const std::optional<std::string>& address) {
  if (!address) return std::nullopt;
  size_t files = address->find("/files/");
  if (files == std::string::npos) return std::nullopt;
  // .../files/SESSION/TOKEN/NAME, or .../files/SESSION/NAME for files stored before tokens.
  std::vector<std::string> parts;
  std::string rest = address->substr(files + 7);
  for (size_t start = 0;;) {
    size_t slash = rest.find('/', start);
    parts.push_back(rest.substr(start, slash == std::string::npos ? slash : slash - start));
    if (slash == std::string::npos) break;
    start = slash + 1;
  }
  std::optional<UploadData> upload;
  if (parts.size() == 3) upload = store->FindUpload(parts[0], parts[1], parts[2]);
  if (parts.size() == 2) upload = store->FindUpload(parts[0], "", parts[1]);
  if (!upload) return std::nullopt;
  return upload->size;
}

void PrintRecord(const TemplateSummary& summary, osl_soap::ns2__eRestriction fullScreen,
                 struct soap* soap, std::ostream& out) {
  const TemplateData& data = summary.data;
  out << "template " << PrintableText(data.docId) << "\n"
      << "  owner: " << PrintableText(summary.owner) << "\n"
      << "  name: " << Optional(data.name) << "\n"
      << "  description: " << Optional(data.description) << "\n"
      << "  password: " << PrintableText(data.docPassword) << "\n"
      << "  category: " << Optional(data.category) << "\n"
      << "  active: " << YesNo(data.isActive) << "\n"
      << "  committed: " << YesNo(data.committed) << " (" << summary.commitCount
      << (summary.commitCount == 1 ? " commit" : " commits") << ")\n"
      << "  pages: " << data.pageCount << "\n"
      << "  width: " << PrintableText(data.width) << "\n"
      << "  height: " << PrintableText(data.height) << "\n"
      << "  bleed: " << PrintableText(data.bleed) << "\n"
      << "  clientType: " << data.clientType << "\n"
      << "  userID: " << data.userId << "\n"
      << "  fullScreenWindow: " << osl_soap::soap_ns2__eRestriction2s(soap, fullScreen) << "\n";
}

}  // namespace

int ListTemplates(const StoreLocation& location, std::ostream& out, std::ostream& err) {
  std::unique_ptr<Store> opened = OpenForReport(location, err);
  if (!opened) return kReportUsage;
  Store& store = *opened;
  std::vector<TemplateSummary> templates;
  if (!store.ListAllTemplates(&templates)) {
    err << "osl-service: cannot read the templates of " << StoreName(location) << "\n";
    return kReportReadFailed;
  }
  for (const TemplateSummary& summary : templates) {
    const TemplateData& data = summary.data;
    out << PrintableText(summary.owner) << '\t' << PrintableText(data.name.value_or("")) << '\t'
        << PrintableText(data.docId) << '\t' << (data.isActive ? "active" : "inactive") << '\t'
        << (data.committed ? "committed" : "uncommitted") << "\tfields=" << summary.fieldCount
        << "\tgroups=" << summary.groupCount << "\tassets=" << summary.assetCount << "\n";
  }
  return out ? kReportOk : kReportReadFailed;
}

int ShowTemplate(const StoreLocation& location, const std::string& id, std::ostream& out,
                 std::ostream& err) {
  std::unique_ptr<Store> opened = OpenForReport(location, err);
  if (!opened) return kReportUsage;
  Store& store = *opened;
  // One snapshot for everything printed, whatever the service writes meanwhile.
  Store::Transaction snapshot(&store);
  std::optional<TemplateSummary> found;
  std::vector<LogicGroupData> groups;
  std::vector<FieldData> fields;
  std::vector<AssetData> assets;
  if (!store.FindTemplateSummary(id, &found)) {
    err << "osl-service: cannot read the templates of " << StoreName(location) << "\n";
    return kReportReadFailed;
  }
  if (!found) {
    err << "osl-service: no template with identifier " << PrintableText(id) << " in " << StoreName(location)
        << "\n";
    return kReportUsage;
  }
  if (!store.GetLogicGroups(found->row, &groups) || !store.GetFields(found->row, &fields) ||
      !store.GetAssets(found->row, &assets)) {
    err << "osl-service: cannot read template " << PrintableText(id) << " of " << StoreName(location) << "\n";
    return kReportReadFailed;
  }

  FieldRecordCodec codec;
  struct soap* soap = codec.reader();
  if (soap == nullptr) {
    err << "osl-service: out of memory\n";
    return kReportReadFailed;
  }
  PrintRecord(*found, static_cast<osl_soap::ns2__eRestriction>(found->data.fullScreenWindow), soap,
              out);

  std::map<int, std::string> groupNames;
  out << "logic groups: " << groups.size() << "\n";
  for (const LogicGroupData& group : groups) {
    groupNames[group.id] = group.name;
    out << "  " << group.id << '\t' << PrintableText(group.name) << '\t'
        << osl_soap::soap_ns2__eMoveDirection2s(
               soap, static_cast<osl_soap::ns2__eMoveDirection>(group.moveDirection))
        << "\n";
  }

  out << "fields: " << fields.size() << "\n";
  int status = kReportOk;
  for (const FieldData& stored : fields) {
    const osl_soap::ns2__OstrFieldInfo* field = codec.FromStored(stored.record);
    if (field == nullptr) {
      out << "  " << PrintableText(stored.name) << "\t(damaged record)\n";
      err << "osl-service: the stored record of field " << PrintableText(stored.name)
          << " cannot be read\n";
      status = kReportReadFailed;
      continue;
    }
    std::string group = "none";
    if (field->logicGroupID != 0) {
      auto name = groupNames.find(field->logicGroupID);
      group = name == groupNames.end() ? "unknown" : PrintableText(name->second);
    }
    out << "  " << PrintableText(stored.name)
        << "\tcontrolType=" << osl_soap::soap_ns2__enumControlType2s(soap, field->controlType)
        << "\tpage=" << field->pageNumber << "\tpdfRect=" << Optional(field->pdfRect)
        << "\trotation=" << ShortestDouble(field->rotation) << "\tzOrder=" << field->zOrder
        << "\tgroup=" << field->logicGroupID << " (" << group << ")\n";
  }

  out << "assets: " << assets.size() << "\n";
  for (const AssetData& asset : assets) {
    std::optional<uint64_t> size = UploadedSize(&store, asset.url);
    out << "  " << Optional(asset.name) << "\ttype="
        << osl_soap::soap_ns2__eAssetType2s(soap,
                                            static_cast<osl_soap::ns2__eAssetType>(asset.type))
        << "\taddress=" << Optional(asset.url)
        << "\tsize=" << (size ? std::to_string(*size) : std::string("unknown")) << "\n";
  }
  return out ? status : kReportReadFailed;
}

}  // namespace refservice
