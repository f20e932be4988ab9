#include "tests/e2e/e2e_support.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <dirent.h>
#include <netinet/in.h>
#include <poll.h>
#include <sqlite3.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "service_client/service_calls.h"

namespace osltest {

namespace {

bool CopyFile(const std::string& from, const std::string& to) {
  std::ifstream in(from, std::ios::binary);
  std::ofstream out(to, std::ios::binary);
  out << in.rdbuf();
  return in.good() && out.good();
}

std::vector<std::string> FolderEntries(const std::string& folder) {
  std::vector<std::string> names;
  DIR* dir = opendir(folder.c_str());
  if (!dir) return names;
  while (dirent* entry = readdir(dir)) {
    const std::string name = entry->d_name;
    if (name != "." && name != "..") names.push_back(name);
  }
  closedir(dir);
  return names;
}

bool IsFolder(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

}  // namespace

PublishWorld::PublishWorld() = default;
PublishWorld::~PublishWorld() { service_.Stop(); }

bool PublishWorld::Start(const std::vector<std::string>& serviceArgs, std::string* error) {
  return StartOn({"--data", data_.path()}, serviceArgs, error);
}

bool PublishWorld::StartOn(const std::vector<std::string>& storeArgs,
                           const std::vector<std::string>& serviceArgs, std::string* error) {
  std::vector<std::string> args = storeArgs;
  args.insert(args.end(), {"--user", kE2eUser, "--password", kE2ePassword});
  args.insert(args.end(), serviceArgs.begin(), serviceArgs.end());
  if (!service_.StartWith(args, error)) return false;
  for (const char* file : {"Osl.pln", "libosl_soapns.so"}) {
    if (!CopyFile(BuiltProgram(file), plugin_.path() + "/" + file)) {
      *error = std::string("cannot copy ") + file;
      return false;
    }
  }
  plugin_.Write("Osl.cfg", "server:" + service_.baseUrl() + "\nuser:" + kE2eUser +
                               "\npass:" + kE2ePassword + "\n");
  return true;
}

std::string PublishWorld::CopyExample(const std::string& name) {
  const std::string examples = std::string(OSL_SOURCE_DIR) + "/examples";
  mkdir((docs_.path() + "/images").c_str(), 0700);
  for (const std::string& image : FolderEntries(examples + "/images")) {
    CopyFile(examples + "/images/" + image, docs_.path() + "/images/" + image);
  }
  const std::string path = docs_.path() + "/" + name;
  CopyFile(examples + "/" + name, path);
  return path;
}

std::string PublishWorld::WriteDocument(const std::string& name, const nlohmann::json& document) {
  return docs_.Write(name, document.dump(2));
}

RunResult PublishWorld::Osl(const std::vector<std::string>& args,
                            const std::vector<std::string>& env) {
  std::vector<std::string> argv = {BuiltProgram("osl"), "--plugin", plugin_.path() + "/Osl.pln"};
  argv.insert(argv.end(), args.begin(), args.end());
  RunOptions options;
  options.env = {"OSL_LOCALE=keys", "TMPDIR=" + temp_.path()};
  options.env.insert(options.env.end(), env.begin(), env.end());
  options.timeoutMs = 120000;
  return RunProcess(argv, options);
}

std::string PublishWorld::WorkFolder() const {
  for (const std::string& name : FolderEntries(temp_.path())) {
    if (IsFolder(temp_.path() + "/" + name)) return temp_.path() + "/" + name + "/";
  }
  return "";
}

nlohmann::json ReadDocument(const std::string& path) {
  const std::string text = ReadFile(path);
  return nlohmann::json::parse(text, nullptr, false);
}

std::map<std::string, std::string> LabelEntries(const std::string& label) {
  std::map<std::string, std::string> entries;
  size_t start = 0;
  for (size_t end; (end = label.find("|||", start)) != std::string::npos; start = end + 3) {
    const std::string segment = label.substr(start, end - start);
    const size_t colon = segment.find(":::");
    if (colon != std::string::npos && colon > 0) {
      entries[segment.substr(0, colon)] = segment.substr(colon + 3);
    }
  }
  return entries;
}

nlohmann::json ParseJsonOutput(const RunResult& run) {
  nlohmann::json parsed = nlohmann::json::parse(run.out, nullptr, false);
  EXPECT_FALSE(parsed.is_discarded()) << "stdout is no JSON:\n" << run.out << "\n" << run.err;
  return parsed;
}

std::map<std::string, std::string> DocumentData(const std::string& path) {
  const nlohmann::json document = ReadDocument(path);
  if (!document.is_object() || !document.contains("label")) return {};
  return LabelEntries(document["label"].get<std::string>());
}

int CountLines(const std::string& text, const std::string& what) {
  std::istringstream in(text);
  int count = 0;
  for (std::string line; std::getline(in, line);) {
    if (line.find(what) != std::string::npos) ++count;
  }
  return count;
}

ServiceQuery::ServiceQuery(const std::string& baseUrl) : baseUrl_(baseUrl) {}

std::vector<const osl_soap::docBuilderLibraryTemplate*> ServiceQuery::Templates(
    std::string* error) {
  using namespace osl_soap;
  auto* request = soap_new__ns4__getLibraryTemplates(context_.get());
  request->email = OslNewString(context_.get(), std::string(kE2eUser));
  request->password = OslNewString(context_.get(), std::string(kE2ePassword));
  auto* response = soap_new__ns4__getLibraryTemplatesResponse(context_.get());
  const std::string endpoint = baseUrl_ + "/services/builddoc.asmx";
  std::vector<const docBuilderLibraryTemplate*> templates;
  if (CallGetLibraryTemplates(context_.get(), endpoint.c_str(), nullptr, request, *response) != 0) {
    if (error) *error = FormatSoapFaultReport(context_.get());
    return templates;
  }
  if (response->getLibraryTemplatesResult) {
    for (const auto* entry : response->getLibraryTemplatesResult->libraryTemplate) {
      if (entry) templates.push_back(entry);
    }
  }
  return templates;
}

const osl_soap::docBuilderLibraryTemplate* ServiceQuery::Template(const std::string& name) {
  for (const auto* entry : Templates()) {
    if (entry->docName && *entry->docName == name) return entry;
  }
  return nullptr;
}

std::vector<const osl_soap::OstrFieldInfo*> ServiceQuery::Fields(const std::string& id,
                                                                 const std::string& password,
                                                                 std::string* error) {
  using namespace osl_soap;
  auto* request = soap_new__ns2__getFields(context_.get());
  request->userEmail = kE2eUser;
  request->userPassword = kE2ePassword;
  request->docCode = id;
  request->docPassword = password;
  auto* response = soap_new__ns2__getFieldsResponse(context_.get());
  const std::string endpoint = baseUrl_ + "/services/templateMgr.svc";
  std::vector<const OstrFieldInfo*> fields;
  if (CallGetFields(context_.get(), endpoint.c_str(), nullptr, request, *response) != 0) {
    if (error) *error = FormatSoapFaultReport(context_.get());
    return fields;
  }
  if (response->getFieldsResult) {
    for (const auto* field : response->getFieldsResult->OstrFieldInfo) {
      if (field) fields.push_back(field);
    }
  }
  return fields;
}

std::vector<const osl_soap::logicGroup*> ServiceQuery::Groups(const std::string& id,
                                                              const std::string& password,
                                                              std::string* error) {
  using namespace osl_soap;
  auto* request = soap_new__ns2__getLogicGroups(context_.get());
  request->userEmail = kE2eUser;
  request->userPassword = kE2ePassword;
  request->docCode = id;
  request->docPassword = password;
  auto* response = soap_new__ns2__getLogicGroupsResponse(context_.get());
  const std::string endpoint = baseUrl_ + "/services/templateMgr.svc";
  std::vector<const logicGroup*> groups;
  if (CallGetLogicGroups(context_.get(), endpoint.c_str(), nullptr, request, *response) != 0) {
    if (error) *error = FormatSoapFaultReport(context_.get());
    return groups;
  }
  if (response->getLogicGroupsResult) {
    for (const auto* group : response->getLogicGroupsResult->logicGroup) {
      if (group) groups.push_back(group);
    }
  }
  return groups;
}

const osl_soap::OstrFieldInfo* FieldNamed(const std::vector<const osl_soap::OstrFieldInfo*>& fields,
                                          const std::string& name) {
  for (const auto* field : fields) {
    if (field->fieldName && *field->fieldName == name) return field;
  }
  return nullptr;
}

namespace {

// Runs `sql` with `id` bound to its one parameter on the data folder's
// database, opened read-only; calls `row` per result row.
template <class Row>
void Query(const std::string& dataDir, const char* sql, const std::string& id, Row row) {
  sqlite3* db = nullptr;
  const std::string path = dataDir + "/service.db";
  if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
    sqlite3_close(db);
    return;
  }
  sqlite3_busy_timeout(db, 5000);
  sqlite3_stmt* statement = nullptr;
  if (sqlite3_prepare_v2(db, sql, -1, &statement, nullptr) == SQLITE_OK) {
    sqlite3_bind_text(statement, 1, id.c_str(), -1, SQLITE_TRANSIENT);
    while (sqlite3_step(statement) == SQLITE_ROW) row(statement);
  }
  sqlite3_finalize(statement);
  sqlite3_close(db);
}

std::string Column(sqlite3_stmt* statement, int column) {
  const unsigned char* text = sqlite3_column_text(statement, column);
  return text ? reinterpret_cast<const char*>(text) : "";
}

}  // namespace

std::vector<StoredAsset> StoredAssets(const std::string& dataDir, const std::string& id) {
  std::vector<StoredAsset> assets;
  Query(dataDir,
        "SELECT a.type, a.name, a.url FROM assets a JOIN templates t ON t.id = a.template_id "
        "WHERE lower(t.doc_id) = lower(?1) ORDER BY a.position",
        id, [&assets](sqlite3_stmt* statement) {
          assets.push_back(
              {sqlite3_column_int(statement, 0), Column(statement, 1), Column(statement, 2)});
        });
  return assets;
}

int CommitCount(const std::string& dataDir, const std::string& id) {
  int count = -1;
  Query(dataDir,
        "SELECT count(*) FROM commits c JOIN templates t ON t.id = c.template_id "
        "WHERE lower(t.doc_id) = lower(?1)",
        id, [&count](sqlite3_stmt* statement) { count = sqlite3_column_int(statement, 0); });
  return count;
}

bool HttpGet(const std::string& url, std::string* body, std::string* error) {
  const std::string prefix = "http://127.0.0.1:";
  if (url.compare(0, prefix.size(), prefix) != 0) {
    *error = "not a loopback address: " + url;
    return false;
  }
  const size_t slash = url.find('/', prefix.size());
  const int port = std::atoi(url.substr(prefix.size(), slash - prefix.size()).c_str());
  const std::string path = slash == std::string::npos ? "/" : url.substr(slash);
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (fd < 0 || connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    if (fd >= 0) close(fd);
    *error = "cannot connect to " + url;
    return false;
  }
  const std::string request =
      "GET " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n";
  if (send(fd, request.data(), request.size(), MSG_NOSIGNAL) !=
      static_cast<ssize_t>(request.size())) {
    close(fd);
    *error = "cannot send the request";
    return false;
  }
  std::string reply;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  char buffer[65536];
  while (std::chrono::steady_clock::now() < deadline && reply.size() < (512u << 20)) {
    pollfd ready{fd, POLLIN, 0};
    if (poll(&ready, 1, 1000) <= 0) continue;
    const ssize_t n = recv(fd, buffer, sizeof buffer, 0);
    if (n <= 0) break;
    reply.append(buffer, static_cast<size_t>(n));
  }
  close(fd);
  const size_t headerEnd = reply.find("\r\n\r\n");
  if (reply.compare(0, 12, "HTTP/1.1 200") != 0 || headerEnd == std::string::npos) {
    *error = "answer: " + reply.substr(0, reply.find("\r\n"));
    return false;
  }
  std::string head = reply.substr(0, headerEnd);
  for (char& c : head) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  *body = reply.substr(headerEnd + 4);
  if (head.find("transfer-encoding: chunked") != std::string::npos) {
    std::string decoded;
    size_t at = 0;
    while (at < body->size()) {
      const size_t lineEnd = body->find("\r\n", at);
      if (lineEnd == std::string::npos) break;
      const size_t size = std::strtoul(body->substr(at, lineEnd - at).c_str(), nullptr, 16);
      if (size == 0) break;
      decoded += body->substr(lineEnd + 2, size);
      at = lineEnd + 2 + size + 2;
    }
    *body = decoded;
  }
  return true;
}

std::string PdfText(const std::string& pdf) {
  return RunProcess({"/usr/bin/pdftotext", "-layout", pdf, "-"}).out;
}

std::string PdfFonts(const std::string& pdf) { return RunProcess({"/usr/bin/pdffonts", pdf}).out; }

}  // namespace osltest
