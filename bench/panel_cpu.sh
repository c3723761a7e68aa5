#!/usr/bin/env bash
# What each panel costs: Lanterra follows a 60-car race an hour old from
# lanterra-sim on a 3840 x 2160 virtual screen, with no panel open, with each
# panel alone and with all of them, and the program's CPU time (utime + stime
# from /proc/PID/stat over the measured seconds) and the paint events per
# second of the panels' widgets (LANTERRA_PAINT_STATS=1, read on SIGUSR1) are
# written as a table. Run by hand, never in CI:
#   bench/panel_cpu.sh [-b BUILD] [-s SECONDS] [-r REPEATS] [-j PARALLEL] [-w SETTLE] [-p "view_a view_b ..."] [-P]
# Every run has a fresh settings folder. Several runs may go at once (-j), each
# on its own virtual screen: the CPU time of a process is its own, whatever
# else runs. Only the processes this script started are ended, by pid.
# What a panel costs depends on the race's moment (a wave of pit stops
# repaints the standings for minutes): with -P each panel runs beside a
# program with no panel open, over the same seconds of the same race, and
# "above none" is the difference of each such pair.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="$root/build"
seconds=60
repeats=2
parallel=1
settle=25
only=""
paired=0
while getopts "b:s:r:j:w:p:P" opt; do
    case "$opt" in
        b) build="$OPTARG" ;;
        s) seconds="$OPTARG" ;;
        r) repeats="$OPTARG" ;;
        j) parallel="$OPTARG" ;;
        w) settle="$OPTARG" ;;
        p) only="$OPTARG" ;;
        P) paired=1 ;;
        *) exit 2 ;;
    esac
done

lanterra="$build/lanterra"
sim="$build/tools/sim/lanterra-sim"
[ -x "$lanterra" ] && [ -x "$sim" ] || { echo "build lanterra and lanterra-sim in $build first" >&2; exit 2; }

work="$(mktemp -d /tmp/panel_cpu.XXXXXX)"
port=$((20000 + RANDOM % 20000))
hz=$(getconf CLK_TCK)
pids=()
cleanup() {
    for pid in "${pids[@]}"; do
        kill "$pid" 2>/dev/null || true
    done
}
trap cleanup EXIT

# The panels, in registry order, by settings group.
mapfile -t groups < <(grep -o '{"view_[a-z_]*"' "$root/panels/PanelRegistry.cpp" | tr -d '{"')
[ -n "$only" ] && read -r -a groups <<< "$only"

# A race of four hours, one hour run, at the wall clock's pace.
mkdir -p "$work/sim"
XDG_CONFIG_HOME="$work/sim" "$sim" --port "$port" --cars 60 --duration 14400 --elapsed 3600 --speed 1 > "$work/sim.log" 2>&1 &
pids+=($!)
sleep 2

# Settings of one run: the layout "bench" opens the panels named (all tiled
# over the screen, or one at a good size), nothing else.
write_settings() {
    local dir="$1"; shift
    local shownList=" $* "
    mkdir -p "$dir/Veltrano Systems"
    local count=$#
    local cols=1
    while [ $((cols * cols)) -lt "$count" ]; do cols=$((cols + 1)); done
    local rows=$(( (count + cols - 1) / cols ))
    [ "$rows" -lt 1 ] && rows=1
    local w=$((3840 / cols)) h=$(((2160 - 80) / rows))
    [ "$count" -eq 1 ] && { w=1400; h=1000; }
    {
        echo "[General]"
        echo "lastLayoutName=bench"
        echo "use_opengl=false"
        echo "[layouts]"
        echo "bench\\builtIn=false"
        echo "bench\\mainwindow\\x=0"
        echo "bench\\mainwindow\\y=0"
        echo "bench\\mainwindow\\w=600"
        echo "bench\\mainwindow\\h=60"
        echo "bench\\mainwindow\\show=true"
        local i=0 g
        for g in "${groups_all[@]}"; do
            if [[ "$shownList" == *" $g "* ]]; then
                echo "bench\\$g\\x=$(( (i % cols) * w ))"
                echo "bench\\$g\\y=$(( 80 + (i / cols) * h ))"
                echo "bench\\$g\\w=$w"
                echo "bench\\$g\\h=$h"
                echo "bench\\$g\\show=true"
                i=$((i + 1))
            else
                echo "bench\\$g\\show=false"
            fi
        done
    } > "$dir/Veltrano Systems/Lanterra.ini"
}
mapfile -t groups_all < <(grep -o '{"view_[a-z_]*"' "$root/panels/PanelRegistry.cpp" | tr -d '{"')

ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }

