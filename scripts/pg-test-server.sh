#!/usr/bin/env bash
# A throw-away PostgreSQL server for the service record's tests: initdb in a temporary
# folder, run as an unprivileged user (nobody when started as root), listening only on a
# socket in that folder.
#   scripts/pg-test-server.sh start   prints the server's URL on stdout (and its folder on fd 3
#                                     when open); exit 1 with a message when none can start
#   scripts/pg-test-server.sh stop DIR
set -euo pipefail

bindir=$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -1 || true)
if [ -z "$bindir" ] || [ ! -x "$bindir/initdb" ]; then
  echo "pg-test-server: no PostgreSQL server programs (install-deps.sh installs postgresql)" >&2
  exit 1
fi

as_user() {
  if [ "$(id -u)" -eq 0 ]; then
    runuser -u nobody -- "$@"
  else
    "$@"
  fi
}

case "${1:-}" in
  start)
    dir=$(mktemp -d /tmp/vq5-pg-XXXXXX)
    chmod 0755 "$dir"
    [ "$(id -u)" -eq 0 ] && chown nobody: "$dir"
    port=$((20000 + RANDOM % 20000))
    if ! as_user "$bindir/initdb" -D "$dir/data" -U vq5 --auth=trust -E UTF8 --locale=C.UTF-8 \
        >"$dir/initdb.log" 2>&1; then
      echo "pg-test-server: initdb failed:" >&2
      tail -5 "$dir/initdb.log" >&2
      rm -rf "$dir"
      exit 1
    fi
    if ! as_user "$bindir/pg_ctl" -D "$dir/data" -l "$dir/server.log" -w -t 30 \
        -o "-c listen_addresses='' -c unix_socket_directories='$dir' -p $port -c fsync=off" start >/dev/null; then
      echo "pg-test-server: the server did not start:" >&2
      tail -5 "$dir/server.log" >&2
      rm -rf "$dir"
      exit 1
    fi
    as_user "$bindir/createdb" -h "$dir" -p "$port" -U vq5 vq5_record_test
    { echo "$dir" >&3; } 2>/dev/null || true
    echo "postgresql:///vq5_record_test?host=$dir&port=$port&user=vq5"
    ;;
  stop)
    dir=${2:?usage: pg-test-server.sh stop DIR}
    as_user "$bindir/pg_ctl" -D "$dir/data" -m fast -w stop >/dev/null 2>&1 || true
    rm -rf "$dir"
    ;;
  *)
    echo "usage: scripts/pg-test-server.sh start | stop DIR" >&2
    exit 2
    ;;
esac
