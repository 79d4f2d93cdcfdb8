#!/usr/bin/env bash
# A private PostgreSQL server for the tests.
#
#   pg-test-server.sh start STATE_DIR PORT   initdb into a new temporary directory, start the
#                                            server on 127.0.0.1 (PORT, or the next free port),
#                                            create the test database and write the ODBC
#                                            connection text to STATE_DIR/connection.txt
#   pg-test-server.sh stop STATE_DIR         stop that server and remove its data directory
#
# STATE_DIR keeps only small files (the data directory path, the connection text, the
# server log), so a later stop finds the server even after a failed test run. The server
# never listens on anything but loopback and uses a password of its own, made up at start.
# As root (CI), the server runs as the system user "postgres" (initdb refuses root).
set -euo pipefail

die() {
  echo "pg-test-server: $*" >&2
  exit 1
}

pg_bin() {
  local dir
  for dir in /usr/lib/postgresql/*/bin; do
    [ -x "$dir/initdb" ] && echo "$dir" # the last (highest) version wins
  done | tail -n 1
}

as_server_user() {
  if [ "$(id -u)" -eq 0 ]; then
    runuser -u "$SERVER_USER" -- "$@"
  else
    "$@"
  fi
}

port_in_use() {
  (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null
}

stop_server() {
  local state="$1" data
  [ -f "$state/datadir" ] || return 0
  data="$(cat "$state/datadir")"
  local cluster="$data/cluster" pid
  if [ -f "$cluster/postmaster.pid" ]; then
    pid="$(head -n 1 "$cluster/postmaster.pid")"
    as_server_user "$BIN/pg_ctl" -D "$cluster" -m immediate -w -t 30 stop >/dev/null 2>&1 ||
      kill -KILL "$pid" 2>/dev/null || true
  fi
  case "$data" in
    /tmp/z418kt-pg.*) rm -rf -- "$data" ;;
  esac
  rm -f -- "$state/datadir" "$state/connection.txt"
}

[ $# -ge 2 ] || die "usage: $0 start|stop STATE_DIR [PORT]"
command="$1"
state="$2"
port="${3:-55432}"
SERVER_USER="${Z418KT_PG_USER:-postgres}"
BIN="$(pg_bin)"
[ -n "$BIN" ] || die "no PostgreSQL server found under /usr/lib/postgresql (install postgresql)"
if [ "$(id -u)" -eq 0 ] && ! id "$SERVER_USER" >/dev/null 2>&1; then
  useradd --system --no-create-home --shell /usr/sbin/nologin "$SERVER_USER" ||
    die "cannot create the system user $SERVER_USER"
fi

case "$command" in
  start)
    mkdir -p "$state"
    stop_server "$state" # a server left behind by an interrupted run
    for _ in $(seq 1 50); do
      port_in_use "$port" || break
      port=$((port + 1))
    done
    port_in_use "$port" && die "no free port found"
    data="$(mktemp -d /tmp/z418kt-pg.XXXXXXXX)"
    echo "$data" >"$state/datadir"
    password="t$(od -An -N12 -tx1 /dev/urandom | tr -d ' \n')"
    role="z418kt_test"
    database="z418kt_test"
    printf '%s\n' "$password" >"$data/pwfile"
    if [ "$(id -u)" -eq 0 ]; then chown -R "$SERVER_USER" "$data"; fi
    chmod 700 "$data"
    log="$state/server.log"
    : >"$log"
    if [ "$(id -u)" -eq 0 ]; then chown "$SERVER_USER" "$log"; fi
    as_server_user "$BIN/initdb" -D "$data/cluster" -U "$role" --pwfile="$data/pwfile" \
      --auth-local=trust --auth-host=scram-sha-256 -E UTF8 --locale=C.UTF-8 >>"$log" 2>&1 ||
      die "initdb failed, see $log"
    rm -f "$data/pwfile"
    as_server_user "$BIN/pg_ctl" -D "$data/cluster" -l "$log" -w -t 60 \
      -o "-c listen_addresses=127.0.0.1 -p $port -k $data -c fsync=off -c synchronous_commit=off -c full_page_writes=off -c max_connections=200" \
      start >/dev/null || die "the server did not start, see $log"
    as_server_user "$BIN/createdb" -h "$data" -p "$port" -U "$role" "$database" ||
      die "createdb failed"
    echo "Driver=PostgreSQL Unicode;Server=127.0.0.1;Port=$port;Database=$database;Uid=$role;Pwd=$password" \
      >"$state/connection.txt"
    echo "PostgreSQL test server on 127.0.0.1:$port (data in $data)"
    ;;
  stop)
    stop_server "$state"
    echo "PostgreSQL test server stopped"
    ;;
  *)
    die "unknown command $command"
    ;;
esac
