#!/usr/bin/env bash
# Starts (or stops) a private PostgreSQL server for the tests: Debian's initdb and
# pg_ctl, the data in DIR, owned by an unprivileged user when run as root (nobody, or
# PELLICOR_POSTGRES_USER: only that user's programs reach the socket), listening
# on a Unix socket in DIR only (never a TCP port). Trust authentication is safe there:
# the socket's folder is the server user's own. Roles: pellicor_admin (superuser, for
# the tests to make databases), pellicor_writer and pellicor_reader (read only).
#   postgres_server.sh start DIR   prints the admin URI; the server runs until stop
#   postgres_server.sh stop DIR    stops it and removes DIR
set -euo pipefail
action=${1:-}
dir=${2:-}
[ -n "$action" ] && [ -n "$dir" ] || { echo "usage: $0 start|stop DIR" >&2; exit 2; }

bin=$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -n 1)
if [ -z "$bin" ] || [ ! -x "$bin/initdb" ]; then
  echo "PostgreSQL's server programs are not installed (/usr/lib/postgresql/*/bin/initdb):" \
       "run scripts/install-deps.sh" >&2
  exit 1
fi

owner=${PELLICOR_POSTGRES_USER:-nobody}
as_owner() {
  if [ "$(id -u)" -eq 0 ]; then runuser -u "$owner" -- "$@"; else "$@"; fi
}

case "$action" in
start)
  if [ -f "$dir/data/postmaster.pid" ]; then as_owner "$bin/pg_ctl" -D "$dir/data" -m immediate stop >/dev/null 2>&1 || true; fi
  rm -rf "$dir"
  mkdir -p "$dir"
  chmod 0700 "$dir"
  [ "$(id -u)" -eq 0 ] && chown "$owner:" "$dir"
  as_owner "$bin/initdb" -D "$dir/data" -U pellicor_admin --auth=trust -E UTF8 --locale=C >"$dir/initdb.log" 2>&1 ||
    { cat "$dir/initdb.log" >&2; exit 1; }
  as_owner "$bin/pg_ctl" -D "$dir/data" -l "$dir/server.log" -w -t 60 \
    -o "-c listen_addresses='' -c unix_socket_directories='$dir' -c fsync=off" start >/dev/null ||
    { cat "$dir/server.log" >&2; exit 1; }
  as_owner psql -q -h "$dir" -U pellicor_admin -d postgres -v ON_ERROR_STOP=1 \
    -c "CREATE ROLE pellicor_writer LOGIN; CREATE ROLE pellicor_reader LOGIN;" >/dev/null
  echo "postgresql:///postgres?host=$dir&user=pellicor_admin"
  ;;
stop)
  if [ -f "$dir/data/postmaster.pid" ]; then as_owner "$bin/pg_ctl" -D "$dir/data" -m fast -w stop >/dev/null; fi
  rm -rf "$dir"
  ;;
*)
  echo "usage: $0 start|stop DIR" >&2
  exit 2
  ;;
esac
