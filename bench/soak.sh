#!/usr/bin/env bash
# The soak run: the built agent on a private session bus for MINUTES (default 30), with a test player
# that changes track every 2 s (every third by a blocked artist), the community list served by a
# local HTTPS server, and the preferences file edited by another program every 10 s (one more name
# appended to the local list, through an atomic rename). It prints the agent's resident memory, open
# file descriptors and threads, the skips expected and seen, and whether the preferences file is
# valid and holds every edit: at start, every 5 minutes, and at end.
#   bench/soak.sh [MINUTES] [BUILD_DIR]
# BUILD_DIR (default build-test) holds the agent and bench/soak_player; build it with
#   scripts/build build-test -DTUNESIEVE_API_BASE_URL=https://127.0.0.1:9
# TUNESIEVE_AGENT=PATH runs another agent, such as build-asan/tunesieve, whose leak report at its end
# then shows among its standard error lines.
# A blocked track counts as expected to be skipped once the agent has read it (it never sees some of
# the 2-second tracks). Exits non-zero when such a track was not skipped, when a track by an artist
# who is not blocked was skipped, or when an edit of the file was lost.
set -euo pipefail
# Everything runs in a network namespace of its own, so that the local server can take the agent's
# port (in a test build, a closed port on loopback that other test runs rely on) unseen by the machine.
if [ -z "${TUNESIEVE_SOAK_NAMESPACE:-}" ]; then
    exec env TUNESIEVE_SOAK_NAMESPACE=1 unshare --user --map-root-user --net -- "$0" "$@"
fi
ip link set lo up
cd "$(dirname "$0")/.."
minutes=${1:-30}
build=${2:-build-test}
agent=${TUNESIEVE_AGENT:-$build/tunesieve}
player=$build/bench/soak_player
if [ ! -x "$agent" ] || [ ! -x "$player" ]; then
    echo "no $agent or $player: scripts/build $build -DTUNESIEVE_API_BASE_URL=https://127.0.0.1:9" >&2
    exit 1
fi

work=$(mktemp -d)
prefs=$work/config/tunesieve/com.tunesieve.blacklist.json
mkdir -p "$(dirname "$prefs")"
printf '{"localBlacklistedArtists": ["night owls", "echo"]}\n' >"$prefs"
blocked=("Night Owls" "Echo")

