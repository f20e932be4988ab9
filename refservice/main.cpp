// osl-service: the reference template service. Serves the template manager and document builder
// SOAP endpoints, the upload page and the uploaded files, storing everything under one folder.
#include <pthread.h>
#include <signal.h>

#include <CLI/CLI.hpp>
#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include "refservice/accounts/accounts.h"
#include "refservice/accounts/user_command.h"
#include "refservice/backup/data_backup.h"
#include "refservice/data_report.h"
#include "refservice/fault_injection.h"
#include "refservice/storage/data_folder_lock.h"
#include "refservice/storage/file_system.h"
#include "refservice/storage/file_util.h"
#include "refservice/http/http_daemon.h"
#include "refservice/http/render_pool.h"
#include "refservice/http/tls_credentials.h"
#include "refservice/render/render_command.h"
#include "refservice/service_app.h"
#include "refservice/soap/soap_endpoint.h"
#include "refservice/storage/service_storage.h"
#include "refservice/storage/store.h"
#include "refservice/template_manager.h"
#include "refservice/storage/upload_quota.h"
#include "refservice/soap/xml_guard.h"
#include "schema/tls_runtime.h"

namespace {

constexpr const char kDescription[] = R"(osl-service: the reference template service.

Serves, on one HTTP address:
  POST /services/templateMgr.svc      template manager (SOAP 1.1): setTemplate, getFields,
                                      setFields, getLogicGroups, setLogicGroups, setAssets,
                                      commitTemplate
  POST /services/builddoc.asmx        document builder (SOAP 1.1): getLibraryTemplates
  POST /fileUpload.aspx?sessionid=ID  upload of one file (multipart/form-data, chunked or with
                                      Content-Length); the reply body is the file's address
  GET  /files/ID/TOKEN/NAME           an uploaded file, at the address the upload replied

Every operation checks the user's e-mail and password; every template operation also checks
the template's identifier and password. Users only see and change their own templates.
setTemplate with the zero GUID creates a template with a new GUID identifier and password.

Everything is kept under DIR: DIR/service.db (SQLite: users, templates, fields, logic groups,
assets, commits, uploads) and DIR/uploads/ID/TOKEN/NAME (files, written atomically; every
upload gets a fresh TOKEN, so an address never changes content). Upload names are cleaned:
only the last path component is kept and bytes outside A-Z a-z 0-9 . - _ become "_"; no path
below DIR is followed through a symbolic link, so nothing is ever written outside DIR.
Restarting with the same DIR keeps everything. Every request size, time and quota is bounded;
the --max-* and --*timeout options below set the limits. One service at a time uses DIR: it
holds a lock on DIR/service.lock, and a second one refuses to start and names the holder.

One publish of a template at a time: setTemplate takes the template for its publish run until
commitTemplate (or a fault answered to one of the run's later calls, or --publish-timeout
seconds, 30 by default, without a getLogicGroups, setLogicGroups, setFields or setAssets of
it); meanwhile another setTemplate of it is refused with a SOAP Fault. A new template is not
created under the name of one of the account's templates that was never committed.

The first line on standard output is "listening on http://HOST:PORT" once the service accepts
connections; with port 0 the system picks a free port and that line tells which.

HTTPS: --tls-cert PEM --tls-key PEM (always together) serve the same address over TLS only;
the first line then says "listening on https://HOST:PORT" and upload replies give https://
addresses. The certificate file may hold the chain after the server's certificate; the key
must not be encrypted.
SIGINT or SIGTERM end the service after the requests in progress (at most 5 seconds).

Read-only commands (safe while the service runs):
  osl-service list --data DIR       one line per stored template
  osl-service show --data DIR ID    one template: record, logic groups, fields, assets
  osl-service render --data DIR ID --values VALUES.json OUT.pdf [--cmyk]
                                    a document built from the template: the master PDF's pages
                                    with every field filled from VALUES.json (field name -> text;
                                    an image field's value is an image file's path); prints what
                                    was done with each field; exit 2 on bad input, nothing written;
                                    --cmyk: the PDF in CMYK for print: the fields in their
                                    records' exact inks, the rest converted (SWOP) by Ghostscript

Accounts (safe while the service runs; the password is read from the terminal, asked twice
and not echoed, or from the first line of standard input; never from the command line):
  osl-service user add --data DIR EMAIL      create an account (refused when it exists)
  osl-service user passwd --data DIR EMAIL   set an account's password
  osl-service user remove --data DIR EMAIL [--with-templates]
  (each takes --database URL instead of --data DIR for the services on one PostgreSQL database)
                                    remove an account; refused while it owns templates unless
                                    --with-templates, which removes them with it
  Exit status 0 done, 1 refused or failed (nothing changed), 2 bad usage or input.
Backups (safe while the service runs):
  osl-service backup --data DIR OUT  a consistent copy of DIR in the new folder OUT (which must
                                    not exist or be empty): the database as at one instant and
                                    the uploaded files it records (hard-linked where possible);
                                    --data OUT then opens it like any data folder

Passwords are kept as Argon2id hashes. After 5 failed sign-ins in a row for one account from
one address, that account is refused from that address for 10 s, doubling with each further
failure up to 15 minutes; a successful sign-in ends it. An address alone is refused after 50.

Documents are built on --render-threads threads of their own; what they and --render-queue
cannot take is answered 503 with Retry-After. Connections are limited in all and per client
address; a request body must average --min-body-rate bytes per second after --head-timeout.

Fault injection (for testing clients): --fault OPERATION:KIND[:COUNT], repeatable.
  OPERATION  getLibraryTemplates, setTemplate, getFields, setFields, getLogicGroups,
             setLogicGroups, setAssets, commitTemplate, or upload
  KIND       soap-fault  a SOAP Fault (HTTP 500) instead of the answer; nothing is changed
                         (for upload: HTTP 500 with a SOAP Fault envelope as body)
             http-503    "503 Service Unavailable"; nothing is changed
             delay       the answer comes after --delay-ms milliseconds
             garbage     "200 OK" whose body is not XML; nothing is changed
             close       the connection is closed without an answer; nothing is changed
             zero-id     setTemplate only: answers the zero GUID as identifier and password;
                         nothing is changed
             crash       upload only: the service kills itself once the file is in place and
                         before it is recorded (the next start removes the file)
  COUNT      how many requests of that operation it hits, from the first one (default: all)
Faults of one operation apply in the order given, each until its COUNT is used up.
)";

}  // namespace

