#include "refservice/commands/render_command.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>

#include "refservice/commands/local_file.h"
#include "refservice/render/cmyk_output.h"
#include "refservice/render/document_renderer.h"
#include "refservice/render/field_values.h"
#include "refservice/render/template_bundle.h"
#include "refservice/storage/file_system.h"
#include "refservice/storage/store_factory.h"

namespace refservice {
namespace {

// Writes `data` to a temporary file beside `path`, flushes it and renames it into place, so
// `path` is either the old file or the whole new one.
bool WriteWhole(const std::string& path, const std::string& data, std::string* error) {
  std::string temp = path + ".partial-XXXXXX";
  int fd = ::mkstemp(&temp[0]);
  if (fd < 0) {
    *error = "cannot write beside " + path + ": " + std::strerror(errno);
    return false;
  }
  size_t done = 0;
  bool ok = true;
  while (done < data.size()) {
    ssize_t put = ::write(fd, data.data() + done, data.size() - done);
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) {
      ok = false;
      break;
    }
    done += static_cast<size_t>(put);
  }
  if (ok) ok = ::fchmod(fd, 0644) == 0 && ::fsync(fd) == 0;
  if (::close(fd) != 0) ok = false;
  if (ok) ok = ::rename(temp.c_str(), path.c_str()) == 0;
  if (!ok) {
    *error = "cannot write " + path + ": " + std::strerror(errno);
    ::unlink(temp.c_str());
  }
  return ok;
}

}  // namespace

int RenderCommand(const StoreLocation& location, const std::string& id,
                  const std::string& valuesPath, const std::string& outPath, std::ostream& out,
                  std::ostream& err, bool cmyk) {
  std::string error;
  const std::string& filesDir = location.files();
  std::unique_ptr<FileSystem> fs = OpenFileSystem(filesDir, &error);
  std::unique_ptr<Store> store;
  if (fs) store = OpenStoreReadOnly(location, &error);
  if (!fs || !store) {
    err << "osl-service: " << (error.empty() ? "cannot open " + filesDir : error) << "\n";
    return 2;
  }
  TemplateBundle bundle;
  BundleStatus status =
      LoadTemplateBundle(store.get(), fs.get(), filesDir, id, -1, &bundle, &error);
  if (status != BundleStatus::kOk) {
    err << "osl-service: " << error << "\n";
    return 2;
  }
  std::string json;
  if (!ReadLocalFile(valuesPath, 16u << 20, &json, &error)) {
    err << "osl-service: " << error << "\n";
    return 2;
  }
  // Image values are paths, relative ones to the values file's folder.
  std::string base = valuesPath.find('/') == std::string::npos
                         ? std::string(".")
                         : valuesPath.substr(0, valuesPath.rfind('/'));
  ImageLoader loadImage = [&](const std::string& name, std::string* bytes, std::string* failure) {
    std::string path = !name.empty() && name[0] == '/' ? name : base + "/" + name;
    return ReadLocalFile(path, kMaxImageValueBytes, bytes, failure);
  };
  FieldValues values;
  if (!ParseFieldValues(json, bundle, loadImage, &values, &error)) {
    err << "osl-service: " << valuesPath << ": " << error << "\n";
    return 2;
  }
  RenderResult result;
  RenderOptions options;
  options.exactInks = cmyk;
  if (!RenderDocument(bundle, fs.get(), values, options, &result, &error)) {
    err << "osl-service: " << error << "\n";
    return 2;
  }
  if (cmyk) {
    std::string converted;
    if (!ConvertPdfToCmyk(result.pdf, result.inks, &converted, &error)) {
      err << "osl-service: " << error << "\n";
      return 1;
    }
    result.pdf = std::move(converted);
  }
  if (!WriteWhole(outPath, result.pdf, &error)) {
    err << "osl-service: " << error << "\n";
    return 1;
  }
  out << ReportText(result);
  out << "wrote " << outPath << " (" << result.pages << " page" << (result.pages == 1 ? "" : "s")
      << (cmyk ? ", CMYK" : "") << ")\n";
  return 0;
}

}  // namespace refservice
