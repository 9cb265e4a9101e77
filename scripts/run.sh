#!/usr/bin/env bash
# The main job: builds K470prop and the adapter simulator, starts k470sim on a
# pseudo-terminal and K470prop against it (that terminal is the only port the
# program looks at, so no real serial port of this machine is touched).
#
#   scripts/run.sh [--real-ports] [--scenario FILE] [K470prop switches...]
#
#   --real-ports     no simulator: K470prop searches this machine's serial ports
#   --scenario FILE  a k470sim scenario file (docs/simulator.md) instead of the
#                    default: the adapter is a handset registered at a base in range
#   switches         passed to K470prop, e.g. v24trace
#
# Without a display the same session runs under Xvfb; the program then writes a
# screenshot of its window once it has found the adapter, the script prints its
# path and ends the session.
set -euo pipefail
cd "$(dirname "$0")/.."

real_ports=0
scenario=()
args=()
while [ $# -gt 0 ]; do
  case "$1" in
    --real-ports) real_ports=1 ;;
    --scenario) scenario=(--scenario "$(realpath "$2")"); shift ;;
    *) args+=("$1") ;;
  esac
  shift
done

scripts/install-deps.sh

build=${K470_BUILD_ROOT:-build}/release
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j "$(nproc)" --target K470prop k470sim
prop="$build/configtool/app/K470prop"
sim="$build/simulator/k470sim"

work=$(mktemp -d /tmp/k470-run.XXXXXX)
sim_pid=""
prop_pid=""
cleanup() {
  # xvfb-run, its X server and K470prop form one process group.
  [ -n "$prop_pid" ] && kill -- "-$prop_pid" 2>/dev/null || true
  [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null || true
  wait 2>/dev/null || true
}
trap cleanup EXIT
trap 'exit 130' INT TERM

if [ "$real_ports" -eq 0 ]; then
  # The demo keeps its own settings, so the check box of a real set-up is not
  # changed by it.
  export K470_SETTINGS=${K470_SETTINGS:-$work/Lumora.reg}
  "$sim" --link "$work/k470" --log "$work/k470sim.log" ${scenario[@]+"${scenario[@]}"} >"$work/k470sim.out" &
  sim_pid=$!
  for _ in $(seq 100); do
    [ -s "$work/k470sim.out" ] && break
    sleep 0.05
  done
  terminal=$(head -n 1 "$work/k470sim.out")
  [ -n "$terminal" ] || { echo "k470sim did not start (see $work/k470sim.log)" >&2; exit 1; }
  export K470_PORTS="$terminal"
  echo "Simulated adapter on $terminal (conversation log: $work/k470sim.log)"
else
  unset K470_PORTS
fi

if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
  "$prop" ${args[@]+"${args[@]}"}
  exit 0
fi

echo "No display available: running the session under Xvfb and taking a screenshot once the adapter is found."
shot="$work/K470prop.png"
K470_SCREENSHOT="$shot" setsid xvfb-run -a -s "-screen 0 1024x768x24" "$prop" ${args[@]+"${args[@]}"} \
  >"$work/K470prop.log" 2>&1 &
prop_pid=$!
for _ in $(seq 600); do
  [ -s "$shot.txt" ] && break
  kill -0 "$prop_pid" 2>/dev/null || break
  sleep 0.1
done
if [ -s "$shot.txt" ]; then
  echo "Screenshot of the sheet: $shot"
  sed 's/^/  /' "$shot.txt"
else
  echo "K470prop did not find the adapter within 60 s (logs: $work/K470prop.log, $work/k470sim.log)" >&2
  exit 1
fi
