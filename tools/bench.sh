#!/usr/bin/env bash
# Builds the benchmarks in Release (preset bench) and runs them: for each case the time per point
# and the peak of the module's working buffers against the exact buffers the transfer needs.
# Then a line for the module: track download against the floor, memory against the buffers, the
# upload's time when route sets and points double, and the track download's peak working memory
# per point. Ends with x9host against gpsbabel on the same generated GPX (1,000,000 track points
# in 10 tracks, 5 routes, 100 waypoints), in the same run: peak resident memory and CPU time
# (user + system) of `x9host download-tracks --yes --watch F --out O` and of
# `gpsbabel -i gpx -f F -o gpx -F O`, the best of three runs each.
#
# Environment: X9_BENCH_BUILD_DIR (default: the preset's build/bench), X9_BENCH_REPETITIONS
# (default 7; the figures are medians), X9_BENCH_SETTLE_SECONDS (default 90: how long to wait
# for a busy machine to quieten), JOBS (default 2).
set -euo pipefail
cd "$(dirname "$0")/.."

tools/setup.sh demo

build_dir=${X9_BENCH_BUILD_DIR:-build/bench}
repetitions=${X9_BENCH_REPETITIONS:-7}
cmake --preset bench -B "$build_dir" >/dev/null
cmake --build "$build_dir" -j "${JOBS:-2}" --target transfer_bench x9host x9link x9_watch_module

# A zone with a daylight-saving rule, the same on every machine.
export TZ=Europe/Berlin
csv=$(mktemp)
big=$(mktemp -d)
trap 'rm -rf "$csv" "$big"' EXIT

# Most of a download's time is the kernel handing out fresh pages, which other work on the
# machine slows more than it slows plain computation: wait a while for a quiet moment.
cores=$(nproc)
deadline=$((SECONDS + ${X9_BENCH_SETTLE_SECONDS:-90}))
while :; do
  load=$(cut -d' ' -f1 /proc/loadavg)
  if awk -v l="$load" -v c="$cores" 'BEGIN { exit !(l < c) }'; then break; fi
  if [ "$SECONDS" -ge "$deadline" ]; then
    echo "warning: load average $load on $cores cores: the figures will be noisy"
    break
  fi
  echo "waiting for a quieter machine: load average $load on $cores cores"
  sleep 10
done

echo "machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | sed 's/.*: //'); $(date -u '+%Y-%m-%d %H:%M UTC')"
echo "load average before: $(cut -d' ' -f1-3 /proc/loadavg)"
# Repetitions interleaved at random, so a burst of load elsewhere spreads over every case.
"$build_dir/bin/transfer_bench" \
  --benchmark_repetitions="$repetitions" \
  --benchmark_enable_random_interleaving=true \
  --benchmark_report_aggregates_only=true \
  --benchmark_out="$csv" --benchmark_out_format=csv
echo "load average after: $(cut -d' ' -f1-3 /proc/loadavg)"
echo

