#!/usr/bin/env bash
# Prints what the agent costs while nothing plays: its resident memory after SECONDS idle (default
# 60), the CPU time and wake-ups of those SECONDS past its first WARMUP seconds (default 5: launch,
# first checks, community download), and its CPU time since start. It runs the built agent on a
# private session bus with an empty preferences folder and runtime folder, so nothing of the
# desktop is touched. With --paused-player, a real mpv (with mpv-mpris) sits paused on that bus.
#   bench/agent_idle_cost.sh [--paused-player] [SECONDS]
set -euo pipefail
cd "$(dirname "$0")/.."
player=none
if [ "${1:-}" = "--paused-player" ]; then
    player=paused
    shift
fi
seconds=${1:-60}
warmup=${WARMUP:-5}
agent=${TUNESIEVE_AGENT:-build/tunesieve}

work=$(mktemp -d)
bus_output=$(dbus-daemon --config-file=tests/data/session.conf --fork --print-address=1 --print-pid=1)
bus_address=$(sed -n 1p <<<"$bus_output")
bus_pid=$(sed -n 2p <<<"$bus_output")
agent_pid=
player_pid=
cleanup() {
    [ -n "$agent_pid" ] && kill "$agent_pid" 2>/dev/null || true
    [ -n "$player_pid" ] && kill "$player_pid" 2>/dev/null || true
    kill "$bus_pid" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

if [ "$player" = paused ]; then
    ffmpeg -v error -f lavfi -i sine=frequency=440:duration=1:sample_rate=8000 \
        -metadata artist=Idle -metadata title=Paused "$work/paused.flac"
    plugin=$(ls /usr/lib/mpv-mpris/mpris.so /etc/mpv/scripts/mpris.so 2>/dev/null | head -n 1)
    DBUS_SESSION_BUS_ADDRESS="$bus_address" mpv --no-config --script="$plugin" --ao=null \
        --no-video --pause --loop-file=inf --quiet --msg-level=all=error "$work/paused.flac" >/dev/null 2>&1 &
    player_pid=$!
    for _ in $(seq 50); do # until it has taken its name on the bus
        DBUS_SESSION_BUS_ADDRESS="$bus_address" dbus-send --session --print-reply --dest=org.freedesktop.DBus \
            /org/freedesktop/DBus org.freedesktop.DBus.NameHasOwner string:org.mpris.MediaPlayer2.mpv |
            grep -q true && break
        sleep 0.2
    done
fi

# CPU time since start, in clock ticks of 10 ms.
cpu_ms() {
    local utime stime
    read -r utime stime < <(awk '{print $14, $15}' "/proc/$agent_pid/stat")
    echo $(( (utime + stime) * 1000 / $(getconf CLK_TCK) ))
}
# CPU time of the agent's threads to the microsecond, for the span: idle costs are a few ticks.
cpu_us() {
    cat /proc/"$agent_pid"/task/*/schedstat | awk '{ ns += $1 } END { printf "%d", ns / 1000 }'
}
# How often the agent's threads were scheduled: each is one wake-up.
wakeups() {
    cat /proc/"$agent_pid"/task/*/schedstat | awk '{ n += $3 } END { printf "%d", n }'
}

# A runtime folder of its own, so that a TuneSieve already running for this user does not make
# the measured copy exit at once.
mkdir -m 700 "$work/run"
XDG_CONFIG_HOME="$work" XDG_RUNTIME_DIR="$work/run" DBUS_SESSION_BUS_ADDRESS="$bus_address" QT_QPA_PLATFORM=offscreen \
    "$agent" >"$work/stdout" 2>"$work/stderr" &
agent_pid=$!
sleep "$warmup"
started_us=$(cpu_us)
started_wakeups=$(wakeups)
sleep "$seconds"
span_us=$(( $(cpu_us) - started_us ))
span_wakeups=$(( $(wakeups) - started_wakeups ))
total_ms=$(cpu_ms)

rss_kib=$(awk '/^VmRSS:/ {print $2}' "/proc/$agent_pid/status")
[ "$player" = paused ] && situation="a paused player" || situation="no player"
printf 'idle %ss, %s: resident memory %s KiB (%s MiB), CPU time %s ms and %s wake-ups over the %ss (%s ms since start)\n' \
    "$seconds" "$situation" "$rss_kib" "$(awk -v kib="$rss_kib" 'BEGIN { printf "%.1f", kib / 1024 }')" \
    "$(awk -v us="$span_us" 'BEGIN { printf "%.1f", us / 1000 }')" "$span_wakeups" "$seconds" "$total_ms"
