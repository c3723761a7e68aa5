#!/usr/bin/env bash
# The one run command: installs what is missing, builds, starts the session
# simulator on localhost with some history already run, and starts Lanterra
# pointed at it through a private settings folder (never the user's own
# settings). The simulator stops when the program exits.
# Usage: ./scripts/run.sh [simulator options...]
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="$root/build-run"
config="$root/.run-config"
port=11001

"$root/scripts/install-deps.sh"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DLANTERRA_BUILD_TESTS=OFF > /dev/null
cmake --build "$build" --parallel "$(nproc)" --target lanterra lanterra-sim

# Private settings: the program reads its connection data from here. Only
# the connection is written (by the program itself), so the layouts and
# panels arranged in earlier runs stay; a fresh folder opens "Pit wall".
mkdir -p "$config"
export XDG_CONFIG_HOME="$config"
# The password goes through the environment: a command line is readable by all.
export LANTERRA_PASSWORD=demo
args=(--connect "demo@localhost:$port")
if [ ! -f "$config/Veltrano Systems/Lanterra.ini" ]; then
    args+=(--layout "Pit wall")
fi

"$build/tools/sim/lanterra-sim" --port "$port" --elapsed 1800 "$@" &
sim=$!
trap 'kill "$sim" 2>/dev/null || true' EXIT

# Without a display, a virtual one.
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    xvfb-run -a "$build/lanterra" "${args[@]}"
else
    "$build/lanterra" "${args[@]}"
fi
