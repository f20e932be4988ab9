// End-to-end tests: `osl` run as a person runs it, against a freshly
// started osl-service, with what the service stored read back through the
// service's own operations.
#pragma once

#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "service_client/messages.h"
#include "service_client/soap_context.h"
#include "tests/support/subprocess.h"

namespace osltest {

constexpr char kE2eUser[] = "designer@example.org";
constexpr char kE2ePassword[] = "e2e secret";

// One world per test: an osl-service with its data folder, a copy of the
// plug-in with its settings file pointing at that service, a folder of
// documents and the temporary folder the plug-in's work folder goes into.
class PublishWorld {
 public:
  PublishWorld();
  ~PublishWorld();

  // Starts the service with the test account plus `serviceArgs`, and writes
  // the settings file. False with *error when the service does not start.
  bool Start(const std::vector<std::string>& serviceArgs, std::string* error);
  // The same with the service's state where `storeArgs` say (e.g. --database URL --files DIR)
  // instead of the world's own data folder.
  bool StartOn(const std::vector<std::string>& storeArgs,
               const std::vector<std::string>& serviceArgs, std::string* error);

  // Copies examples/NAME (with examples/images) into the document folder;
  // returns the copy's path.
  std::string CopyExample(const std::string& name);
  // Writes `document` as NAME into the document folder; returns its path.
  std::string WriteDocument(const std::string& name, const nlohmann::json& document);

  // Runs `osl --plugin <copy> ARGS...` with texts shown as their string keys.
  RunResult Osl(const std::vector<std::string>& args, const std::vector<std::string>& env = {});

  // The plug-in's work folder of the last run (the one session folder in the
  // temporary folder), or "" when there is none.
  std::string WorkFolder() const;
  const std::string& dataDir() const { return data_.path(); }
  const std::string& pluginDir() const { return plugin_.path(); }
  ServiceProcess& service() { return service_; }

 private:
  TempDir data_, plugin_, docs_, temp_;
  ServiceProcess service_;
};

// The document at `path` (JSON), its label and the label's entries.
nlohmann::json ReadDocument(const std::string& path);
std::map<std::string, std::string> DocumentData(const std::string& path);
// The entries of a label string ("key:::value|||...").
std::map<std::string, std::string> LabelEntries(const std::string& label);

// The JSON a command printed on stdout; a test failure (naming stdout and stderr) and a
// discarded value when it is not JSON.
nlohmann::json ParseJsonOutput(const RunResult& run);

// Lines of `text` that contain `what`.
int CountLines(const std::string& text, const std::string& what);

// The records the service keeps, asked with the test account. Records
// handed out live as long as the query object.
class ServiceQuery {
 public:
  explicit ServiceQuery(const std::string& baseUrl);

  // The account's templates (getLibraryTemplates); empty after a failure
  // (*error set).
  std::vector<const osl_soap::docBuilderLibraryTemplate*> Templates(std::string* error = nullptr);
  // The template named `name`, or null.
  const osl_soap::docBuilderLibraryTemplate* Template(const std::string& name);
  // The fields and logic groups of template `id` (password `password`).
  std::vector<const osl_soap::OstrFieldInfo*> Fields(const std::string& id,
                                                     const std::string& password,
                                                     std::string* error = nullptr);
  std::vector<const osl_soap::logicGroup*> Groups(const std::string& id,
                                                  const std::string& password,
                                                  std::string* error = nullptr);

 private:
  std::string baseUrl_;
  OslSoapContext context_;
};

// The field named `name` among `fields`, or null.
const osl_soap::OstrFieldInfo* FieldNamed(const std::vector<const osl_soap::OstrFieldInfo*>& fields,
                                          const std::string& name);

// What the service's data folder holds about template `id` that its
// operations do not hand out: the registered assets (in order, as
// "TYPE NAME" with TYPE the asset type's number, plus the address) and the
// number of commits. Read-only, safe while the service runs.
struct StoredAsset {
  int type = -1;
  std::string name;
  std::string url;
};
std::vector<StoredAsset> StoredAssets(const std::string& dataDir, const std::string& id);
int CommitCount(const std::string& dataDir, const std::string& id);
// The body of a GET of `url` (an http://127.0.0.1:PORT/... address) when
// the answer is 200 OK; false with *error otherwise.
bool HttpGet(const std::string& url, std::string* body, std::string* error);

// The text pdftotext extracts from `pdf`, and what pdffonts lists.
std::string PdfText(const std::string& pdf);
std::string PdfFonts(const std::string& pdf);

}  // namespace osltest
