#!/usr/bin/env python3
"""Many designers publishing at once: a load run against running osl-service instances.

    load_run.py --osl BIN --plugin-dir DIR --user EMAIL --password PW
                [--designers 50] [--fields 100] [--pages 5] [--timeout 600]
                --work DIR URL [URL ...]

Each designer is a real `osl publish --json` process with a generated document
of its own (bench/make_document.py, named "Load designer N") and a plug-in
folder of its own whose settings name one of the service addresses, taken in
turn (designer N publishes through URL number N modulo the count). All
designers start together; each publish has --timeout seconds, after which it
is killed and counted as failed.

Afterwards it checks through every address that nothing was lost: every
designer's template is listed exactly once, under the identifier its publish
reported, and holds exactly the fields a dry run of the same document sends,
each name once.

Prints one line of figures
    publishes N ok N failed N wall S rate R/s p50 S p95 S max S
and one line of the check
    check templates N/N fields-whole N/N duplicates N missing N
and exits 0 only when every publish succeeded and the check found nothing.
"""
import argparse
import concurrent.futures
import json
import os
import re
import shutil
import subprocess
import sys
import time
import urllib.request
from xml.sax.saxutils import escape

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import fields_request  # noqa: E402  (the envelopes, as the plug-in writes them)


def soap_call(url, path, action, body, timeout=120):
    envelope = (fields_request.HEAD + body + fields_request.TAIL).encode("utf-8")
    request = urllib.request.Request(
        url + path, data=envelope, method="POST",
        headers={"Content-Type": "text/xml; charset=utf-8", "SOAPAction": '"' + action + '"'})
    with urllib.request.urlopen(request, timeout=timeout) as reply:
        return reply.read().decode("utf-8")


def list_templates(url, user, password):
    """(name, docID) of every template of the account, in the service's order."""
    body = ("<ns4:getLibraryTemplates><ns4:email>" + escape(user) + "</ns4:email><ns4:password>"
            + escape(password) + "</ns4:password></ns4:getLibraryTemplates>")
    answer = soap_call(url, "/services/builddoc.asmx", "urn:osl:templates/getLibraryTemplates",
                       body)
    found = []
    for record in re.findall(r"<ns4:libraryTemplate>(.*?)</ns4:libraryTemplate>", answer, re.S):
        name = re.search(r"<ns4:docName>(.*?)</ns4:docName>", record, re.S)
        doc_id = re.search(r"<ns4:docID>(.*?)</ns4:docID>", record, re.S)
        password_match = re.search(r"<ns4:docPassword>(.*?)</ns4:docPassword>", record, re.S)
        found.append((name.group(1) if name else "", doc_id.group(1) if doc_id else "",
                      password_match.group(1) if password_match else ""))
    return found


def field_names(url, user, password, doc_id, doc_password):
    body = ("<ns2:getFields>"
            + fields_request.credentials(user, password, doc_id, doc_password)
            + "</ns2:getFields>")
    answer = soap_call(url, "/services/templateMgr.svc",
                       "urn:osl:templates/ItemplateMgr/getFields", body)
    return re.findall(r"<ns2:OstrFieldInfo><ns2:fieldName>(.*?)</ns2:fieldName>", answer)


