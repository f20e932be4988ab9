#include "refservice/render/template_bundle.h"

#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <sstream>

#include "refservice/templates/field_record.h"
#include "osl_soapH.h"

namespace refservice {
namespace {

std::string Text(const std::string* value) { return value ? *value : std::string(); }

double Finite(double value, double fallback) { return std::isfinite(value) ? value : fallback; }

// The stored path (uploads/S/T/N) of a file this service handed out at `url`, or "" when the
// address is not one of its own.
std::string StoredPath(Store* store, const std::string& url) {
  size_t at = url.find("/files/");
  if (at == std::string::npos) return "";
  std::string rest = url.substr(at + 7);
  std::vector<std::string> parts;
  std::stringstream split(rest);
  std::string part;
  while (std::getline(split, part, '/')) parts.push_back(part);
  std::optional<UploadData> upload;
  if (parts.size() == 3) upload = store->FindUpload(parts[0], parts[1], parts[2]);
  if (parts.size() == 2) upload = store->FindUpload(parts[0], "", parts[1]);
  if (!upload) return "";
  std::string path = std::string("uploads/") + upload->session + "/";
  if (!upload->token.empty()) path += upload->token + "/";
  return path + upload->name;
}

RenderField ToRenderField(const FieldData& stored, const osl_soap::ns2__OstrFieldInfo& info) {
  RenderField field;
  field.name = stored.name;
  field.controlType = static_cast<int>(info.controlType);
  field.pageNumber = info.pageNumber;
  field.hasRect = info.pdfRect && ParsePdfRect(*info.pdfRect, &field.x1, &field.y1, &field.x2,
                                                &field.y2);
  field.rotation = Finite(info.rotation, 0);
  field.zOrder = info.zOrder;
  field.logicGroupId = info.logicGroupID;
  field.dependsOn = Text(info.logicDependsOn);
  const std::string* defaultText =
      info.controlType == osl_soap::ns2__enumControlType__richText &&
              info.setup_USCOREdefaultValueHTML
          ? info.setup_USCOREdefaultValueHTML
          : info.defaultValue;
  field.hasDefault = defaultText != nullptr;
  field.defaultValue = Text(defaultText);
  field.promptText = Text(info.promptText);
  field.nonPrinting = info.controlType == osl_soap::ns2__enumControlType__nonprint ||
                      Text(info.setup_USCOREradioFieldType) == "nonprint";
  field.barCode = static_cast<int>(info.barCode);
  field.fontName = Text(info.fontName);
  field.fontFileName = Text(info.fontFileName);
  field.fontSize = Finite(info.fontSize, 12);
  if (field.fontSize <= 0 || field.fontSize > 1000) field.fontSize = 12;
  field.fontLeading = std::max(0.0, Finite(info.fontLeading, 0));
  field.fontTracking = Finite(info.fontTracking, 0);
  field.fontOpacity = Finite(info.fontOpacity, 100);
  field.fontUnderline = info.fontUnderline;
  field.c = Finite(info.fontColorC, 0);
  field.m = Finite(info.fontColorM, 0);
  field.y = Finite(info.fontColorY, 0);
  field.k = Finite(info.fontColorK, 100);
  field.hScale = Finite(info.fontHorizontalScale, 100);
  field.vScale = Finite(info.fontVerticalScale, 100);
  // A record written without scales carries zeros; a zero scale would draw nothing.
  if (field.hScale <= 0) field.hScale = 100;
  if (field.vScale <= 0) field.vScale = 100;
  field.alignment = static_cast<int>(info.fontAlignment);
  if (field.alignment < 0 || field.alignment > 8) field.alignment = 0;
  return field;
}

}  // namespace

const RenderField* TemplateBundle::Field(const std::string& name) const {
  for (const RenderField& field : fields) {
    if (field.name == name) return &field;
  }
  return nullptr;
}

std::string TemplateRevision(const TemplateSummary& summary) {
  const TemplateData& data = summary.data;
  auto optional = [](const std::optional<std::string>& text) {
    return text ? "+" + std::to_string(text->size()) + ":" + *text : std::string("-");
  };
  // Lengths before texts: no two records give the same key.
  auto text = [](const std::string& value) { return std::to_string(value.size()) + ":" + value; };
  return std::to_string(summary.row) + "/" + std::to_string(summary.commitCount) + "/" +
         text(summary.owner) + optional(data.name) + optional(data.description) +
         text(data.docId) + text(data.docPassword) + optional(data.category) +
         (data.isActive ? "a" : "i") + std::to_string(data.pageCount) + "/" + text(data.width) +
         text(data.height) + text(data.bleed) + std::to_string(data.clientType) + "/" +
         std::to_string(data.userId) + "/" + std::to_string(data.fullScreenWindow) +
         (data.committed ? "c" : "u");
}

bool ParsePdfRect(const std::string& text, double* x1, double* y1, double* x2, double* y2) {
  const char* p = text.c_str();
  double values[4];
  for (double& value : values) {
    char* end = nullptr;
    value = std::strtod(p, &end);
    if (end == p || !std::isfinite(value) || std::fabs(value) > 1e6) return false;
    p = end;
  }
  while (*p == ' ') ++p;
  if (*p != '\0') return false;
  if (values[2] <= values[0] || values[3] <= values[1]) return false;
  *x1 = values[0];
  *y1 = values[1];
  *x2 = values[2];
  *y2 = values[3];
  return true;
}

bool ReadStoredFile(FileSystem* fs, const std::string& path, std::string* out,
                    std::string* error) {
  uint64_t size = 0;
  UniqueFd fd = fs->OpenForRead(path, &size, error);
  if (!fd.valid()) return false;
  if (size > kMaxRenderFileBytes) {
    *error = path + " is larger than " + std::to_string(kMaxRenderFileBytes) + " bytes";
    return false;
  }
  out->assign(size, '\0');
  size_t done = 0;
  while (done < size) {
    ssize_t got = ::read(fd.get(), &(*out)[done], size - done);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) {
      *error = "cannot read " + path;
      return false;
    }
    done += static_cast<size_t>(got);
  }
  return true;
}