# One run: name, slot, panels. Writes "name cpu% paints/s(of the panels named) all-paints/s".
run_one() {
    local name="$1" slot="$2"; shift 2
    local dir="$work/$name.$slot.$RANDOM"
    mkdir -p "$dir"
    write_settings "$dir" "$@"
    XDG_CONFIG_HOME="$dir" LANTERRA_PASSWORD=demo LANTERRA_PAINT_STATS=1 \
        xvfb-run -a -s "-screen 0 3840x2160x24 -nolisten tcp" \
        bash -c 'echo $$ > "$1/pid"; exec "$2" --connect "demo@127.0.0.1:$3"' _ "$dir" "$lanterra" "$port" \
        > "$dir/out.log" 2>&1 &
    local xpid=$!
    local pid=""
    for _ in $(seq 50); do
        [ -s "$dir/pid" ] && { pid=$(cat "$dir/pid"); break; }
        sleep 0.2
    done
    [ -n "$pid" ] || { echo "$name: did not start" >&2; kill "$xpid" 2>/dev/null; return; }
    sleep "$settle"
    local t0 c0 t1 c1
    t0=$(date +%s.%N); c0=$(ticks "$pid"); kill -USR1 "$pid"
    sleep "$seconds"
    t1=$(date +%s.%N); c1=$(ticks "$pid"); kill -USR1 "$pid"
    sleep 0.5
    kill "$pid" 2>/dev/null || true
    wait "$xpid" 2>/dev/null || true
    # The two reports: the panels named (or all panels) over the window.
    python3 - "$dir/out.log" "$name" "$t0" "$t1" "$c0" "$c1" "$hz" "$@" <<'EOF'
import sys
log, name, t0, t1, c0, c1, hz = sys.argv[1:8]
named = set(sys.argv[8:])
lines = [l.split() for l in open(log, errors="replace") if l.startswith("paint-stats ")]
if len(lines) < 2:
    print(f"{name} nan nan nan"); sys.exit()
def parse(l):
    return int(l[1]), {k: int(v) for k, v in (x.split("=") for x in l[2:])}
ms0, a = parse(lines[-2]); ms1, b = parse(lines[-1])
dt = (ms1 - ms0) / 1000.0
panels = lambda d, keys: sum(v for k, v in d.items() if k in keys)
keys = set(b) - {"mainwindow"}
mine = named if named else set()
cpu = (int(c1) - int(c0)) / int(hz) / (float(t1) - float(t0)) * 100
print(f"{name} {cpu:.3f} {(panels(b, mine) - panels(a, mine)) / dt:.2f} {(panels(b, keys) - panels(a, keys)) / dt:.2f}")
EOF
}

configs=("none" "${groups[@]}" "all")
results="$work/results.txt"
: > "$results"
panels_of() {
    case "$1" in
        none) ;;
        all) echo "${groups_all[@]}" ;;
        *) echo "$1" ;;
    esac
}
if [ "$paired" = 1 ]; then
    for r in $(seq "$repeats"); do
        for c in "${configs[@]:1}"; do
            # shellcheck disable=SC2046
            run_one "$c" 0 $(panels_of "$c") >> "$results" &
            local_pids=($!)
            sleep 1
            run_one "none~$c" 1 >> "$results" &
            local_pids+=($!)
            wait "${local_pids[@]}"
        done
    done
else
    slot=0
    for r in $(seq "$repeats"); do
        for c in "${configs[@]}"; do
            # shellcheck disable=SC2046
            run_one "$c" "$slot" $(panels_of "$c") >> "$results" &
            slot=$(( (slot + 1) % parallel ))
            # Starts staggered so that logins do not fall on one another's measurement.
            sleep 4
            while [ "$(jobs -rp | wc -l)" -ge $((parallel + 1)) ]; do sleep 1; done
        done
    done
    while [ "$(jobs -rp | wc -l)" -gt 1 ]; do sleep 1; done
fi

# The table: mean and spread of the repeats, above the mean with no panel,
# or, paired, above the run beside each.
python3 - "$results" "$seconds" "$paired" "${configs[@]}" <<'EOF'
import sys, math
res, seconds, paired, configs = sys.argv[1], sys.argv[2], sys.argv[3] == "1", sys.argv[4:]
runs = {}
for l in open(res):
    p = l.split()
    if len(p) == 4 and p[1] != "nan":
        runs.setdefault(p[0], []).append((float(p[1]), float(p[2]), float(p[3])))
mean = lambda xs: sum(xs) / len(xs) if xs else math.nan
if paired:
    print(f"CPU over {seconds} s per run, each beside a run with no panel over the same seconds; paints = paint events of the panel's widgets per second")
    print()
    print("| panel | CPU % (mean) | none beside it | above none, per pair | paints/s |")
else:
    print(f"CPU over {seconds} s per run, {len(runs.get('none', []))} runs of each; paints = paint events of the panel's widgets per second")
    print()
    print("| panel | CPU % (mean) | runs | above none | paints/s |")
print("|---|---|---|---|---|")
base = mean([r[0] for r in runs.get("none", [])])
for c in configs[1:] if paired else configs:
    rs = runs.get(c, [])
    bs = runs.get("none~" + c, []) if paired else []
    if not rs or (paired and not bs):
        print(f"| {c} | n/a | | | |"); continue
    cpu = [r[0] for r in rs]
    paints = mean([r[2] if c in ("all", "none") else r[1] for r in rs])
    if paired:
        diffs = [r[0] - b[0] for r, b in zip(rs, bs)]
        print(f"| {c} | {mean(cpu):.2f} | {mean([b[0] for b in bs]):.2f} | {mean(diffs):+.2f} ({' / '.join(f'{d:+.2f}' for d in diffs)}) | {paints:.1f} |")
    else:
        print(f"| {c} | {mean(cpu):.2f} | {' / '.join(f'{x:.2f}' for x in cpu)} | {mean(cpu) - base:+.2f} | {paints:.1f} |")
EOF
echo "(raw runs in $results)" >&2
