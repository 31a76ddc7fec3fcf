#!/usr/bin/env bash
# Starts (or stops) a private PostgreSQL server for the tests: Debian's initdb and
# pg_ctl, the data in DIR, owned by an unprivileged user when run as root (nobody, or
# PELLICOR_POSTGRES_USER: only that user's programs reach the socket), listening
# on a Unix socket in DIR only (never a TCP port). Trust authentication is safe there:
# the socket's folder is the server user's own. Roles: pellicor_admin (superuser, for
# the tests to make databases and to replicate), pellicor_writer and pellicor_reader
# (read only).
#   postgres_server.sh start DIR           prints the admin URI; the server runs until stop
#   postgres_server.sh stop DIR            stops it and removes DIR
#   postgres_server.sh pause DIR           stops it (fast shutdown), keeping its data
#   postgres_server.sh resume DIR          starts a paused server again
#   postgres_server.sh standby PRIMARY DIR a hot standby of the server in PRIMARY,
#                                          streaming from it; prints its admin URI
set -euo pipefail
action=${1:-}
dir=${2:-}
usage="usage: $0 start|stop|pause|resume DIR, or $0 standby PRIMARY-DIR DIR"
[ -n "$action" ] && [ -n "$dir" ] || { echo "$usage" >&2; exit 2; }

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

# A fresh folder of the server user's own, for a server's data and socket.
make_folder() {  # DIR
  if [ -f "$1/data/postmaster.pid" ]; then as_owner "$bin/pg_ctl" -D "$1/data" -m immediate stop >/dev/null 2>&1 || true; fi
  rm -rf "$1"
  mkdir -p "$1"
  chmod 0700 "$1"
  if [ "$(id -u)" -eq 0 ]; then chown "$owner:" "$1"; fi
}

run_server() {  # DIR
  as_owner "$bin/pg_ctl" -D "$1/data" -l "$1/server.log" -w -t 60 \
    -o "-c listen_addresses='' -c unix_socket_directories='$1' -c fsync=off" start >/dev/null ||
    { cat "$1/server.log" >&2; exit 1; }
}

case "$action" in
start)
  make_folder "$dir"
  as_owner "$bin/initdb" -D "$dir/data" -U pellicor_admin --auth=trust -E UTF8 --locale=C >"$dir/initdb.log" 2>&1 ||
    { cat "$dir/initdb.log" >&2; exit 1; }
  run_server "$dir"
  as_owner psql -q -h "$dir" -U pellicor_admin -d postgres -v ON_ERROR_STOP=1 \
    -c "CREATE ROLE pellicor_writer LOGIN; CREATE ROLE pellicor_reader LOGIN;" >/dev/null
  echo "postgresql:///postgres?host=$dir&user=pellicor_admin"
  ;;
stop)
  if [ -f "$dir/data/postmaster.pid" ]; then as_owner "$bin/pg_ctl" -D "$dir/data" -m fast -w stop >/dev/null; fi
  rm -rf "$dir"
  ;;
pause)
  as_owner "$bin/pg_ctl" -D "$dir/data" -m fast -w stop >/dev/null
  ;;
resume)
  run_server "$dir"
  ;;
standby)
  primary=$dir
  dir=${3:-}
  [ -n "$dir" ] || { echo "$usage" >&2; exit 2; }
  make_folder "$dir"
  # initdb's defaults serve: wal_level replica, WAL senders, and trust for
  # replication on the local socket. -R makes it a standby that follows the primary.
  as_owner "$bin/pg_basebackup" -h "$primary" -U pellicor_admin -D "$dir/data" -R -X stream \
    >"$dir/basebackup.log" 2>&1 || { cat "$dir/basebackup.log" >&2; exit 1; }
  run_server "$dir"
  echo "postgresql:///postgres?host=$dir&user=pellicor_admin"
  ;;
*)
  echo "$usage" >&2
  exit 2
  ;;
esac
