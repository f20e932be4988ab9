#include "service_client/upload.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>

#include "host/CAlert.h"
#include "service_client/platform.h"
#include "service_client/plugin_data.h"
#include "service_client/service_calls.h"
#include "text/ascii_case.h"

namespace {

// Whether the reply body can be a file's address: one line, with no control
// characters other than tab. The line may be followed by line breaks and
// blanks only (a service may end its reply with a line break, and the reply
// is kept as sent); anything after a line break (a second line, text that
// looks like a header) means the reply is no address. Bytes above 0x7F are
// the service's.
bool IsUsableAddress(const char* body, size_t length) {
  bool lineEnded = false;
  for (size_t i = 0; i < length; ++i) {
    const unsigned char c = static_cast<unsigned char>(body[i]);
    if (c == '\r' || c == '\n') {
      lineEnded = true;
      continue;
    }
    if (lineEnded && c != ' ' && c != '\t') return false;
    if (c == '\t') continue;
    if (c < 0x20 || c == 0x7F) return false;
  }
  return true;
}

const char kPartType[] = "application/octet-stream";
const char kPartEncoding[] = "binary";
const char kStartId[] = "<SOAP-ENV:Envelope>";
const char kBase64[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

PMString Literal(const std::string& utf8) {
  return PMString(utf8, PMString::kDontTranslateDuringCall);
}

void Inform(const std::string& text) { CAlert::InformationAlert(Literal(text)); }

// What the header hook of the upload context needs.
struct UploadHeader {
  int (*post)(struct soap*, const char*, const char*);
  std::string contentType;
};

// Writes every header line as the runtime would, except Content-Type, which
// names the multipart form.
int PostHeader(struct soap* soap, const char* key, const char* value) {
  auto* header = static_cast<UploadHeader*>(soap->user);
  if (key && value && std::strcmp(key, "Content-Type") == 0) {
    return header->post(soap, key, header->contentType.c_str());
  }
  return header->post(soap, key, value);
}

// An http or https address that can stand in a request line as it is.
bool IsHttpAddress(const std::string& address) {
  const bool sendable = std::none_of(address.begin(), address.end(), [](char c) {
    return static_cast<unsigned char>(c) <= ' ' || c == '\x7f';
  });
  return sendable && (textutil::StartsWithNoCase(address, "http://") ||
                      textutil::StartsWithNoCase(address, "https://"));
}

// Records the refusal (status 400 or 500) whose reply text is `body` as the
// runtime records every other refusal: an HTTP error whose detail is the
// service's text, so that the fault report shows what the service said.
void SetHttpRefusal(struct soap* soap, const char* body) {
  soap->version = 0;  // an HTTP reply, no SOAP Fault
  soap_set_receiver_error(soap, "HTTP Error", body, soap->status);
}

// Sends the one part of the form through the runtime (chunked), then ends the
// send phase. Returns the runtime's status.
int SendBody(struct soap* soap, const std::string& boundary, const std::string& description,
             const char* data, size_t size) {
  const std::string head = "\r\n--" + boundary + "\r\nContent-Type: " + kPartType +
                           "\r\nContent-Transfer-Encoding: " + kPartEncoding +
                           "\r\nContent-Disposition: form-data;  " + description + "\r\n\r\n";
  const std::string tail = "\r\n--" + boundary + "--";
  if (soap_send_raw(soap, head.data(), head.size()) ||
      (size > 0 && soap_send_raw(soap, data, size)) ||
      soap_send_raw(soap, tail.data(), tail.size()) || soap_end_send(soap)) {
    return soap->error ? soap->error : SOAP_EOF;
  }
  return SOAP_OK;
}

}  // namespace

std::string UploadPartDescription(const PMString& fileName) {
  std::string name = fileName.GetPlatformString();
  std::replace(name.begin(), name.end(), '\r', ' ');
  std::replace(name.begin(), name.end(), '\n', ' ');
  return "name=\"file\"; filename=\"" + name + "\"";
}

std::string NewUploadBoundary(const char* data, size_t size) {
  std::string boundary(64, '=');
  for (;;) {
    for (size_t i = 2; i < 62; ++i) boundary[i] = kBase64[std::rand() & 63];
    if (size < boundary.size()) return boundary;
    const char* end = data + size;
    const std::boyer_moore_horspool_searcher<std::string::const_iterator> searcher(boundary.begin(),
                                                                                   boundary.end());
    if (std::search(data, end, searcher) == end) return boundary;
  }
}

PMString UploadFile(const PMString& filePath, const PMString& fileName) {
  const std::string path = filePath.GetPlatformString();
  const std::string pathText = filePath.GetUTF8String();
  OslFileBytes data;
  switch (OslPlatform::Get().ReadWholeFile(path, kOslUploadSizeLimit, &data)) {
    case OslReadResult::kRead:
      break;
    case OslReadResult::kNotOpened:
      Inform("ERROR UploadFile::fopen " + pathText);
      return PMString();
    case OslReadResult::kNotRegular:
      Inform("ERROR UploadFile::fopen " + pathText + " (not a regular file)");
      return PMString();
    case OslReadResult::kTooLarge:
      Inform("ERROR UploadFile::size " + pathText + " (2 GiB or more cannot be uploaded)");
      return PMString();
    case OslReadResult::kNoMemory:
      Inform("ERROR UploadFile::memory " + pathText);
      return PMString();
    case OslReadResult::kShortRead:
      return PMString();
  }
  const size_t size = data.size();

  PMString result;
  {
    OslSoapContext context(OslSoapContext::Kind::kUpload);
    struct soap* soap = context.get();
    if (!soap) return PMString();

    const std::string boundary = NewUploadBoundary(data.data(), size);
    const std::string description = UploadPartDescription(fileName);
    // The server is told the name in the system code page; a name that the
    // code page cannot hold is sent as UTF-8 rather than with characters lost.
    std::string sentDescription;
    if (!OslPlatform::Get().ToSystemText(description, &sentDescription)) {
      sentDescription = description;
    }
    UploadHeader header{soap->fposthdr, "multipart/form-data; boundary=\"" + boundary +
                                            "\"; type=\"text/xml\"; start=\"" + kStartId + "\""};
    soap->user = &header;
    soap->fposthdr = PostHeader;

    OslPlugInData& settings = GetOslPlugInData();
    settings.LoadSettings();
    const std::string address = (settings.uploadUrl + settings.sessionId).GetPlatformString();
    const std::string sizeText = std::to_string(size);

    int status = SOAP_OK;
    OslStartDeadline(soap, context.limits().UploadDeadline(size));
    if (!IsHttpAddress(address)) {
      status = soap_set_sender_error(soap, "No server configured",
                                     "The upload address is not an HTTP address", SOAP_TCP_ERROR);
    } else if (soap_connect_command(soap, SOAP_POST, address.c_str(), nullptr) == SOAP_OK) {
      status = SendBody(soap, boundary, sentDescription, data.data(), size);
    } else {
      status = soap->error;
    }
    if (status != SOAP_OK) status = OslEndDeadline(soap, status);
    if (status != SOAP_OK) {
      ReportSoapFault(soap);
      Inform("0.File " + pathText);
      Inform("0.ERROR: soap_connect_command  " + address);
      Inform("0.sInfo: " + description);
      Inform("0.Size: " + sizeText);
    } else {
      size_t length = 0;
      const char* body = nullptr;
      bool received = soap_begin_recv(soap) == SOAP_OK;
      const ULONG64 announced = soap->length;  // Content-Length, 0 when none
      if (received) {
        body = soap_http_get_body(soap, &length);
        received = soap->error == SOAP_OK && soap_end_recv(soap) == SOAP_OK;
      }
      if (received && announced > 0 && length != announced) {
        // The connection closed before the announced Content-Length.
        soap->error = SOAP_EOF;
        received = false;
      }
      // The runtime lets 400 and 500 through for the SOAP Fault they carry;
      // here they are no asset address, and a refusal like any other.
      if (received && (soap->status == 400 || soap->status == 500)) {
        SetHttpRefusal(soap, body);
        received = false;
      }
      // The reply is recorded as the file's address and sent back in
      // setAssets: a body with control characters (an error page, a broken
      // proxy) is no address, and would make that request unreadable.
      if (received && body && !IsUsableAddress(body, length)) {
        soap_set_receiver_error(soap, "The upload's reply is not a file address",
                                "it holds control characters", SOAP_SYNTAX_ERROR);
        received = false;
      }
      if (OslEndDeadline(soap, received ? SOAP_OK : soap->error) != SOAP_OK) received = false;
      if (received) {
        if (body && length > 0) result = Literal(std::string(body, length));
      } else {
        Inform("1.File " + pathText);
        Inform("1.ERROR: soap_begin_recv" + address);
        Inform("1.sInfo: " + description);
        Inform("1.Size: " + sizeText);
        Inform("1.ShowProtocolError.begin");
        ReportSoapFault(soap);
        Inform("1.ShowProtocolError.end");
      }
    }
    soap->fposthdr = header.post;
    soap->user = nullptr;
  }
  return result;
}
