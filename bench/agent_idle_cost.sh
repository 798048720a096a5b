#!/usr/bin/env bash
# Prints what the agent costs while nothing plays: its resident memory after SECONDS idle (default
# 60) and the CPU time it used in that span. It runs the built agent on a private session bus with
# an empty preferences folder and runtime folder, so nothing of the desktop is touched.
#   bench/agent_idle_cost.sh [SECONDS]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
agent=${TUNESIEVE_AGENT:-build/tunesieve}

work=$(mktemp -d)
bus_output=$(dbus-daemon --config-file=tests/data/session.conf --fork --print-address=1 --print-pid=1)
bus_address=$(sed -n 1p <<<"$bus_output")
bus_pid=$(sed -n 2p <<<"$bus_output")
agent_pid=
cleanup() {
    [ -n "$agent_pid" ] && kill "$agent_pid" 2>/dev/null || true
    kill "$bus_pid" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

# A runtime folder of its own, so that a TuneSieve already running for this user does not make
# the measured copy exit at once.
mkdir -m 700 "$work/run"
XDG_CONFIG_HOME="$work" XDG_RUNTIME_DIR="$work/run" DBUS_SESSION_BUS_ADDRESS="$bus_address" QT_QPA_PLATFORM=offscreen \
    "$agent" >"$work/stdout" 2>"$work/stderr" &
agent_pid=$!
sleep "$seconds"

ticks_per_second=$(getconf CLK_TCK)
read -r utime stime < <(awk '{print $14, $15}' "/proc/$agent_pid/stat")
rss_kib=$(awk '/^VmRSS:/ {print $2}' "/proc/$agent_pid/status")
cpu_ms=$(( (utime + stime) * 1000 / ticks_per_second ))
printf 'idle %ss, no player: resident memory %s KiB (%s MiB), CPU time %s ms\n' \
    "$seconds" "$rss_kib" "$(awk -v kib="$rss_kib" 'BEGIN { printf "%.1f", kib / 1024 }')" "$cpu_ms"