pids=()
cleanup() {
    for ((i = ${#pids[@]} - 1; i >= 0; i--)); do
        kill "${pids[i]}" 2>/dev/null || true
        wait "${pids[i]}" 2>/dev/null || true
    done
    rm -rf "$work"
}
trap cleanup EXIT

# The community list, served where this agent was built to fetch it, when that is on this machine.
base_url=$(sed -n 's/^TUNESIEVE_API_BASE_URL:[A-Z]*=//p' "$build/CMakeCache.txt")
port=$(sed -n 's|^https://127\.0\.0\.1:\([0-9]*\)$|\1|p' <<<"$base_url")
if [ -z "$port" ]; then
    echo "note: this agent fetches its list from $base_url; the local server cannot stand in for it"
    port=0
fi
python3 - "$port" bench/data/community-10k.json tests/data/tls "$work/server.log" <<'EOF' &
import http.server, ssl, sys
port, body_path, tls, log_path = int(sys.argv[1]), sys.argv[2], sys.argv[3], sys.argv[4]
body = open(body_path, 'rb').read()
log = open(log_path, 'a', buffering=1)

class Handler(http.server.BaseHTTPRequestHandler):
    def do_GET(self):
        if self.path != '/api/list/':
            self.send_error(404)
            return
        self.send_response(200)
        self.send_header('Content-Type', 'application/json')
        self.send_header('Content-Length', str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def log_message(self, format, *args):
        log.write('request: ' + format % args + '\n')

context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
context.load_cert_chain(f'{tls}/server.pem', f'{tls}/server.key')

class Server(http.server.ThreadingHTTPServer):
    def get_request(self):
        connection, address = self.socket.accept()
        log.write('connection\n')
        try:
            return context.wrap_socket(connection, server_side=True), address
        except (ssl.SSLError, OSError) as error:
            log.write(f'handshake failed: {getattr(error, "reason", error)}\n')
            connection.close()
            raise

try:
    server = Server(('127.0.0.1', port), Handler)
except OSError as error:
    log.write(f'cannot listen on port {port}: {error}\n')
    sys.exit(0)
log.write(f'listening on {server.server_address[1]}\n')
server.serve_forever()
EOF
pids+=($!)
for _ in $(seq 100); do
    grep -q 'listen' "$work/server.log" 2>/dev/null && break
    sleep 0.1
done

# The player owns the private bus; its first line is the bus address.
mkfifo "$work/player.out"
"$player" "$work/player.json" "${blocked[@]}" >"$work/player.out" &
pids+=($!)
read -r bus_address <"$work/player.out"

mkdir -m 700 "$work/runtime"
XDG_RUNTIME_DIR="$work/runtime" XDG_CONFIG_HOME="$work/config" DBUS_SESSION_BUS_ADDRESS="$bus_address" QT_QPA_PLATFORM=offscreen \
    "$agent" >"$work/agent.out" 2>"$work/agent.err" &
agent_pid=$!
pids+=("$agent_pid")

# Another program edits the file once the agent has written what it writes at launch.
for _ in $(seq 100); do
    grep -q deviceId "$prefs" 2>/dev/null && break
    sleep 0.1
done
python3 - "$prefs" "$work/edits" <<'EOF' &
import json, os, sys, time
path, count_path = sys.argv[1], sys.argv[2]
edits = 0
while True:
    time.sleep(10)
    with open(path, encoding='utf-8') as f:
        document = json.load(f)
    edits += 1
    document.setdefault('localBlacklistedArtists', []).append(f'soak edit {edits}')
    with open(path + '.soak-edit', 'w', encoding='utf-8') as f:
        json.dump(document, f, ensure_ascii=False, indent=4)
        f.flush()
        os.fsync(f.fileno())
    os.replace(path + '.soak-edit', path)
    with open(count_path, 'w') as f:
        f.write(str(edits))
EOF
pids+=($!)

started=$(date +%s)
agent_alive() { kill -0 "$agent_pid" 2>/dev/null; }

process_figures() {
    local rss threads fds cpu
    rss=$(awk '/^VmRSS:/ {print $2}' "/proc/$agent_pid/status")
    threads=$(awk '/^Threads:/ {print $2}' "/proc/$agent_pid/status")
    fds=$(find "/proc/$agent_pid/fd" -mindepth 1 -maxdepth 1 | wc -l)
    read -r utime stime < <(awk '{print $14, $15}' "/proc/$agent_pid/stat")
    cpu=$(((utime + stime) / $(getconf CLK_TCK)))
    printf 'resident %s KiB, fds %s, threads %s, cpu %s s' "$rss" "$fds" "$threads" "$cpu"
}

# Prints the skip figures and the state of the preferences file; fails when either falls short.
outcome_figures() {
    python3 - "$work/player.json" "$work/agent.out" "$prefs" "$work/edits" "$@" <<'EOF'
import json, sys
status_path, agent_out, prefs_path, edits_path = sys.argv[1:5]
final = len(sys.argv) > 5
try:
    status = json.load(open(status_path))
except (OSError, ValueError):
    status = dict.fromkeys(('tracks', 'blockedTracks', 'blockedTracksRead', 'blockedTracksSkipped',
                            'blockedTracksMissed', 'otherTracksSkipped', 'nextCalls'), 0)
skip_lines = sum('Skipping blacklisted artist' in line for line in open(agent_out, encoding='utf-8'))
try:
    edits = int(open(edits_path).read())
except OSError:
    edits = 0
try:
    local = json.load(open(prefs_path, encoding='utf-8'))['localBlacklistedArtists']
    missing = [f'soak edit {n}' for n in range(1, edits + 1) if f'soak edit {n}' not in local]
    missing += [name for name in ('night owls', 'echo') if name not in local]
    prefs = f'valid, {edits} edits, ' + (f'MISSING {missing}' if missing else 'all there')
except (OSError, ValueError, KeyError, TypeError) as error:
    missing, prefs = True, f'NOT VALID ({error})'
print(f"tracks {status['tracks']} ({status['blockedTracks']} blocked); skips expected "
      f"{status['blockedTracksRead']}, seen {skip_lines} skip lines / {status['nextCalls']} Next() calls: "
      f"{status['blockedTracksSkipped']} blocked tracks skipped, {status['blockedTracksMissed']} missed, "
      f"{status['otherTracksSkipped']} skips of tracks not blocked; preferences {prefs}")
skips_right = status['blockedTracksMissed'] == 0 and status['otherTracksSkipped'] == 0 and \
    skip_lines == status['nextCalls']
sys.exit(0 if not missing and (skips_right or not final) else 1)
EOF
}

report() {
    printf '%-5s %5.1f min  %s\n       %s\n' "$1" "$(awk -v s=$(($(date +%s) - started)) 'BEGIN { print s / 60 }')" \
        "$(process_figures)" "$(outcome_figures || true)"
}

sleep 15
agent_alive || { echo "the agent ended early: $(cat "$work/agent.err")"; exit 1; }
report start
end=$((started + minutes * 60))
while [ "$(date +%s)" -lt "$end" ]; do
    sleep $((end - $(date +%s) < 300 ? end - $(date +%s) : 300))
    agent_alive || { echo "the agent ended early: $(cat "$work/agent.err")"; exit 1; }
    [ "$(date +%s)" -lt "$end" ] && report "  ..."
done
printf 'end   %5.1f min  %s\n' "$(awk -v s=$(($(date +%s) - started)) 'BEGIN { print s / 60 }')" "$(process_figures)"
# Let a skip in flight land, then stop the agent before the last count, so that none is half done.
sleep 1.5
kill "$agent_pid"
wait "$agent_pid" 2>/dev/null || true
sleep 1.5
result=0
outcome=$(outcome_figures final) || result=1
printf '       %s\n' "$outcome"
printf '       community server: %s\n' "$(sort "$work/server.log" | uniq -c | sed 's/^ *//' | paste -sd';')"
if grep -q 'handshake failed' "$work/server.log"; then
    echo "         (the agent trusts the system's certificate authorities only, so it refuses the test one)"
fi
printf '       agent standard error: %s line(s)\n' "$(wc -l <"$work/agent.err")"
head -n 5 "$work/agent.err" | sed 's/^/         /'
grep -E '^SUMMARY: |ERROR: ' "$work/agent.err" | sed 's/^/         /' || true
[ "$result" -eq 0 ] && echo "every expected skip happened, no other track was skipped, no edit was lost" ||
    echo "FAILED: a skip went missing, a track not blocked was skipped, or an edit was lost"
exit "$result"