# The medians, per case: time per run, time per point, peak and exact working memory.
awk -F, '
  function unquote(s) { gsub(/"/, "", s); return s }
  function ns(value, unit) {
    if (unit == "s") return value * 1e9
    if (unit == "ms") return value * 1e6
    if (unit == "us") return value * 1e3
    return value
  }
  /^name,/ {
    for (i = 1; i <= NF; ++i) column[unquote($i)] = i
    header = 1
    next
  }
  !header { next }
  {
    name = unquote($column["name"])
    if ($column["error_occurred"] == "true") {
      printf "benchmark %s failed: %s\n", name, unquote($column["error_message"]) > "/dev/stderr"
      failed = 1
      next
    }
    if (name !~ /_median$/) next
    sub(/\/real_time_median$/, "", name)
    seen[name] = 1
    run[name] = ns($column["real_time"], $column["time_unit"])
    points[name] = $column["points"] + 0
    peak[name] = $column["peak_bytes"]
    exact[name] = $column["exact_bytes"]
    base[name] = $column["base_ns"]
    doubled[name] = $column["doubled_ns"]
    allocations[name] = $column["allocations"]
  }
  END {
    if (failed) exit 1
    printf "%-24s %9s %11s %10s %12s %12s %10s %7s\n", "case (medians)", "points", "ms per run", "ns/point", "peak bytes", "exact bytes", "peak/exact", "allocs"
    # The cases in a fixed order (the run interleaves them at random), then any others.
    cases = split("track_download track_floor track_buffers route_download waypoint_download " \
                  "route_upload/1000/200 route_upload/2000/200 route_upload/1000/400 route_upload_doubling " \
                  "host_time host_time_mktime degrees point_names point_names_snprintf", order, " ")
    for (c in seen) {
      known = 0
      for (i = 1; i <= cases; ++i) if (order[i] == c) known = 1
      if (!known) order[++cases] = c
    }
    for (i = 1; i <= cases; ++i) {
      c = order[i]
      if (!(c in seen)) continue
      if (points[c] > 0) perPoint = run[c] / points[c]; else perPoint = 0
      if (exact[c] > 0) {
        printf "%-24s %9.0f %11.3f %10.2f %12.0f %12.0f %10.4f %7.0f\n", c, points[c], run[c] / 1e6, perPoint, peak[c], exact[c], peak[c] / exact[c], allocations[c]
      } else {
        printf "%-24s %9.0f %11.3f %10.2f %12s %12s %10s %7s\n", c, points[c], run[c] / 1e6, perPoint, "-", "-", "-", "-"
      }
    }
    need["track_download"]; need["track_floor"]; need["route_download"]; need["waypoint_download"]
    need["route_upload_doubling"]
    for (c in need) if (!(c in run) || points[c] <= 0) { printf "no result for %s\n", c > "/dev/stderr"; exit 1 }
    if (base["route_upload_doubling"] <= 0) { print "no base time for the upload doubling" > "/dev/stderr"; exit 1 }
    print ""
    printf "route upload, paired in each iteration: 1000 sets x 200 points %.3f ms, 2000 sets x 200 points %.3f ms\n", \
      base["route_upload_doubling"] / 1e6, doubled["route_upload_doubling"] / 1e6
    if (("route_upload/1000/200" in run) && ("route_upload/2000/200" in run)) {
      printf "route upload, separate cases: 2000x200 / 1000x200 = %.2f\n", run["route_upload/2000/200"] / run["route_upload/1000/200"]
    }
    print ""
    print "R: track_download ns/point / track_floor ns/point"
    print "M: the largest peak/exact of the three downloads"
    print "D: the paired upload, 2000 x 200 ms / 1000 x 200 ms"
    print "B: track_download peak working bytes / points"
    r = (run["track_download"] / points["track_download"]) / (run["track_floor"] / points["track_floor"])
    m = 0
    split("track_download route_download waypoint_download", downloads, " ")
    for (i = 1; i <= 3; ++i) { ratio = peak[downloads[i]] / exact[downloads[i]]; if (ratio > m) m = ratio }
    d = doubled["route_upload_doubling"] / base["route_upload_doubling"]
    b = peak["track_download"] / points["track_download"]
    printf "track download: %.2f x floor; memory: %.2f x buffers; upload doubling: %.2f x; bytes per point: %.1f\n", r, m, d, b
  }
' "$csv"

# --- x9host beside gpsbabel ------------------------------------------------------------------
points=1000000
python3 bench/make_big_gpx.py "$big/big.gpx" "$points" 10
# Peak resident kilobytes and CPU seconds of one run; the best of three.
measure() {
  local best_kb="" best_cpu=""
  for _ in 1 2 3; do
    rm -f "$big/out.gpx"
    /usr/bin/time -f "%M %U %S" -o "$big/time" "$@" >/dev/null 2>"$big/err" ||
      { echo "failed: $* $(tail -2 "$big/err")" >&2; exit 1; }
    read -r kb user system <"$big/time"
    cpu=$(awk -v u="$user" -v s="$system" 'BEGIN { printf "%.2f", u + s }')
    if [ -z "$best_kb" ] || [ "$kb" -lt "$best_kb" ]; then best_kb=$kb; fi
    if [ -z "$best_cpu" ] || awk -v a="$cpu" -v b="$best_cpu" 'BEGIN { exit !(a < b) }'; then best_cpu=$cpu; fi
  done
  echo "$best_kb $best_cpu"
}
read -r x9_kb x9_cpu < <(measure "$build_dir/bin/x9host" download-tracks --yes --watch "$big/big.gpx" --out "$big/out.gpx")
read -r request_kb request_cpu < <(measure "$build_dir/bin/x9host" download-tracks --yes --watch "$big/big.gpx")
read -r gb_kb gb_cpu < <(measure gpsbabel -i gpx -f "$big/big.gpx" -o gpx -F "$big/out.gpx")
echo
awk -v n="$points" -v xk="$x9_kb" -v xc="$x9_cpu" -v rk="$request_kb" -v rc="$request_cpu" \
    -v gk="$gb_kb" -v gc="$gb_cpu" -v size="$(stat -c %s "$big/big.gpx")" 'BEGIN {
  printf "GPX of %d track points, %.0f MB; best of three runs, peak resident memory and CPU time:\n", n, size / 1e6
  printf "  x9host download-tracks --out: %7.1f MB (%5.1f bytes a point) %6.2f s\n", xk / 1024, xk * 1024 / n, xc
  printf "  the same without --out:       %7.1f MB (%5.1f bytes a point) %6.2f s\n", rk / 1024, rk * 1024 / n, rc
  printf "  gpsbabel gpx to gpx:          %7.1f MB (%5.1f bytes a point) %6.2f s\n", gk / 1024, gk * 1024 / n, gc
  printf "x9host memory: %.2f x gpsbabel; x9host time: %.2f x gpsbabel\n", xk / gk, xc / gc
}'
