// `osl-service [--listen HOST:PORT] --data DIR | --database URL ...`: serving. Opens the data
// folder (or the database and files folder), prints "listening on http(s)://HOST:PORT" once it
// accepts connections, and serves until SIGINT or SIGTERM.
// Exit status: 0 stopped by a signal, 1 the data folder, the store or the address could not be
// opened, 2 bad usage (an option the command line parser lets through but the service refuses).
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include "refservice/app/service_app.h"
#include "refservice/http/http_daemon.h"
#include "refservice/http/render_pool.h"
#include "refservice/storage/store_factory.h"
#include "refservice/templates/template_manager.h"

namespace CLI {
class App;
}

namespace refservice {

// The options of serving, with their defaults; some go straight into the daemon's, the service
// app's and the render pool's own options.
struct ServeOptions {
  std::string listen = "127.0.0.1:8080";
  StoreLocation location;
  int instanceTimeoutSeconds = 60;
  std::string user;  // with password: the account created (or whose password is set) at start
  std::string password;
  std::string tlsCertPath;
  std::string tlsKeyPath;
  std::vector<std::string> faultTexts;  // OPERATION:KIND[:COUNT], parsed when serving starts
  int headTimeoutSeconds = 10;
  int requestTimeoutSeconds = 600;
  int publishTimeoutSeconds = static_cast<int>(kDefaultPublishLeaseMs / 1000);
  int maxUploadMb = 256;
  int maxSoapMb = 64;
  int maxSessionMb = 1024;
  int maxDataMb = 8192;
  int setupCacheMb = 256;
  int keepAliveSeconds = 5;
  HttpDaemonOptions daemon;
  ServiceOptions service;
  RenderPoolOptions render;
};

// Adds serving's options to `app` itself (serving is what runs without a subcommand).
void AddServeOptions(CLI::App* app, ServeOptions* options);

// Serves until SIGINT or SIGTERM; `out` gets the "listening on" line, `err` the messages.
// Returns the exit status.
int RunServeCommand(ServeOptions options, std::ostream& out, std::ostream& err);

}  // namespace refservice
