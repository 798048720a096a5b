#!/usr/bin/env bash
# Measures tunesieve-community on this machine, on loopback only, and prints one line per figure:
# GET /api/list/ with 100 000 listed names (gzip 200, and 304), beside nginx serving the same gzip
# body as a static file, and POST /api/flag/ on SQLite and on PostgreSQL.
#   bench/community/run.sh [BINARY] [SECONDS]     (BINARY defaults to build/tunesieve-community)
# Needs wrk, nginx (nginx-light), sqlite3 and postgresql. Every server it starts listens on 127.0.0.1
# or a Unix socket in a temporary folder, and is stopped at the end.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
binary=$(realpath "${1:-build/tunesieve-community}")
seconds=${2:-10}
work=$(mktemp -d)
chmod 755 "$work"
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill -TERM "$pid" 2>/dev/null || true; done
    wait 2>/dev/null || true
    [ -n "${pgctl:-}" ] && $as_postgres "$pgctl" -D "$work/pg/data" -m immediate stop >/dev/null 2>&1 || true
    rm -rf "$work"
}
trap cleanup EXIT

# Starts the service with extra options; sets $port.
serve() {
    "$binary" serve --data "$work/data" --listen 127.0.0.1:0 --device-flags-per-hour 1000000 \
        --network-flags-per-hour 1000000 "$@" >"$work/serve.out" 2>"$work/serve.err" &
    pids+=($!)
    for _ in $(seq 50); do grep -q listening "$work/serve.out" && break; sleep 0.1; done
    port=$(sed -n 's/.*://p' "$work/serve.out")
}
stop_serving() {
    kill -TERM "${pids[-1]}"
    wait "${pids[-1]}" || true
    unset 'pids[-1]'
}
# wrk's requests per second and 99th percentile of one run, with $connections connections.
connections=50
measure() {
    local label="$1, $connections connections"
    shift
    wrk --latency -t2 -c"$connections" -d"${seconds}s" "$@" >"$work/wrk.out"
    printf '%-40s %10s req/s   p99 %-9s %s\n' "$label" "$(awk '/Requests\/sec/ {print $2}' "$work/wrk.out")" \
        "$(awk '$1 == "99%" {print $2}' "$work/wrk.out")" "$(grep -E 'Non-2xx|errors' "$work/wrk.out" | tr -s ' ' || true)"
}
seed_names="INSERT INTO artists (name_key, name, state, first_flagged)
    WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 100000)
    SELECT 'bench artist ' || i, 'bench artist ' || i, 'approved', 0 FROM n;
    UPDATE list_generation SET generation = generation + 1;"

echo "tunesieve-community on $(nproc) cores, wrk -t2 -d${seconds}s on loopback, load average $(cut -d' ' -f1 /proc/loadavg)"

# The list, on SQLite with 100 000 names.
"$binary" status --data "$work/data" >/dev/null
sqlite3 "$work/data/community.sqlite" "$seed_names"
serve
url="http://127.0.0.1:$port/api/list/"
curl -s -H 'Accept-Encoding: gzip' -D "$work/headers" -o "$work/list.json.gz" "$url"
curl -s -o "$work/list.json" "$url"
etag=$(awk 'tolower($1) == "etag:" {print $2}' "$work/headers" | tr -d '\r')
echo "list: $(stat -c %s "$work/list.json.gz") bytes gzip, $(stat -c %s "$work/list.json") bytes JSON"
measure "GET /api/list/ gzip 200" -H 'Accept-Encoding: gzip' "$url"
measure "GET /api/list/ 304" -H 'Accept-Encoding: gzip' -H "If-None-Match: $etag" "$url"
stop_serving

# nginx with the same gzip body as a static file.
mkdir -p "$work/nginx/api/list"
cp "$work/list.json" "$work/nginx/api/list/index.json"
cp "$work/list.json.gz" "$work/nginx/api/list/index.json.gz"
for workers in 1 auto; do
    cat >"$work/nginx.conf" <<CONF
