#!/usr/bin/env python3
"""Load on the document API of a running osl-service.

    api_load.py starve --url URL --user EMAIL --password PW --template ID
                [--clients 10] [--calls 60] [--interval 0.1] [--warmup 2]
        --clients threads keep posting documents of the template with its own
        texts (each waits for its answer, then posts the next); after
        --warmup seconds, --calls getLibraryTemplates calls are made one
        after another, --interval seconds apart, each on a fresh connection
        as the plug-in makes it, and timed from connect to the last byte of
        the answer. Then the clients stop. Prints
            calls N p50 MS p95 MS max MS
            renders ok N busy N failed N
        and exits 1 when a call failed or no document was made.

    api_load.py soak --url URL --user EMAIL --password PW --template ID
                --pid PID [--renders 20000] [--baseline 1000] [--clients 2]
                [--logo PNG] [--max-rss-mb 2048]
        --renders documents of the template in all, from --clients threads,
        each with other text values (and --logo as the Logo image when
        given); the service's resident memory (VmRSS of PID) is read after
        the first --baseline documents and after the last. The run stops
        early once that memory passes --max-rss-mb (checked every 100
        documents), so a leak cannot take the machine's memory. Prints
            rss_baseline KIB rss_end KIB growth PERCENT
            renders ok N busy N failed N wall S
            stopped after N renders at MIB MiB     (only when it stopped early)
        and exits 1 when a document failed (a busy answer is retried after
        its Retry-After, and counted).

    api_load.py merge-job --url URL --user EMAIL --password PW --template ID
                --records FILE.csv --out OUT.pdf [--timeout 600]
        Starts a merge job of the records (POST .../merges, text/csv), asks for
        its state every 0.2 s until it is done (at most --timeout seconds),
        then fetches its file to OUT.pdf. Prints
            job done records N pages N wall S
        and exits 1 when the job failed or did not end in time.

Only loopback addresses are accepted; every request has a 120-second bound.
"""
import argparse
import base64
import http.client
import json
import sys
import threading
import time
import urllib.parse
from xml.sax.saxutils import escape

kTimeout = 120


def connect(url):
    parts = urllib.parse.urlsplit(url)
    if parts.hostname not in ("127.0.0.1", "::1", "localhost"):
        sys.exit(f"api_load: {url} is not a loopback address")
    return http.client.HTTPConnection(parts.hostname, parts.port, timeout=kTimeout)


class DocumentClient:
    """Posts documents of one template on one connection, kept open while the service allows."""

    def __init__(self, args, fill):
        self.args = args
        self.fill = fill
        self.connection = connect(args.url)
        token = base64.b64encode(f"{args.user}:{args.password}".encode()).decode()
        self.auth = "Basic " + token
        self.logo = open(args.logo, "rb").read() if getattr(args, "logo", None) else None

    def post(self, number):
        """Status and Retry-After of one document: the template's own texts (`fill` off) or
        the business card's fields filled with the values of record `number`."""
        if not self.fill:
            return self.send(b"{}", "application/json")
        values = {"FullName": f"Client {number}", "JobTitle": f"Title {number % 97}",
                  "Phone": f"+1 555 {number % 10000:04d}", "Email": f"c{number}@example.com"}
        boundary = f"----bench{number:012d}"
        body = bytearray()
        for name, value in values.items():
            body += (f"--{boundary}\r\nContent-Disposition: form-data; name=\"{name}\"\r\n\r\n"
                     f"{value}\r\n").encode()
        if self.logo is not None:
            body += (f"--{boundary}\r\nContent-Disposition: form-data; name=\"Logo\"; "
                     f"filename=\"logo.png\"\r\nContent-Type: image/png\r\n\r\n").encode()
            body += self.logo + b"\r\n"
        body += f"--{boundary}--\r\n".encode()
        return self.send(bytes(body), f"multipart/form-data; boundary={boundary}")

    def send(self, body, content_type):
        headers = {"Authorization": self.auth, "Content-Type": content_type}
        for attempt in range(2):
            try:
                self.connection.request("POST", f"/api/templates/{self.args.template}/documents",
                                        body=body, headers=headers)
                reply = self.connection.getresponse()
                reply.read()
                if reply.getheader("Connection", "").lower() == "close":
                    self.connection.close()
                return reply.status, reply.getheader("Retry-After")
            except (http.client.HTTPException, ConnectionError):
                # A kept connection the service closed meanwhile: once more on a new one.
                self.connection.close()
                if attempt == 1:
                    raise
        return 0, None


