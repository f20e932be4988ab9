#!/usr/bin/env bash
# A private PostgreSQL cluster for the tests: `pg_cluster.sh start DIR` makes a fresh cluster in
# DIR (removing whatever an earlier, killed run left there, a running server included), starts it
# on a Unix socket in DIR with no TCP listener, and writes the connection URL to DIR/url.
# `pg_cluster.sh stop DIR` stops the server and removes DIR. When the server programs are not
# installed, start writes the reason to DIR/skip and succeeds, so the tests that need the server
# skip with that reason. Run as root, the server runs as the unprivileged user `nobody`.
set -u

action=${1:-}
dir=${2:-}
if [ -z "$action" ] || [ -z "$dir" ]; then
  echo "usage: pg_cluster.sh start|stop DIR" >&2
  exit 2
fi

bindir=""
for candidate in /usr/lib/postgresql/*/bin; do
  if [ -x "$candidate/initdb" ] && [ -x "$candidate/pg_ctl" ] && [ -x "$candidate/postgres" ]; then
    bindir=$candidate  # the newest version sorts last
  fi
done

as_owner=()
if [ "$(id -u)" -eq 0 ]; then
  as_owner=(setpriv --reuid=nobody --regid=nogroup --clear-groups --)
fi

stop_cluster() {
  if [ -n "$bindir" ] && [ -f "$dir/data/postmaster.pid" ]; then
    (cd / && "${as_owner[@]}" "$bindir/pg_ctl" -D "$dir/data" -m immediate -w -t 20 stop) \
      >/dev/null 2>&1
  fi
  # A server whose pg_ctl could not stop it (a damaged folder): its pid is the pid file's first line.
  if [ -f "$dir/data/postmaster.pid" ]; then
    pid=$(head -n 1 "$dir/data/postmaster.pid" 2>/dev/null)
    case "$pid" in
      '' | *[!0-9]*) ;;
      *) kill -KILL "$pid" 2>/dev/null ;;
    esac
  fi
  rm -rf "$dir"
}

case "$action" in
  stop)
    stop_cluster
    exit 0
    ;;
  start) ;;
  *)
    echo "pg_cluster.sh: unknown action $action" >&2
    exit 2
    ;;
esac

stop_cluster
mkdir -p "$dir" || exit 1
if [ -z "$bindir" ]; then
  echo "the PostgreSQL server programs are not installed (/usr/lib/postgresql/*/bin; scripts/bootstrap installs them)" >"$dir/skip"
  echo "pg_cluster.sh: $(cat "$dir/skip"); the tests that need it are skipped" >&2
  exit 0
fi
if [ "$(id -u)" -eq 0 ]; then
  chown nobody:nogroup "$dir" || exit 1
fi
chmod 0700 "$dir"

run() { (cd / && "${as_owner[@]}" "$@"); }

if ! run "$bindir/initdb" -D "$dir/data" -U osl -A trust -E UTF8 --no-sync --no-instructions \
  >"$dir/initdb.log" 2>&1; then
  echo "pg_cluster.sh: initdb failed:" >&2
  cat "$dir/initdb.log" >&2
  exit 1
fi
# Only the Unix socket in DIR; durability is not needed for test data.
options="-c listen_addresses='' -c unix_socket_directories='$dir' -c fsync=off"
options+=" -c synchronous_commit=off -c full_page_writes=off -c max_connections=200"
if ! run "$bindir/pg_ctl" -D "$dir/data" -l "$dir/server.log" -o "$options" -w -t 60 start \
  >/dev/null 2>&1; then
  echo "pg_cluster.sh: the server did not start:" >&2
  cat "$dir/server.log" >&2
  stop_cluster
  exit 1
fi
echo "postgresql:///postgres?host=$dir&user=osl" >"$dir/url"
chmod 0644 "$dir/url"
echo "pg_cluster.sh: PostgreSQL ($bindir) runs on $dir"