BundleStatus LoadTemplateBundle(Store* store, FileSystem* fs, const std::string& dataDir,
                                const std::string& id, int ownerId, TemplateBundle* out,
                                std::string* error) {
  std::vector<FieldData> fields;
  std::vector<LogicGroupData> groups;
  std::vector<AssetData> assets;
  {
    // One snapshot for the record and its lists, whatever a publish writes meanwhile.
    Store::Transaction snapshot(store);
    std::optional<TemplateSummary> summary;
    if (!store->FindTemplateSummary(id, &summary)) {
      *error = "cannot read the templates";
      return BundleStatus::kFailed;
    }
    if (!summary || (ownerId >= 0 && summary->data.userId != ownerId)) {
      *error = "template " + id + " does not exist";
      return BundleStatus::kNotFound;
    }
    out->record = summary->data;
    out->revision = TemplateRevision(*summary);
    out->commitCount = summary->commitCount;
    out->owner = summary->owner;
    out->ownerId = summary->data.userId;
    if (!store->GetFields(summary->row, &fields) || !store->GetLogicGroups(summary->row, &groups) ||
        !store->GetAssets(summary->row, &assets)) {
      *error = "cannot read template " + id;
      return BundleStatus::kFailed;
    }
  }
  out->dataDir = dataDir;
  FieldRecordCodec codec;
  for (const FieldData& stored : fields) {
    const osl_soap::ns2__OstrFieldInfo* info = codec.FromStored(stored.record);
    if (info == nullptr) {
      *error = "the stored record of field \"" + stored.name + "\" cannot be read";
      return BundleStatus::kFailed;
    }
    out->fields.push_back(ToRenderField(stored, *info));
  }
  for (const LogicGroupData& group : groups) {
    out->groups.push_back(RenderGroup{group.id, group.name, group.moveDirection == 1});
  }
  std::string masterPath;
  for (const AssetData& asset : assets) {
    if (!asset.url || !asset.name) continue;
    std::string path = StoredPath(store, *asset.url);
    if (path.empty()) continue;
    // The last asset of a name and type wins, as setAssets replaces by name.
    if (asset.type == 0) masterPath = path;
    if (asset.type == 1) out->fontFiles[*asset.name] = path;
    if (asset.type == 2 || asset.type == 3 || asset.type == 5) out->imageFiles[*asset.name] = path;
  }
  if (!masterPath.empty() && !ReadStoredFile(fs, masterPath, &out->masterPdf, error)) {
    *error = "the master PDF of template " + id + " cannot be read: " + *error;
    return BundleStatus::kFailed;
  }
  return BundleStatus::kOk;
}

}  // namespace refservice