int main(int argc, char** argv) {
  using namespace refservice;

  std::string listen = "127.0.0.1:8080";
  std::string user;
  std::string password;
  std::vector<std::string> faultTexts;
  int threads = 4;
  int maxConnections = 256;
  int timeoutSeconds = 30;
  int headTimeoutSeconds = 10;
  int requestTimeoutSeconds = 600;
  int delayMs = 3000;
  int publishTimeoutSeconds = static_cast<int>(kDefaultPublishLeaseMs / 1000);
  int maxUploadMb = 256;
  int maxSoapMb = 64;
  int maxSessionMb = 1024;
  int maxDataMb = 8192;
  XmlLimits xmlLimits;
  std::string publicUrl;
  RenderPoolOptions renderOptions;
  HttpDaemonOptions daemonOptions;

  CLI::App app{kDescription, "osl-service"};
  app.get_formatter()->column_width(40);
  app.add_option("--listen", listen, "HOST:PORT to listen on (port 0: any free port)")
      ->capture_default_str();
  StoreLocation location;
  int instanceTimeoutSeconds = 60;
  app.add_option("--data", location.dataDir,
                 "folder for the SQLite database and the uploaded files of this one service");
  app.add_option("--database", location.databaseUrl,
                 "postgresql://... : keep the state in PostgreSQL (several services may share it)");
  app.add_option("--files", location.filesDir,
                 "folder of the uploaded files, shared by the services on one --database");
  app.add_option("--instance-timeout", instanceTimeoutSeconds,
                 "seconds after which a silent service sharing --files is taken as stopped")
      ->capture_default_str()
      ->check(CLI::Range(2, 86400));
  auto* userOption =
      app.add_option("--user", user, "create this user account (or set its password)");
  auto* passwordOption = app.add_option("--password", password, "the password of --user");
  userOption->needs(passwordOption);
  passwordOption->needs(userOption);
  std::string tlsCertPath;
  std::string tlsKeyPath;
  auto* tlsCertOption = app.add_option("--tls-cert", tlsCertPath,
                                       "serve HTTPS with this PEM certificate (and chain)");
  auto* tlsKeyOption =
      app.add_option("--tls-key", tlsKeyPath, "the PEM private key of --tls-cert");
  tlsCertOption->needs(tlsKeyOption);
  tlsKeyOption->needs(tlsCertOption);
  app.add_option("--fault", faultTexts, "OPERATION:KIND[:COUNT] fault to inject (repeatable)");
  app.add_option("--threads", threads, "worker threads")
      ->capture_default_str()
      ->check(CLI::Range(1, 64));
  app.add_option("--max-connections", maxConnections, "open connections at once; more are refused")
      ->capture_default_str()
      ->check(CLI::Range(1, 10000));
  app.add_option("--public-url", publicUrl,
                 "http(s)://HOST[:PORT] clients reach the service at (upload replies name it)");
  app.add_option("--render-threads", renderOptions.threads,
                 "documents built at once (on their own threads)")
      ->capture_default_str()
      ->check(CLI::Range(1, 64));
  app.add_option("--render-queue", renderOptions.queue,
                 "documents waiting at most; more are answered 503 with Retry-After")
      ->capture_default_str()
      ->check(CLI::Range(0, 10000));
  app.add_option("--max-connections-per-address", daemonOptions.maxConnectionsPerAddress,
                 "open connections from one client address at once (0: no limit; use 0 behind "
                 "a proxy)")
      ->capture_default_str()
      ->check(CLI::Range(0, 10000));
  app.add_option("--min-body-rate", daemonOptions.minBodyBytesPerSecond,
                 "bytes per second a request body must average after its first "
                 "--head-timeout seconds (0: no minimum)")
      ->capture_default_str()
      ->check(CLI::Range(int64_t{0}, int64_t{1} << 30));
  app.add_option("--timeout", timeoutSeconds,
                 "seconds a client may stay silent before it is dropped")
      ->capture_default_str()
      ->check(CLI::Range(1, 3600));
  app.add_option("--head-timeout", headTimeoutSeconds,
                 "seconds a request's head may take to arrive")
      ->capture_default_str()
      ->check(CLI::Range(1, 3600));
  app.add_option("--request-timeout", requestTimeoutSeconds,
                 "seconds one whole exchange (request and answer) may take")
      ->capture_default_str()
      ->check(CLI::Range(1, 86400));
  app.add_option("--publish-timeout", publishTimeoutSeconds,
                 "seconds a publish run keeps its template after its last call")
      ->capture_default_str()
      ->check(CLI::Range(1, 86400));
  app.add_option("--delay-ms", delayMs, "how long the delay fault holds an answer back")
      ->capture_default_str()
      ->check(CLI::Range(0, 600000));
  app.add_option("--max-upload-mb", maxUploadMb, "largest upload request body, in MiB")
      ->capture_default_str()
      ->check(CLI::Range(1, 2047));
  app.add_option("--max-soap-mb", maxSoapMb, "largest SOAP request body, in MiB")
      ->capture_default_str()
      ->check(CLI::Range(1, 1024));
  app.add_option("--max-session-mb", maxSessionMb,
                 "uploaded files one session may hold, in MiB (0: no limit)")
      ->capture_default_str()
      ->check(CLI::Range(0, 1 << 30));
  app.add_option("--max-data-mb", maxDataMb,
                 "uploaded files the data folder may hold, in MiB (0: no limit)")
      ->capture_default_str()
      ->check(CLI::Range(0, 1 << 30));
  app.add_option("--max-xml-depth", xmlLimits.maxDepth, "deepest element nesting of a SOAP request")
      ->capture_default_str()
      ->check(CLI::Range(8, 10000));
  app.add_option("--max-xml-attributes", xmlLimits.maxAttributes,
                 "most attributes of one element of a SOAP request")
      ->capture_default_str()
      ->check(CLI::Range(8, 100000));
  app.add_option("--max-xml-namespaces", xmlLimits.maxNamespaces,
                 "most namespace declarations in a SOAP request")
      ->capture_default_str()
      ->check(CLI::Range(8, 100000));
  app.add_option("--max-xml-elements", xmlLimits.maxElements, "most elements in a SOAP request")
      ->capture_default_str()
      ->check(CLI::Range(16, 100000000));

  StoreLocation report;
  std::string reportId;
  auto addLocation = [&report](CLI::App* command) {
    command->add_option("--data", report.dataDir, "the data folder");
    command->add_option("--database", report.databaseUrl, "the PostgreSQL database (postgresql://...)");
    command->add_option("--files", report.filesDir, "the files folder (with --database)");
  };
  CLI::App* list = app.add_subcommand(
      "list", "print every stored template, one line each (read-only, safe while serving)");
  addLocation(list);
  CLI::App* show = app.add_subcommand(
      "show", "print one template: record, logic groups, fields, assets (read-only)");
  addLocation(show);
  show->add_option("ID", reportId, "the template identifier")->required();
  std::string valuesPath;
  std::string outPath;
  CLI::App* render = app.add_subcommand(
      "render", "build a document from a stored template and values (read-only on DIR)");
  addLocation(render);
  render->add_option("ID", reportId, "the template identifier")->required();
  render->add_option("--values", valuesPath,
                     "JSON object: field name -> text (image fields: a file path)")
      ->required();
  render->add_option("OUT", outPath, "the PDF to write")->required();
  bool renderCmyk = false;
  render->add_flag("--cmyk", renderCmyk,
                   "the PDF in CMYK for print: fields in their records' exact inks, the rest "
                   "converted (SWOP) by Ghostscript");
  UserCommandOptions userOptions;
  CLI::App* userCommand = AddUserCommand(&app, &userOptions);
  BackupOptions backupOptions;
  CLI::App* backupCommand = AddBackupCommand(&app, &backupOptions);
  app.require_subcommand(0, 1);

  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp& e) {
    return app.exit(e);
  } catch (const CLI::ParseError& e) {
    app.exit(e);
    return 2;
  }

  if (*userCommand) return RunUserCommand(userOptions, std::cout, std::cerr);
  if (*backupCommand) return RunBackupCommand(backupOptions, std::cout, std::cerr);
  std::string error;
  if (*list || *show || *render) {
    if (!CheckStoreLocation(report, static_cast<bool>(*render), &error)) {
      std::cerr << "osl-service: " << error << "\n";
      return 2;
    }
    if (*list) return ListTemplates(report, std::cout, std::cerr);
    if (*show) return ShowTemplate(report, reportId, std::cout, std::cerr);
    return RenderCommand(report, reportId, valuesPath, outPath, std::cout, std::cerr, renderCmyk);
  }
  if (!CheckStoreLocation(location, true, &error)) {
    std::cerr << "osl-service: " << error << "\n";
    return 2;
  }

  FaultInjector faults;
  for (const std::string& text : faultTexts) {
    FaultSpec spec;
    std::string error;
    if (!ParseFaultSpec(text, &spec, &error)) {
      std::cerr << "osl-service: " << error << "\n";
      return 2;
    }
    faults.Add(spec);
  }
  if (!ParseListenAddress(listen, &daemonOptions.host, &daemonOptions.port)) {
    std::cerr << "osl-service: --listen expects HOST:PORT, got \"" << listen << "\"\n";
    return 2;
  }
  if (!publicUrl.empty() && !NormalizePublicUrl(&publicUrl)) {
    std::cerr << "osl-service: --public-url expects http://HOST[:PORT] or https://HOST[:PORT]\n";
    return 2;
  }
  daemonOptions.threads = threads;
  daemonOptions.maxConnections = maxConnections;
  daemonOptions.idleTimeoutSeconds = timeoutSeconds;
  daemonOptions.headTimeoutMs = headTimeoutSeconds * 1000;
  daemonOptions.requestTimeoutMs = requestTimeoutSeconds * 1000;
  daemonOptions.bodyGraceMs = static_cast<int64_t>(headTimeoutSeconds) * 1000;

  if (!tlsCertPath.empty()) {
    TlsCredentials credentials;
    std::string warning;
    if (!LoadTlsCredentials(tlsCertPath, tlsKeyPath, &credentials, &error, &warning)) {
      std::cerr << "osl-service: " << error << "\n";
      return 2;
    }
    if (!warning.empty()) std::cerr << "osl-service: warning: " << warning << "\n";
    daemonOptions.tlsCertificatePem = std::move(credentials.certificatePem);
    daemonOptions.tlsKeyPem = std::move(credentials.keyPem);
  }
  // The signals that end the service are taken by this thread only (sigwait below); every thread
  // started from here on (the daemon's, the render pool's) inherits the blocked mask.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
  signal(SIGPIPE, SIG_IGN);

  ServiceStorage storage;
  StorageOptions storageOptions;
  storageOptions.connections = threads + 4;
  storageOptions.instanceTimeoutMs = static_cast<int64_t>(instanceTimeoutSeconds) * 1000;
  if (!storage.Open(location, storageOptions, std::cerr, &error)) {
    std::cerr << "osl-service: " << error << "\n";
    return 1;
  }
  Store& store = *storage.store();
  UploadQuota quota(&store, storage.instanceId(), static_cast<uint64_t>(maxSessionMb) << 20,
                    static_cast<uint64_t>(maxDataMb) << 20);
  Accounts accounts(&store);
  if (!user.empty() && !IsAcceptableEmail(user)) {
    std::cerr << "osl-service: --user \"" << user << "\" is not an e-mail address\n";
    return 2;
  }
  if (!user.empty() && !accounts.SetPassword(user, password)) {
    std::cerr << "osl-service: cannot store the account " << user << "\n";
    return 1;
  }
  if (store.UserCount() == 0) {
    std::cerr << "osl-service: warning: no user accounts yet; start with --user EMAIL "
                 "--password PW to create one\n";
  }

  TemplateManager manager(&store, &accounts, static_cast<int64_t>(publishTimeoutSeconds) * 1000);
  GsoapDispatcher dispatcher(&manager, static_cast<unsigned>(xmlLimits.maxDepth));
  ServiceOptions serviceOptions;
  serviceOptions.maxSoapBody = static_cast<uint64_t>(maxSoapMb) << 20;
  serviceOptions.maxUploadBody = static_cast<uint64_t>(maxUploadMb) << 20;
  serviceOptions.xmlLimits = xmlLimits;
  serviceOptions.delayMs = delayMs;
  serviceOptions.dataDir = location.files();
  serviceOptions.incomingFolder = storage.incomingFolder();
  serviceOptions.instance = storage.instanceId();
  serviceOptions.tls = !daemonOptions.tlsCertificatePem.empty();
  serviceOptions.publicUrl = publicUrl;
  RenderPool renders(renderOptions);
  serviceOptions.renders = &renders;
  ServiceApp service(serviceOptions, &store, storage.files(), &quota, &faults, &dispatcher,
                     &accounts);

  // The workers make SOAP contexts at once; the runtime's TLS set-up runs before them, once.
  OslInitTlsRuntime();
  HttpDaemon daemon(daemonOptions, &service);
  if (!daemon.Listen(&error)) {
    std::cerr << "osl-service: " << error << "\n";
    return 1;
  }
  std::string host = daemonOptions.host;
  if (host.find(':') != std::string::npos) host = "[" + host + "]";
  std::string address = host + ":" + std::to_string(daemon.port());
  service.SetListenAddress(address);
  if (!daemon.Start(&error)) {
    std::cerr << "osl-service: " << error << "\n";
    return 1;
  }
  std::cout << (serviceOptions.tls ? "listening on https://" : "listening on http://") << address
            << std::endl;

  int received = 0;
  sigwait(&stopSignals, &received);
  daemon.Stop(5000);
  // Renders still running finish (their answers go nowhere) before the daemon is destroyed.
  renders.Stop();
  storage.Close();
  std::cerr << "osl-service: stopped\n";
  return 0;
}