def library_call(args):
    """Seconds one getLibraryTemplates takes on a fresh connection; fails unless answered 200."""
    envelope = (
        '<?xml version="1.0" encoding="UTF-8"?><SOAP-ENV:Envelope xmlns:SOAP-ENV='
        '"http://schemas.xmlsoap.org/soap/envelope/" xmlns:ns4="urn:osl:templates/">'
        "<SOAP-ENV:Body><ns4:getLibraryTemplates><ns4:email>" + escape(args.user) +
        "</ns4:email><ns4:password>" + escape(args.password) +
        "</ns4:password></ns4:getLibraryTemplates></SOAP-ENV:Body></SOAP-ENV:Envelope>"
    ).encode()
    start = time.perf_counter()
    connection = connect(args.url)
    try:
        connection.request("POST", "/services/builddoc.asmx", body=envelope, headers={
            "Content-Type": "text/xml; charset=utf-8",
            "SOAPAction": '"urn:osl:templates/getLibraryTemplates"'})
        reply = connection.getresponse()
        reply.read()
    finally:
        connection.close()
    if reply.status != 200:
        raise RuntimeError(f"getLibraryTemplates answered {reply.status}")
    return time.perf_counter() - start


class Tally:
    def __init__(self):
        self.lock = threading.Lock()
        self.ok = self.busy = self.failed = 0
        self.errors = []

    def count(self, status, error=None):
        with self.lock:
            if status == 200:
                self.ok += 1
            elif status == 503:
                self.busy += 1
            else:
                self.failed += 1
                if len(self.errors) < 5:
                    self.errors.append(error or f"answered {status}")


def percentile(values, share):
    ordered = sorted(values)
    index = max(0, min(len(ordered) - 1, int(len(ordered) * share + 0.999) - 1))
    return ordered[index]


def starve(args):
    stop = threading.Event()
    tally = Tally()

    def client(index):
        documents = DocumentClient(args, fill=False)
        number = index
        while not stop.is_set():
            try:
                status, retry = documents.post(number)
            except Exception as failure:  # noqa: BLE001 (any failure is counted and told)
                tally.count(0, str(failure))
                stop.wait(1)
                continue
            tally.count(status)
            if status == 503:
                stop.wait(min(5, int(retry or 1)))
            number += args.clients

    threads = [threading.Thread(target=client, args=(i,), daemon=True) for i in range(args.clients)]
    for thread in threads:
        thread.start()
    time.sleep(args.warmup)
    times = []
    failure = None
    try:
        for _ in range(args.calls):
            times.append(library_call(args))
            time.sleep(args.interval)
    except Exception as error:  # noqa: BLE001
        failure = error
    stop.set()
    for thread in threads:
        thread.join(kTimeout + 5)
    if times:
        print(f"calls {len(times)} p50 {percentile(times, 0.5) * 1000:.1f} "
              f"p95 {percentile(times, 0.95) * 1000:.1f} max {max(times) * 1000:.1f}")
    print(f"renders ok {tally.ok} busy {tally.busy} failed {tally.failed}")
    for error in tally.errors:
        print(f"api_load: a render failed: {error}", file=sys.stderr)
    if failure is not None:
        print(f"api_load: getLibraryTemplates failed: {failure}", file=sys.stderr)
        return 1
    return 0 if tally.ok > 0 else 1


def resident_kib(pid):
    with open(f"/proc/{pid}/status") as status:
        for line in status:
            if line.startswith("VmRSS:"):
                return int(line.split()[1])
    raise RuntimeError(f"no VmRSS for process {pid}")


