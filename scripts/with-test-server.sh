#!/usr/bin/env bash
# Runs a command beside a throwaway PostgreSQL 15 server: a new cluster in a
# temporary folder, listening on a Unix socket in that folder only (no TCP
# port, so that several runs on one machine never meet), with the libpq
# variables and FERULAN_TEST_PG_URI pointing at its database ferulan_test.
# The server is stopped and its folder removed when the command ends, however
# it ends. A server that cannot start fails the run with its log.
#   scripts/with-test-server.sh COMMAND [ARGUMENT...]
set -euo pipefail

bin="${FERULAN_PG_BIN:-/usr/lib/postgresql/15/bin}"
for tool in initdb pg_ctl; do
    if [ ! -x "$bin/$tool" ]; then
        echo "with-test-server: $bin/$tool is missing: install postgresql-15 (scripts/install-packages.sh)" >&2
        exit 1
    fi
done

folder="$(mktemp -d -t ferulan-pg.XXXXXX)"
# The server refuses to run as root: there it runs as the postgres account
# that the package makes, and root still reaches its socket.
as=()
if [ "$(id -u)" -eq 0 ]; then
    if ! id postgres >/dev/null 2>&1; then
        echo "with-test-server: running as root, but there is no postgres account to run the server" >&2
        rm -rf "$folder"
        exit 1
    fi
    chown postgres: "$folder"
    as=(runuser -u postgres --)
fi
data="$folder/data"
log="$folder/server.log"

stop() {
    if [ -f "$data/postmaster.pid" ]; then
        "${as[@]}" "$bin/pg_ctl" -D "$data" -m immediate -w -t 30 stop >/dev/null 2>&1 || true
    fi
    rm -rf "$folder"
}
trap stop EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

fail() {
    echo "with-test-server: $1" >&2
    [ -f "$log" ] && sed 's/^/  server: /' "$log" | tail -n 20 >&2
    exit 1
}

"${as[@]}" "$bin/initdb" -D "$data" -U ferulan --auth=trust -E UTF8 --locale=C.UTF-8 \
    >"$folder/initdb.log" 2>&1 || { log="$folder/initdb.log"; fail "initdb failed"; }
# Durability is of no use to a cluster thrown away at the end.
"${as[@]}" "$bin/pg_ctl" -D "$data" -l "$log" -w -t 60 \
    -o "-c listen_addresses='' -k $folder -p 5432 -c fsync=off -c synchronous_commit=off -c full_page_writes=off" \
    start >/dev/null || fail "the server did not start"

export PGHOST="$folder" PGPORT=5432 PGUSER=ferulan PGDATABASE=ferulan_test
unset PGHOSTADDR PGSERVICE PGSERVICEFILE PGPASSWORD PGPASSFILE PGSSLMODE PGOPTIONS
"$bin/createdb" ferulan_test 2>"$folder/createdb.log" || { log="$folder/createdb.log"; fail "createdb failed"; }
export FERULAN_TEST_PG_URI="postgresql:///ferulan_test?host=$folder&port=5432&user=ferulan"

status=0
"$@" || status=$?
exit "$status"