def percentile(values, share):
    ordered = sorted(values)
    if not ordered:
        return float("nan")
    rank = max(0, min(len(ordered) - 1, int(round(share * (len(ordered) - 1)))))
    return ordered[rank]


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--osl", required=True)
    parser.add_argument("--plugin-dir", required=True,
                        help="folder with Osl.pln and the libraries beside it")
    parser.add_argument("--user", required=True)
    parser.add_argument("--password", required=True)
    parser.add_argument("--designers", type=int, default=50)
    parser.add_argument("--fields", type=int, default=100)
    parser.add_argument("--pages", type=int, default=5)
    parser.add_argument("--timeout", type=float, default=600)
    parser.add_argument("--work", required=True, help="an empty folder for the designers")
    parser.add_argument("urls", nargs="+")
    args = parser.parse_args()
    if args.designers < 1 or args.designers > 500:
        parser.error("--designers must be 1 to 500")

    designers = []
    for n in range(args.designers):
        home = os.path.join(args.work, f"designer-{n:03d}")
        plugin = os.path.join(home, "plugin")
        os.makedirs(os.path.join(home, "tmp"), exist_ok=True)
        os.makedirs(os.path.join(home, "config"), exist_ok=True)
        shutil.copytree(args.plugin_dir, plugin)
        url = args.urls[n % len(args.urls)]
        with open(os.path.join(plugin, "Osl.cfg"), "w", encoding="utf-8") as cfg:
            cfg.write(f"server:{url}\nuser:{args.user}\npass:{args.password}\n")
        name = f"Load designer {n}"
        subprocess.run([sys.executable, os.path.join(HERE, "make_document.py"), "--fields",
                        str(args.fields), "--pages", str(args.pages), "--name", name,
                        os.path.join(home, "doc.tlvd")], check=True, stdout=subprocess.DEVNULL)
        env = dict(os.environ, TMPDIR=os.path.join(home, "tmp"),
                   XDG_CONFIG_HOME=os.path.join(home, "config"))
        designers.append({"n": n, "name": name, "home": home, "url": url, "env": env,
                          "command": [args.osl, "--plugin", os.path.join(plugin, "Osl.pln"),
                                      "--yes", "publish", "--json",
                                      os.path.join(home, "doc.tlvd")]})

    # The fields a publish of these documents sends, from a dry run of the first one.
    dry = subprocess.run(designers[0]["command"][:5] + ["--dry-run", "--json",
                                                        designers[0]["command"][-1]],
                         env=designers[0]["env"], capture_output=True, text=True,
                         timeout=args.timeout)
    try:
        plan = json.loads(dry.stdout)["documents"][0]["dryRun"]
        expected = sorted(f["name"] for f in plan["fields"] if f["change"] == "add")
    except (ValueError, KeyError, IndexError, TypeError):
        sys.exit("load_run.py: the dry run gave no field list:\n" + dry.stdout + dry.stderr)

    def publish(designer):
        start = time.monotonic()
        try:
            done = subprocess.run(designer["command"], env=designer["env"], capture_output=True,
                                  text=True, timeout=args.timeout)
            seconds = time.monotonic() - start
            with open(os.path.join(designer["home"], "publish.log"), "w") as log:
                log.write(done.stderr)
            outcome = json.loads(done.stdout)["documents"][0].get("outcome", {})
            ok = done.returncode == 0 and outcome.get("status") == "published"
            return designer, ok, seconds, outcome.get("templateID", "")
        except (subprocess.TimeoutExpired, ValueError, KeyError, IndexError):
            return designer, False, time.monotonic() - start, ""

    start = time.monotonic()
    results = []
    with concurrent.futures.ThreadPoolExecutor(max_workers=args.designers) as pool:
        for result in pool.map(publish, designers):
            results.append(result)
    wall = time.monotonic() - start

    times = [seconds for _, ok, seconds, _ in results if ok]
    ok_count = len(times)
    print(f"publishes {len(results)} ok {ok_count} failed {len(results) - ok_count} "
          f"wall {wall:.2f} rate {ok_count / wall:.2f}/s p50 {percentile(times, 0.5):.2f} "
          f"p95 {percentile(times, 0.95):.2f} max {max(times) if times else float('nan'):.2f}")
    for designer, ok, _, _ in results:
        if not ok:
            print(f"failed: {designer['name']} (see {designer['home']}/publish.log)",
                  file=sys.stderr)

    # Nothing lost, nothing twice: through every address, every template once and whole.
    problems = 0
    present = whole = duplicates = missing = 0
    for url in args.urls:
        listed = list_templates(url, args.user, args.password)
        for designer, _, _, reported_id in results:
            mine = [t for t in listed if t[0] == designer["name"]]
            if len(mine) > 1:
                duplicates += 1
            if not mine:
                missing += 1
                continue
            present += 1
            _, doc_id, doc_password = mine[0]
            if reported_id and doc_id != reported_id:
                problems += 1
                print(f"check: {designer['name']} is {doc_id} at {url}, published as "
                      f"{reported_id}", file=sys.stderr)
            names = field_names(url, args.user, args.password, doc_id, doc_password)
            if sorted(names) == expected:
                whole += 1
            else:
                print(f"check: {designer['name']} at {url} holds {len(names)} fields, "
                      f"{len(set(names))} names; expected {len(expected)}", file=sys.stderr)
    checked = len(results) * len(args.urls)
    print(f"check templates {present}/{checked} fields-whole {whole}/{checked} "
          f"duplicates {duplicates} missing {missing} fields-per-template {len(expected)}")
    clean = ok_count == len(results) and whole == checked and duplicates == 0 and problems == 0
    return 0 if clean else 1


if __name__ == "__main__":
    sys.exit(main())
