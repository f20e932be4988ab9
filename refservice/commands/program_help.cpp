#include "refservice/commands/program_help.h"

namespace refservice {

const char kProgramHelp[] = R"(osl-service: the reference template service.

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
  osl-service merge --data DIR ID --records FILE.csv|FILE.json OUT.pdf
                                    a print run: one document per record, in order, in one PDF
                                    written as it is drawn (OUT.pdf appears only when whole);
                                    a CSV's header names the fields, a JSON file is an array of
                                    objects; every record is checked before anything is drawn;
                                    prints per record what render prints, then a summary;
                                    --per-sheet N [--sheet A4|SRA3|WxH] [--bleed MM]: N cards
                                    per press sheet with crop marks (default sheet SRA3, bleed
                                    3 mm); --stop-on-cut: stop at the first text cut at its
                                    frame; exit 2 bad input, 1 cannot write, 130 interrupted

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

}  // namespace refservice