def soak(args):
    tally = Tally()
    next_number = [0]
    lock = threading.Lock()
    baseline_done = threading.Barrier(args.clients + 1)

    bound_kib = args.max_rss_mb * 1024
    over = []

    def take(limit):
        with lock:
            if next_number[0] >= limit or over:
                return None
            next_number[0] += 1
            if next_number[0] % 100 == 0 and (rss := resident_kib(args.pid)) > bound_kib:
                over.append((next_number[0], rss))  # a leak must not take the machine's memory
                return None
            return next_number[0]

    def run(documents, limit):
        while (number := take(limit)) is not None:
            for _ in range(20):  # a busy answer is asked again after its Retry-After
                try:
                    status, retry = documents.post(number)
                except Exception as failure:  # noqa: BLE001
                    tally.count(0, str(failure))
                    break
                tally.count(status)
                if status != 503:
                    break
                time.sleep(min(5, int(retry or 1)))

    def client():
        documents = DocumentClient(args, fill=True)
        run(documents, args.baseline)
        baseline_done.wait()
        baseline_done.wait()  # the main thread has read the memory
        run(documents, args.renders)

    start = time.perf_counter()
    threads = [threading.Thread(target=client, daemon=True) for _ in range(args.clients)]
    for thread in threads:
        thread.start()
    baseline_done.wait()
    time.sleep(0.5)  # let the last answers' buffers go
    baseline = resident_kib(args.pid)
    baseline_done.wait()
    for thread in threads:
        thread.join()
    time.sleep(0.5)
    end = resident_kib(args.pid)
    wall = time.perf_counter() - start
    print(f"rss_baseline {baseline} rss_end {end} growth {(end - baseline) * 100 / baseline:.1f}")
    print(f"renders ok {tally.ok} busy {tally.busy} failed {tally.failed} wall {wall:.1f}")
    if over:
        print(f"stopped after {over[0][0]} renders at {over[0][1] // 1024} MiB")
    for error in tally.errors:
        print(f"api_load: a render failed: {error}", file=sys.stderr)
    return 0 if tally.failed == 0 else 1


def merge_job(args):
    token = base64.b64encode(f"{args.user}:{args.password}".encode()).decode()
    headers = {"Authorization": "Basic " + token}
    connection = connect(args.url)

    def ask(method, path, body=None, extra=None):
        connection.request(method, path, body=body, headers={**headers, **(extra or {})})
        reply = connection.getresponse()
        data = reply.read()
        if reply.getheader("Connection", "").lower() == "close":
            connection.close()
        return reply.status, data

    start = time.perf_counter()
    status, data = ask("POST", f"/api/templates/{args.template}/merges",
                       open(args.records, "rb").read(), {"Content-Type": "text/csv"})
    if status != 202:
        print(f"api_load: the merge job was not started: {status} {data[:300]!r}", file=sys.stderr)
        return 1
    job = json.loads(data)["job"]
    deadline = start + args.timeout
    while True:
        status, data = ask("GET", job)
        state = json.loads(data) if status == 200 else {"state": f"answered {status}"}
        if state["state"] not in ("queued", "running") or time.perf_counter() > deadline:
            break
        time.sleep(0.2)
    if state["state"] != "done":
        print(f"api_load: the merge job ended {state.get('state')}: {state.get('error', '')}",
              file=sys.stderr)
        return 1
    status, data = ask("GET", job + "/file")
    wall = time.perf_counter() - start
    if status != 200:
        print(f"api_load: the merged file answered {status}", file=sys.stderr)
        return 1
    with open(args.out, "wb") as out:
        out.write(data)
    summary = state.get("summary", {})
    print(f"job done records {summary.get('records')} pages {summary.get('pages')} wall {wall:.2f}")
    return 0


def main():
    parser = argparse.ArgumentParser()
    sub = parser.add_subparsers(dest="what", required=True)
    for name in ("starve", "soak"):
        one = sub.add_parser(name)
        one.add_argument("--url", required=True)
        one.add_argument("--user", required=True)
        one.add_argument("--password", required=True)
        one.add_argument("--template", required=True)
    one = sub.choices["starve"]
    one.add_argument("--clients", type=int, default=10)
    one.add_argument("--calls", type=int, default=60)
    one.add_argument("--interval", type=float, default=0.1)
    one.add_argument("--warmup", type=float, default=2)
    one = sub.choices["soak"]
    one.add_argument("--pid", type=int, required=True)
    one.add_argument("--renders", type=int, default=20000)
    one.add_argument("--baseline", type=int, default=1000)
    one.add_argument("--clients", type=int, default=2)
    one.add_argument("--logo")
    one.add_argument("--max-rss-mb", type=int, default=2048)
    one = sub.add_parser("merge-job")
    one.add_argument("--url", required=True)
    one.add_argument("--user", required=True)
    one.add_argument("--password", required=True)
    one.add_argument("--template", required=True)
    one.add_argument("--records", required=True)
    one.add_argument("--out", required=True)
    one.add_argument("--timeout", type=float, default=600)
    args = parser.parse_args()
    if args.what == "soak" and not 0 < args.baseline < args.renders:
        parser.error("--baseline must be above 0 and below --renders")
    sys.exit({"starve": starve, "soak": soak, "merge-job": merge_job}[args.what](args))


if __name__ == "__main__":
    main()
