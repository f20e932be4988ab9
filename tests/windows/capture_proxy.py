#!/usr/bin/env python3
"""Request bytes on a loopback socket, for client_publish_test.sh.

  capture_proxy.py serve UPSTREAM_PORT OUT_DIR
      listens on 127.0.0.1 (a free port, printed on the first line), passes
      every connection on to 127.0.0.1:UPSTREAM_PORT and writes what each
      client sent to OUT_DIR/NNN.req (NNN: the connection's number, from 000).
      Runs until it is killed; a connection idle for 30 s is closed.
  capture_proxy.py normalize OUT_DIR
      prints the requests of OUT_DIR in order, with the values that differ
      between two runs of the same calls replaced: each multipart boundary,
      the proxy's port, identifiers (GUIDs: templates, their passwords, the
      upload session) and the Content-Length of a body holding a boundary.
"""
import os
import re
import socket
import sys
import threading


def pipe(src, dst, record):
    try:
        while True:
            data = src.recv(65536)
            if not data:
                break
            if record:
                record.write(data)
                record.flush()
            dst.sendall(data)
    except OSError:
        pass
    finally:
        try:
            dst.shutdown(socket.SHUT_WR)
        except OSError:
            pass


def serve(upstream_port, out_dir):
    server = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    server.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    server.bind(("127.0.0.1", 0))
    server.listen(16)
    print(server.getsockname()[1], flush=True)
    number = 0
    while True:
        client, _ = server.accept()
        upstream = socket.create_connection(("127.0.0.1", upstream_port), timeout=30)
        client.settimeout(30)
        record = open(os.path.join(out_dir, "%03d.req" % number), "wb")
        number += 1
        threading.Thread(target=pipe, args=(client, upstream, record), daemon=True).start()
        threading.Thread(target=pipe, args=(upstream, client, None), daemon=True).start()


GUID = re.compile(rb"[0-9a-fA-F]{8}-[0-9a-fA-F]{4}-[0-9a-fA-F]{4}-[0-9a-fA-F]{4}-[0-9a-fA-F]{12}")


def normalize(out_dir):
    out = sys.stdout.buffer
    for name in sorted(n for n in os.listdir(out_dir) if n.endswith(".req")):
        with open(os.path.join(out_dir, name), "rb") as f:
            data = f.read()
        match = re.search(rb"boundary=\"?([^\"\r\n;]+)", data)
        if match:
            data = data.replace(match.group(1), b"BOUNDARY")
            data = re.sub(rb"(?i)content-length: *[0-9]+", b"Content-Length: LENGTH", data)
        data = re.sub(rb"127\.0\.0\.1:[0-9]+", b"127.0.0.1:PORT", data)
        data = GUID.sub(b"GUID", data)
        out.write(b"=== %s\n" % name.encode())
        out.write(data)
        out.write(b"\n")


if __name__ == "__main__":
    if len(sys.argv) == 4 and sys.argv[1] == "serve":
        serve(int(sys.argv[2]), sys.argv[3])
    elif len(sys.argv) == 3 and sys.argv[1] == "normalize":
        normalize(sys.argv[2])
    else:
        sys.exit(__doc__)
