// File upload to the service's upload page: one local file sent as a
// multipart/form-data HTTP POST (chunked) to the upload address of the
// settings plus the session identifier; the reply body is the file's asset
// address.
//
// The request: "POST /fileUpload.aspx?sessionid=<session> HTTP/1.1", Host,
// "User-Agent: gSOAP/2.8", "Content-Type: multipart/form-data;
// boundary="<boundary>"; type="text/xml"; start="<SOAP-ENV:Envelope>"",
// "Transfer-Encoding: chunked", "Connection: close"; then one part:
//   CRLF "--" boundary CRLF
//   "Content-Type: application/octet-stream" CRLF
//   "Content-Transfer-Encoding: binary" CRLF
//   "Content-Disposition: form-data;  name="file"; filename="<name>"" CRLF
//   CRLF <file bytes> CRLF "--" boundary "--"
// The boundary is "==", 60 characters of the base64 alphabet drawn with
// rand(), "=="; drawn again while it occurs in the file.
#pragma once

#include <string>

#include "host/PMString.h"

// Files of this size or more are refused before anything is read.
constexpr long long kOslUploadSizeLimit = 0x80000000LL;  // 2 GiB

// Uploads the file at `filePath` (platform path), telling the server its name
// is `fileName`. Returns the reply body unchanged (the asset address), or an
// empty string when the upload failed or the file was not read completely.
// The whole file is held in memory once.
//
// Failures and their alerts (information alerts unless said):
//   - file cannot be opened: "ERROR UploadFile::fopen " + path;
//   - file of 2 GiB or more: "ERROR UploadFile::size " + path + " (2 GiB or
//     more cannot be uploaded)";
//   - short read: no alert;
//   - connect or send failure, or no server configured or an address with a
//     blank or control character (nothing is sent):
//     the fault report (error alert), then "0.File " + path,
//     "0.ERROR: soap_connect_command  " + address, "0.sInfo: " + part
//     description, "0.Size: " + size;
//   - the upload's deadline (OslTimeLimits::UploadDeadline of the file's
//     size) passing while connecting or sending: as a connect or send
//     failure, with the fault "Time limit exceeded";
//   - receive failure, a reply status other than 2xx (400 and 500 included),
//     a reply body that is no file address (a control character other than
//     tab, or anything but line breaks and blanks after a CR or LF: a second
//     line, header-like text),
//     or the deadline passing while the reply is awaited:
//     "1.File " + path, "1.ERROR: soap_begin_recv" + address, "1.sInfo: " +
//     part description, "1.Size: " + size, "1.ShowProtocolError.begin", the
//     fault report, "1.ShowProtocolError.end".
PMString UploadFile(const PMString& filePath, const PMString& fileName);

// The part description for `fileName`: name="file"; filename="<name>"
// (UTF-8; the request carries it in the system code page, or in UTF-8 when
// the code page cannot hold the name). Line breaks in the name become blanks so they cannot end the part
// header; everything else, double quotes included, is sent as given.
std::string UploadPartDescription(const PMString& fileName);

// A boundary that does not occur in `data`.
std::string NewUploadBoundary(const char* data, size_t size);
