// Request routing of osl-service: the two SOAP endpoints, the upload page, the GET of uploaded
// files and a short index page, with fault injection applied in front of them.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "refservice/accounts/accounts.h"
#include "refservice/app/fault_injection.h"
#include "refservice/storage/file_system.h"
#include "refservice/http/http_message.h"
#include "refservice/storage/store.h"
#include "refservice/uploads/upload_quota.h"
#include "refservice/soap/soap_dispatcher.h"
#include "refservice/soap/xml_guard.h"
#include "refservice/web/web_app.h"

namespace refservice {

extern const char kUploadPath[];  // "/fileUpload.aspx"

struct ServiceOptions {
  std::string listenAddress;            // "HOST:PORT", for addresses when Host is unusable
  uint64_t maxSoapBody = 16u << 20;     // bytes
  uint64_t maxUploadBody = 256u << 20;  // bytes
  XmlLimits xmlLimits;                  // checked before a SOAP request is parsed
  int delayMs = 3000;                   // how long the "delay" fault holds an answer back
  std::string dataDir;                  // the files folder (the web pages read font files there)
  std::string incomingFolder;           // this instance's folder of uploads still arriving
  std::string instance;                 // this instance's id in the store
  bool tls = false;                     // served over TLS: addresses handed out are https://
  // "http(s)://HOST[:PORT]" under which clients reach the service (behind a proxy, say); empty:
  // the listen address, or the address a client reached when listening on every address.
  std::string publicUrl;
  RenderPool* renders = nullptr;        // where documents are built (null: on the serving thread)
  size_t setupCacheBytes = size_t{256} << 20;  // templates' render set-ups kept between renders
};

class ServiceApp : public HttpHandler {
 public:
  // `store` must be open; `fs` is the data folder; `accounts` signs in the web side's callers
  // (the SOAP side's through the dispatcher); all must outlive the app. SOAP requests are served
  // with CallerAddress() set to the request's client address.
  ServiceApp(ServiceOptions options, Store* store, FileSystem* fs, UploadQuota* quota,
             FaultInjector* faults, SoapDispatcher* dispatcher, Accounts* accounts);

  // Sets the "HOST:PORT" used in file addresses when a request's Host header is unusable. Call
  // before serving.
  void SetListenAddress(std::string address) { options_.listenAddress = std::move(address); }

  std::unique_ptr<HttpExchange> Begin(const HttpRequestHead& head, HttpResponse* reply) override;

 private:
  std::unique_ptr<HttpExchange> BeginSoap(const HttpRequestHead& head, HttpResponse* reply);
  std::unique_ptr<HttpExchange> BeginUpload(const HttpRequestHead& head, HttpResponse* reply);
  HttpResponse FileGet(const HttpRequestHead& head);
  // The client-visible "http://HOST:PORT" (https:// when serving TLS): the configured public
  // address, else the listen address, else (listening on every address) the local address the
  // client connected to. Never the request's Host header, which the client chooses.
  std::string PublicOrigin(const HttpRequestHead& head) const;

  ServiceOptions options_;
  Store* store_;
  FileSystem* fs_;
  UploadQuota* quota_;
  FaultInjector* faults_;
  SoapDispatcher* dispatcher_;
  std::unique_ptr<WebApp> web_;  // pages, fill links and the document API
};

// Checks a public address "http://HOST[:PORT]" or "https://HOST[:PORT]" (a host name, an IPv4
// address or a bracketed IPv6 address; a trailing "/" is dropped) and writes it back in that
// form. False when it is anything else (a path, a query, credentials, spaces, control bytes).
bool NormalizePublicUrl(std::string* url);

// Bytes that are not XML (nor any other structured text), used by the "garbage" fault.
std::string GarbageBody();

// A SOAP 1.1 Fault envelope with the fault code SOAP-ENV:Client (the request was at fault) or
// SOAP-ENV:Server, and `reason` (XML-escaped here).
std::string FaultEnvelope(bool client, std::string_view reason);

// The Content-Length of a request head: nullopt when absent or malformed.
std::optional<uint64_t> ContentLength(const HttpRequestHead& head);

}  // namespace refservice
