#include "refservice/commands/serve_command.h"

#include <pthread.h>
#include <signal.h>

#include <CLI/CLI.hpp>
#include <ostream>

#include "refservice/accounts/accounts.h"
#include "refservice/accounts/user_command.h"
#include "refservice/app/fault_injection.h"
#include "refservice/app/service_app.h"
#include "refservice/app/service_storage.h"
#include "refservice/http/tls_credentials.h"
#include "refservice/soap/soap_endpoint.h"
#include "refservice/uploads/upload_quota.h"
#include "schema/tls_runtime.h"

namespace refservice {

namespace {

// An option whose default is shown in the help and whose value must lie in [low, high].
template <typename T, typename Bound>
void AddBounded(CLI::App* app, const char* name, T* value, const std::string& help, Bound low,
                Bound high) {
  app->add_option(name, *value, help)->capture_default_str()->check(CLI::Range(low, high));
}

}  // namespace

void AddServeOptions(CLI::App* app, ServeOptions* options) {
  app->add_option("--listen", options->listen, "HOST:PORT to listen on (port 0: any free port)")
      ->capture_default_str();
  app->add_option("--data", options->location.dataDir,
                  "folder for the SQLite database and the uploaded files of this one service");
  app->add_option(
      "--database", options->location.databaseUrl,
      "postgresql://... : keep the state in PostgreSQL (several services may share it)");
  app->add_option("--files", options->location.filesDir,
                  "folder of the uploaded files, shared by the services on one --database");
  AddBounded(app, "--instance-timeout", &options->instanceTimeoutSeconds,
             "seconds after which a silent service sharing --files is taken as stopped", 2, 86400);
  auto* userOption =
      app->add_option("--user", options->user, "create this user account (or set its password)");
  auto* passwordOption = app->add_option("--password", options->password, "the password of --user");
  userOption->needs(passwordOption);
  passwordOption->needs(userOption);
  auto* tlsCertOption = app->add_option("--tls-cert", options->tlsCertPath,
                                        "serve HTTPS with this PEM certificate (and chain)");
  auto* tlsKeyOption =
      app->add_option("--tls-key", options->tlsKeyPath, "the PEM private key of --tls-cert");
  tlsCertOption->needs(tlsKeyOption);
  tlsKeyOption->needs(tlsCertOption);
  app->add_option("--fault", options->faultTexts,
                  "OPERATION:KIND[:COUNT] fault to inject (repeatable)");
  AddBounded(app, "--threads", &options->daemon.threads, "worker threads", 1, 64);
  AddBounded(app, "--max-connections", &options->daemon.maxConnections,
             "open connections at once; more are refused", 1, 10000);
  app->add_option("--public-url", options->service.publicUrl,
                  "http(s)://HOST[:PORT] clients reach the service at (upload replies name it)");
  AddBounded(app, "--render-threads", &options->render.threads,
             "documents built at once (on their own threads)", 1, 64);
  AddBounded(app, "--render-queue", &options->render.queue,
             "documents waiting at most; more are answered 503 with Retry-After", 0, 10000);
  AddBounded(app, "--max-connections-per-address", &options->daemon.maxConnectionsPerAddress,
             "open connections from one client address at once (0: no limit; use 0 behind a proxy)",
             0, 10000);
  AddBounded(app, "--min-body-rate", &options->daemon.minBodyBytesPerSecond,
             "bytes per second a request body must average after its first --head-timeout seconds "
             "(0: no minimum)",
             int64_t{0}, int64_t{1} << 30);
  AddBounded(app, "--timeout", &options->daemon.idleTimeoutSeconds,
             "seconds a client may stay silent before it is dropped", 1, 3600);
  AddBounded(app, "--head-timeout", &options->headTimeoutSeconds,
             "seconds a request's head may take to arrive", 1, 3600);
  AddBounded(app, "--request-timeout", &options->requestTimeoutSeconds,
             "seconds one whole exchange (request and answer) may take", 1, 86400);
  AddBounded(app, "--publish-timeout", &options->publishTimeoutSeconds,
             "seconds a publish run keeps its template after its last call", 1, 86400);
  AddBounded(app, "--delay-ms", &options->service.delayMs,
             "how long the delay fault holds an answer back", 0, 600000);
  AddBounded(app, "--max-upload-mb", &options->maxUploadMb, "largest upload request body, in MiB",
             1, 2047);
  AddBounded(app, "--max-soap-mb", &options->maxSoapMb, "largest SOAP request body, in MiB", 1,
             1024);
  AddBounded(app, "--max-session-mb", &options->maxSessionMb,
             "uploaded files one session may hold, in MiB (0: no limit)", 0, 1 << 30);
  AddBounded(app, "--max-data-mb", &options->maxDataMb,
             "uploaded files the data folder may hold, in MiB (0: no limit)", 0, 1 << 30);
  AddBounded(app, "--setup-cache-mb", &options->setupCacheMb,
             "MiB of templates' render set-ups (records, fonts, master PDF, images) kept between "
             "renders (0: none kept)",
             0, 1 << 20);
  AddBounded(app, "--keep-alive", &options->keepAliveSeconds,
             "seconds a connection of the web pages or the document API stays open for another "
             "request (0: one request per connection)",
             0, 3600);
  AddBounded(app, "--max-xml-depth", &options->service.xmlLimits.maxDepth,
             "deepest element nesting of a SOAP request", 8, 10000);
  AddBounded(app, "--max-xml-attributes", &options->service.xmlLimits.maxAttributes,
             "most attributes of one element of a SOAP request", 8, 100000);
  AddBounded(app, "--max-xml-namespaces", &options->service.xmlLimits.maxNamespaces,
             "most namespace declarations in a SOAP request", 8, 100000);
  AddBounded(app, "--max-xml-elements", &options->service.xmlLimits.maxElements,
             "most elements in a SOAP request", 16, 100000000);
}

int RunServeCommand(ServeOptions options, std::ostream& out, std::ostream& err) {
  // Says on `err` why the service does not run; gives the exit status back.
  auto fail = [&err](int status, const std::string& why) {
    err << "osl-service: " << why << "\n";
    return status;
  };
  std::string error;
  if (!CheckStoreLocation(options.location, true, &error)) return fail(2, error);

  FaultInjector faults;
  for (const std::string& text : options.faultTexts) {
    FaultSpec spec;
    if (!ParseFaultSpec(text, &spec, &error)) return fail(2, error);
    faults.Add(spec);
  }
  if (!ParseListenAddress(options.listen, &options.daemon.host, &options.daemon.port)) {
    return fail(2, "--listen expects HOST:PORT, got \"" + options.listen + "\"");
  }
  if (!options.service.publicUrl.empty() && !NormalizePublicUrl(&options.service.publicUrl)) {
    return fail(2, "--public-url expects http://HOST[:PORT] or https://HOST[:PORT]");
  }
  options.daemon.headTimeoutMs = options.headTimeoutSeconds * 1000;
  options.daemon.requestTimeoutMs = options.requestTimeoutSeconds * 1000;
  options.daemon.keepAliveMs = options.keepAliveSeconds * 1000;
  options.daemon.bodyGraceMs = static_cast<int64_t>(options.headTimeoutSeconds) * 1000;

  if (!options.tlsCertPath.empty()) {
    TlsCredentials credentials;
    std::string warning;
    if (!LoadTlsCredentials(options.tlsCertPath, options.tlsKeyPath, &credentials, &error,
                            &warning)) {
      return fail(2, error);
    }
    if (!warning.empty()) err << "osl-service: warning: " << warning << "\n";
    options.daemon.tlsCertificatePem = std::move(credentials.certificatePem);
    options.daemon.tlsKeyPem = std::move(credentials.keyPem);
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
  storageOptions.connections = options.daemon.threads + 4;
  storageOptions.instanceTimeoutMs = static_cast<int64_t>(options.instanceTimeoutSeconds) * 1000;
  if (!storage.Open(options.location, storageOptions, err, &error)) return fail(1, error);
  Store& store = *storage.store();
  UploadQuota quota(&store, storage.instanceId(), static_cast<uint64_t>(options.maxSessionMb) << 20,
                    static_cast<uint64_t>(options.maxDataMb) << 20);
  Accounts accounts(&store);
  if (!options.user.empty() && !IsAcceptableEmail(options.user)) {
    return fail(2, "--user \"" + options.user + "\" is not an e-mail address");
  }
  if (!options.user.empty() && !accounts.SetPassword(options.user, options.password)) {
    return fail(1, "cannot store the account " + options.user);
  }
  if (store.UserCount() == 0) {
    err << "osl-service: warning: no user accounts yet; start with --user EMAIL "
           "--password PW to create one\n";
  }

  TemplateManager manager(&store, &accounts,
                          static_cast<int64_t>(options.publishTimeoutSeconds) * 1000);
  GsoapDispatcher dispatcher(&manager, static_cast<unsigned>(options.service.xmlLimits.maxDepth));
  options.service.maxSoapBody = static_cast<uint64_t>(options.maxSoapMb) << 20;
  options.service.maxUploadBody = static_cast<uint64_t>(options.maxUploadMb) << 20;
  options.service.dataDir = options.location.files();
  options.service.incomingFolder = storage.incomingFolder();
  options.service.instance = storage.instanceId();
  options.service.tls = !options.daemon.tlsCertificatePem.empty();
  RenderPool renders(options.render);
  options.service.renders = &renders;
  options.service.setupCacheBytes = static_cast<size_t>(options.setupCacheMb) << 20;
  ServiceApp service(options.service, &store, storage.files(), &quota, &faults, &dispatcher,
                     &accounts);

  // The workers make SOAP contexts at once; the runtime's TLS set-up runs before them, once.
  OslInitTlsRuntime();
  HttpDaemon daemon(options.daemon, &service);
  if (!daemon.Listen(&error)) return fail(1, error);
  std::string host = options.daemon.host;
  if (host.find(':') != std::string::npos) host = "[" + host + "]";
  std::string address = host + ":" + std::to_string(daemon.port());
  service.SetListenAddress(address);
  if (!daemon.Start(&error)) return fail(1, error);
  out << (options.service.tls ? "listening on https://" : "listening on http://") << address
      << std::endl;

  int received = 0;
  sigwait(&stopSignals, &received);
  daemon.Stop(5000);
  // Renders still running finish (their answers go nowhere) before the daemon is destroyed.
  renders.Stop();
  storage.Close();
  err << "osl-service: stopped\n";
  return 0;
}

}  // namespace refservice