worker_processes $workers;
daemon off;
error_log $work/nginx-error.log;
pid $work/nginx.pid;
events { worker_connections 1024; }
http {
    access_log off;
    gzip_static always;
    gunzip off;
    server {
        listen 127.0.0.1:8099;
        root $work/nginx;
        location /api/list/ { index index.json; default_type application/json; }
    }
}
CONF
    nginx -c "$work/nginx.conf" -p "$work" &
    pids+=($!)
    sleep 0.5
    [ "$(curl -s -H 'Accept-Encoding: gzip' http://127.0.0.1:8099/api/list/ | cmp - "$work/list.json.gz" && echo same)" ]
    measure "nginx static gzip, $workers worker(s)" -H 'Accept-Encoding: gzip' "http://127.0.0.1:8099/api/list/"
    stop_serving
done

# Flags, on SQLite: every request a new name from a new device.
rm -rf "$work/data"
serve
for connections in 10 50; do
    measure "POST /api/flag/ SQLite" -s "$here/flag.lua" "http://127.0.0.1:$port/api/flag/"
done
stop_serving

# Flags, on PostgreSQL of its own (as the postgres user when run as root, as PostgreSQL refuses root).
bindir=$(dirname "$(ls /usr/lib/postgresql/*/bin/pg_ctl | tail -n 1)")
pgctl="$bindir/pg_ctl"
as_postgres=""
mkdir -p "$work/pg"
if [ "$(id -u)" -eq 0 ]; then
    as_postgres="runuser -u postgres --"
    chown postgres "$work/pg"
fi
$as_postgres "$bindir/initdb" -D "$work/pg/data" -U postgres --auth=trust -E UTF8 --locale=C --no-sync >/dev/null
$as_postgres "$pgctl" -D "$work/pg/data" -w -l "$work/pg/log" -o "-k $work/pg -c listen_addresses=" start >/dev/null
$as_postgres "$bindir/createdb" -h "$work/pg" -U postgres community
rm -rf "$work/data"
serve --database "postgresql:///community?host=$work/pg&user=postgres"
for connections in 10 50; do
    measure "POST /api/flag/ PostgreSQL" -s "$here/flag.lua" "http://127.0.0.1:$port/api/flag/"
done
stop_serving

# Behind the repository's nginx site (TLS, the list cached), on the same PostgreSQL: one server, then
# two. Two databases' worth of flags would not fit one: each run starts on a new database.
tls=$(cd "$here/../../tests/data/tls" && pwd)
site_nginx() { # the upstream servers' ports
    local servers=""
    for upstream in "$@"; do servers+="server 127.0.0.1:$upstream; "; done
    sed -e "s#    listen 443 ssl;#    listen 127.0.0.1:8443 ssl;#" -e "/listen \[::\]:443/d" \
        -e "s#/var/cache/nginx#$work/cache#" -e "s#server 127.0.0.1:8080;#$servers#" \
        -e "s#ssl_certificate .*;#ssl_certificate $tls/server.pem;#" \
        -e "s#ssl_certificate_key .*;#ssl_certificate_key $tls/server.key;#" \
        "$here/../../service/deploy/tunesieve-community.nginx" >"$work/site.conf"
    cat >"$work/nginx.conf" <<CONF
worker_processes auto;
daemon off;
pid $work/nginx.pid;
$([ "$(id -u)" -eq 0 ] && echo "user root;")
events { worker_connections 4096; }
http {
    access_log off;
    client_body_temp_path $work/body; proxy_temp_path $work/proxy; fastcgi_temp_path $work/fastcgi;
    uwsgi_temp_path $work/uwsgi; scgi_temp_path $work/scgi;
    include $work/site.conf;
}
CONF
    mkdir -p "$work/cache"
    nginx -p "$work" -c "$work/nginx.conf" -e "$work/nginx-error.log" &
    pids+=($!)
    sleep 0.5
}
for instances in 1 2; do
    $as_postgres "$bindir/createdb" -h "$work/pg" -U postgres "community$instances"
    rm -rf "$work/data"
    ports=()
    for _ in $(seq "$instances"); do
        serve --database "postgresql:///community$instances?host=$work/pg&user=postgres" --trust-forwarded-for
        ports+=("$port")
    done
    site_nginx "${ports[@]}"
    for connections in 10 50; do
        measure "nginx + $instances server(s): POST /api/flag/" -s "$here/flag.lua" "https://127.0.0.1:8443/api/flag/"
    done
    measure "nginx + $instances server(s): GET /api/list/ cached" -H 'Accept-Encoding: gzip' \
        "https://127.0.0.1:8443/api/list/"
    stop_serving
    for _ in $(seq "$instances"); do stop_serving; done
done
