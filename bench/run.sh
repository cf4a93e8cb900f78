#!/usr/bin/env bash
# Side-by-side timings of the program's transfer, extraction, server probe,
# start-up and size, each against a reference measured in the same run.
#   bash bench/run.sh [--face x64|x86] [ROUNDS] [transfer] [extract] [probe] [startup] [serverload]
#                     [size] [wholerun]
# Without section names every section runs. Results go to build/bench/results/
# (build/bench-x86-run/results/ for the x86 face)
# (one "MEASURE VALUE" line per sample, then summaries), one file per section
# named with its face (transfer-x64.txt). --face x86 builds the program and
# the product for i686 and runs them under 32-bit Wine in a 64-bit prefix, as
# the shipped program runs under WoW64; the default is x64. Loopback only:
# nginx and the scripted server listen on 127.0.0.41-42; everything it starts
# is ended on the way out. BENCH_LIMIT_RATE=5m (say) makes nginx send each
# answer at most that fast, as a customer's line would. A step that fails stops the run with a message
# naming the step (and the tail of its log, where it has one).
set -Eeuo pipefail

step_name="starting"
step_log=""
# step NAME [LOG]: what runs next, for the failure message; LOG is where that
# step's own output goes.
step() { step_name=$1; step_log=${2:-}; }
on_error() {
  local status=$1 line=$2 command=$3
  # Subshells inherit the trap; only the script itself reports, once.
  [ "$BASHPID" = "$$" ] || return 0
  trap - ERR
  echo "bench/run.sh: FAILED while $step_name (exit status $status, line $line: $command)" >&2
  if [ -n "$step_log" ] && [ -s "$step_log" ]; then
    echo "--- last lines of $step_log:" >&2
    tail -n 20 "$step_log" >&2
  fi
}
trap 'on_error $? $LINENO "$BASH_COMMAND"' ERR

here=$(cd "$(dirname "$0")/.." && pwd)
cd "$here"
face=x64
if [ "${1:-}" = --face ]; then face=${2:-}; shift 2 || true; fi
case $face in
  x64) toolchain=cmake/toolchain-x86_64-mingw.cmake wine=/usr/lib/wine/wine64 ;;
  x86) toolchain=cmake/toolchain-i686-mingw-tests.cmake wine=/usr/lib/wine/wine ;;
  *) echo "bench/run.sh: --face takes x64 or x86 (got '$face')" >&2; exit 2 ;;
esac
rounds=5
if [[ ${1:-} =~ ^[0-9]+$ ]]; then rounds=$1; shift; fi
sections=("$@")
[ ${#sections[@]} -gt 0 ] || sections=(transfer extract probe startup serverload size wholerun)

core=build/bench-$face
state=build/bench-$face-run
[ "$face" = x64 ] && state=build/bench
data=$state/data
out=$state/out
results=$state/results
tmp=$state/tmp
mkdir -p "$data" "$out" "$results" "$tmp"
bench_exe=$core/bench/varnel_bench.exe

# --- tools and builds ----------------------------------------------------------
# The compilers, Wine and its Polish locale come with the project's packages.
step "installing the project's packages (tools/install-packages.sh)" "$tmp/install.log"
for tool in cmake ninja python3 x86_64-w64-mingw32-g++-posix i686-w64-mingw32-g++-win32 \
            i686-w64-mingw32-g++-posix "$wine"; do
  if ! command -v "$tool" >/dev/null 2>&1; then
    echo "$tool is missing: installing the project's packages" >&2
    bash tools/install-packages.sh >"$tmp/install.log" 2>&1
    break
  fi
done
# The references and helpers of the benchmark itself, by the package that has each.
step "installing the benchmark's tools with apt-get" "$tmp/install.log"
need=()
for pair in curl:curl /usr/bin/time:time cabextract:cabextract /usr/sbin/nginx:nginx-light \
            xdotool:xdotool Xvfb:xvfb; do
  command -v "${pair%%:*}" >/dev/null 2>&1 || need+=("${pair#*:}")
done
if [ ${#need[@]} -gt 0 ]; then
  echo "installing ${need[*]}" >&2
  export DEBIAN_FRONTEND=noninteractive
  { apt-get update -q && apt-get install -y -q "${need[@]}"; } >"$tmp/install.log" 2>&1
fi
for pair in curl:curl /usr/bin/time:time cabextract:cabextract /usr/sbin/nginx:nginx-light \
            xdotool:xdotool Xvfb:xvfb; do
  command -v "${pair%%:*}" >/dev/null 2>&1 || { echo "${pair%%:*} is still missing" >&2; false; }
done

step "configuring the product library in $core" "$tmp/build.log"
if [ ! -f "$core/build.ninja" ]; then
  cmake -S . -B "$core" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
    -DCMAKE_BUILD_TYPE=MinSizeRel -DVARNEL_BUILD_TESTS=ON -DUPDATE_SERVER_1=127.0.0.41 \
    -DUPDATE_SERVER_2=127.0.0.42 -DUPDATE_SERVER_3=127.0.0.43:8080 >"$tmp/build.log" 2>&1
fi
step "building the product library and varnel_setup.exe in $core" "$tmp/build.log"
cmake --build "$core" --target varnel_core make_cabinet varnel_setup >"$tmp/build.log" 2>&1
step "building the benchmark program in $core/bench" "$tmp/build.log"
cmake -S bench -B "$core/bench" -G Ninja -DCMAKE_TOOLCHAIN_FILE="../$toolchain" \
  -DVARNEL_CORE_BUILD="$core" >"$tmp/build.log" 2>&1
cmake --build "$core/bench" >>"$tmp/build.log" 2>&1

# --- servers and the Wine environment ---------------------------------------------
server_pids=()
nginx_dir=$tmp/nginx
cleanup() {
  for pid in "${server_pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  stop_nginx
  tools/test-env.sh stop "$state" >/dev/null 2>&1 || true
}
stop_nginx() {
  if [ -f "$nginx_dir/nginx.pid" ]; then
    local pid
    pid=$(cat "$nginx_dir/nginx.pid")
    kill "$pid" 2>/dev/null || true
    for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
    rm -f "$nginx_dir/nginx.pid"
  fi
}
# start_nginx ADDRESS... : one worker serving $data/www on port 80 of each address.
start_nginx() {
  stop_nginx
  mkdir -p "$nginx_dir"
  local root servers=""
  root=$(cd "$data/www" && pwd)
  for address in "$@"; do
    servers+="    server { listen $address:80; root $root; }"$'\n'
  done
  cat >"$nginx_dir/nginx.conf" <<CONF
daemon off;
worker_processes 1;
user root;
pid $(pwd)/$nginx_dir/nginx.pid;
error_log $(pwd)/$nginx_dir/error.log;
events { worker_connections 64; }
http {
    default_type application/octet-stream;
    access_log off;
    sendfile on;
    ${BENCH_LIMIT_RATE:+limit_rate $BENCH_LIMIT_RATE;}
    client_body_temp_path $(pwd)/$nginx_dir/body;
    proxy_temp_path $(pwd)/$nginx_dir/proxy;
    fastcgi_temp_path $(pwd)/$nginx_dir/fastcgi;
    uwsgi_temp_path $(pwd)/$nginx_dir/uwsgi;
    scgi_temp_path $(pwd)/$nginx_dir/scgi;
$servers}
CONF
  setsid /usr/sbin/nginx -p "$(pwd)/$nginx_dir/" -c "$(pwd)/$nginx_dir/nginx.conf" \
    -e "$(pwd)/$nginx_dir/error.log" </dev/null >"$nginx_dir/out.txt" 2>&1 &
  for _ in $(seq 100); do [ -s "$nginx_dir/nginx.pid" ] && return 0; sleep 0.05; done
  echo "nginx did not start" >&2
  exit 1
}
# start_scripted ARGUMENTS... : tools/test_http_server.py on 127.0.0.41:80.
start_scripted() {
  rm -f "$tmp/scripted.ready"
  python3 tools/test_http_server.py --bind 127.0.0.41 --port 80 --root "$data/www" \
    --log "$tmp/scripted.log" --ready "$tmp/scripted.ready" --lifetime 600 "$@" &
  server_pids+=($!)
  for _ in $(seq 100); do [ -f "$tmp/scripted.ready" ] && return 0; sleep 0.05; done
  echo "scripted server did not start" >&2
  exit 1
}
stop_scripted() {
  for pid in "${server_pids[@]}"; do kill "$pid" 2>/dev/null || true; wait "$pid" 2>/dev/null || true; done
  server_pids=()
}
trap cleanup EXIT INT TERM

# The 32-bit Wine loader is itself an i386 program: starting it answers for
# the kernel and for wine32 at once.
if [ "$face" = x86 ] && ! probe=$(/usr/lib/wine/wine --version 2>&1); then
  echo "bench/run.sh: the x86 face needs a machine that runs 32-bit programs;" \
       "the probe '/usr/lib/wine/wine --version' failed: ${probe##*: }" >&2
  exit 1
fi
# tools/test-env.sh picks the loader by the face written here.
echo "$face" >"$state/wine-face"
step "starting the Wine environment (tools/test-env.sh start $state)" "$tmp/test-env.log"
tools/test-env.sh start "$state" >"$tmp/test-env.log" 2>&1
# shellcheck disable=SC1091
. "$state/wine/env"

# A Unix path as Wine sees it (drive Z:).
wpath() { local p; p=$(cd "$(dirname "$1")" && pwd)/$(basename "$1"); echo "Z:${p//\//\\}"; }
now_ms() { date +%s%3N; }
# mtime_ms FILE : when FILE was last written, in Unix ms.
mtime_ms() { LC_ALL=C stat -c %.3Y "$1" | tr -d .; }
# The Unix path of Wine's %TEMP%, without the closing slash.
wine_temp() {
  local temp
  temp=$("$wine" cmd /c echo %TEMP% 2>/dev/null </dev/null | tr -d '\r')
  # winepath itself would start the 32-bit loader, which not every kernel runs.
  temp=$("$wine" winepath.exe -u "$temp" 2>/dev/null </dev/null)
  [ -n "$temp" ] && [ -d "$temp" ] || { echo "no Unix path for Wine's %TEMP% ($temp)" >&2; return 1; }
  echo "${temp%/}"
}
# The system folder the program installs the libraries into.
system_folder=system32
[ "$face" = x86 ] && system_folder=syswow64
# fresh_tree FOLDER : the old working tree of the start-up section, 100 folders
# of 100 files of 100 bytes, written out to the disk.
fresh_tree() {
  rm -rf "$1"
  python3 bench/make_data.py tree "$1" 100 100
  sync
}

# The pid of this prefix's wineserver, which works in a folder named
# server-DEV-INODE of the prefix; fails when there is none.
prefix_server() {
  local pid folder
  folder=server-$(printf %x "$(stat -c %d "$WINEPREFIX")")-$(printf %x "$(stat -c %i "$WINEPREFIX")")
  for pid in $(pgrep -x wineserver64) $(pgrep -x wineserver); do
    if [ "$(basename "$(readlink "/proc/$pid/cwd" 2>/dev/null)")" = "$folder" ]; then
      echo "$pid"
      return 0
    fi
  done
  echo "no wineserver of the prefix $WINEPREFIX" >&2
  return 1
}
# cpu_ms PID : the user and system CPU time of a process so far, in ms.
cpu_ms() { awk -v t="$(getconf CLK_TCK)" '{ print int(($14 + $15) * 1000 / t) }' "/proc/$1/stat"; }

# run_bench NAME ARGS... : one run of the benchmark program; records its own
# elapsed milliseconds as NAME_ms and the process's peak RSS (KiB) as NAME_rss.
run_bench() {
  local name=$1
  shift
  step "running varnel_bench $*" "$tmp/bench.err"
  /usr/bin/time -f %M -o "$tmp/rss" "$wine" "$bench_exe" "$@" >"$tmp/bench.out" 2>"$tmp/bench.err" || {
    echo "$name failed: $(cat "$tmp/bench.out" "$tmp/bench.err")" >&2; return 1; }
  local ms
  ms=$(sed -n 's/^ms=\([0-9.]*\).*/\1/p' "$tmp/bench.out")
  echo "${name}_ms $ms" >>"$file"
  echo "${name}_rss $(tail -n1 "$tmp/rss")" >>"$file"
  bench_value=$(sed -n 's/.*value=\([0-9]*\).*/\1/p' "$tmp/bench.out")
}

summarise() {
  python3 bench/stats.py "$file" >"$file.summary"
  local pair
  for pair in "$@"; do
    python3 bench/stats.py "$file" --ratio ${pair} >>"$file.summary"
  done
  cat "$file.summary"
}

# --- transfer ------------------------------------------------------------------
transfer() {
  file=$results/transfer-$face.txt
  : >"$file"
  mkdir -p "$data/www/programy"
  local blob=$data/www/programy/big.bin size=268435456
  step "transfer: writing the 256 MiB body"
  [ "$(stat -c %s "$blob" 2>/dev/null || echo 0)" = $size ] || python3 bench/make_data.py blob "$blob" 256
  step "transfer: starting nginx and fetching the body with curl"
  start_nginx 127.0.0.41
  local url=http://127.0.0.41/programy/big.bin target
  target=$(wpath "$out/transfer.bin")
  curl -s -o /dev/null "$url"  # the file into the page cache
  for round in $(seq "$rounds"); do
    local seconds
    seconds=$(curl -s -o "$out/transfer.bin" -w '%{time_total}' "$url")
    echo "curl_ms $(python3 -c "print($seconds*1000)")" >>"$file"
    run_bench bare64k bare "$url" "$target" 65536
    run_bench bare4000 bare "$url" "$target" 4000
    run_bench bare4000qda bare "$url" "$target" 4000 qda
    run_bench handoff4000 handoff "$url" "$target" 4000
    run_bench bare64kqda bare "$url" "$target" 65536 qda
    run_bench handoff4000x16 handoff "$url" "$target" 4000 16
    run_bench download download "$url" "$target"
    [ "$(stat -c %s "$out/transfer.bin")" = $size ] || { echo "short download" >&2; exit 1; }
    rm -f "$out/transfer.bin"
    echo "transfer round $round done" >&2
  done
  stop_nginx
  summarise "download_ms bare64k_ms" "download_ms curl_ms" "bare64k_ms curl_ms" \
    "bare4000_ms bare64k_ms" "bare4000qda_ms bare4000_ms" "handoff4000_ms bare4000qda_ms" \
    "download_ms handoff4000_ms" "bare64kqda_ms bare64k_ms" \
    "handoff4000x16_ms bare4000qda_ms" "download_ms handoff4000x16_ms" \
    "download_ms bare4000qda_ms"
}

# --- extraction ----------------------------------------------------------------
extract() {
  file=$results/extract-$face.txt
  : >"$file"
  local src=$data/cabsrc cab=$data/cab
  step "extract: making the cabinet" "$tmp/make_cabinet.out"
  if [ ! -f "$cab/bench.cab" ]; then
    python3 bench/make_data.py text "$src" 64 1638400
    mkdir -p "$cab"
    local entries=()
    for f in "$src"/*.txt; do entries+=("$(wpath "$f")=$(basename "$f")"); done
    "$wine" "$core/bin/make_cabinet.exe" --mszip "$(wpath "$cab")\\" bench.cab "${entries[@]}" \
      >"$tmp/make_cabinet.out" 2>&1
  fi
  echo "cabinet_bytes $(stat -c %s "$cab/bench.cab")" >"$results/extract-$face.input"
  echo "source_bytes $(du -cb "$src"/*.txt | tail -n1 | cut -f1)" >>"$results/extract-$face.input"
  for round in $(seq "$rounds"); do
    step "extract round $round"
    rm -rf "$out/x"; mkdir -p "$out/x/program" "$out/x/extrac32" "$out/x/cabextract"
    local t0 t1
    t0=$(now_ms)
    run_bench extract extract "$(wpath "$cab")\\" bench.cab "$(wpath "$out/x/program")\\"
    t1=$(now_ms)
    echo "extract_wall_ms $((t1 - t0))" >>"$file"
    t0=$(now_ms)
    /usr/bin/time -f %M -o "$tmp/rss" "$wine" extrac32 /E /L "$(wpath "$out/x/extrac32")" \
      "$(wpath "$cab/bench.cab")" >"$tmp/extrac32.out" 2>&1 </dev/null
    t1=$(now_ms)
    echo "extrac32_wall_ms $((t1 - t0))" >>"$file"
    t0=$(now_ms)
    cabextract -q -d "$out/x/cabextract" "$cab/bench.cab"
    t1=$(now_ms)
    echo "cabextract_wall_ms $((t1 - t0))" >>"$file"
    for tool in program extrac32 cabextract; do
      [ "$(find "$out/x/$tool" -type f | wc -l)" = 64 ] || { echo "$tool: not 64 files" >&2; exit 1; }
    done
    echo "extract round $round done" >&2
  done
  rm -rf "$out/x"
  summarise "extract_wall_ms cabextract_wall_ms" "extrac32_wall_ms cabextract_wall_ms" \
    "extract_wall_ms extrac32_wall_ms" "extract_ms cabextract_wall_ms"
}

# --- probe -----------------------------------------------------------------------
probe() {
  file=$results/probe-$face.txt
  : >"$file"
  mkdir -p "$data/www/programy"
  echo probe >"$data/www/programy/setup_sys.cab"
  local mode
  for mode in answering refused silent dropsyn; do
    step "probe: starting the servers for server 1 $mode"
    case $mode in
      answering) start_nginx 127.0.0.41 127.0.0.42 ;;
      refused) start_nginx 127.0.0.42 ;;
      silent) start_nginx 127.0.0.42; start_scripted --rule '*' '{"mode": "silent"}' ;;
      dropsyn) start_nginx 127.0.0.42; start_scripted --drop-syns ;;
    esac
    local expected=2
    [ $mode = answering ] && expected=1
    for round in $(seq "$rounds"); do
      run_bench "probe_$mode" probe
      [ "$bench_value" = $expected ] || { echo "probe $mode chose server $bench_value" >&2; exit 1; }
    done
    stop_scripted
    stop_nginx
    echo "probe $mode done" >&2
  done
  summarise "probe_refused_ms probe_answering_ms"
}

# --- start-up ----------------------------------------------------------------------
# Wine's desktop process (explorer.exe) ends about a second after the last
# window of the prefix has gone. A program started while it is ending can
# end with 1603 and no window at all: seen once in 17 starts made 1.2 s after
# the last one was ended, its log going from the run mode straight to the
# exit code. So the next start waits until the desktop process of this
# prefix has ended, 10 s at most.
desktop_gone() {
  local waited=0 pid busy
  while [ $waited -lt 10000 ]; do
    busy=0
    for pid in $(pgrep -f 'system32.explorer\.exe' 2>/dev/null); do
      if tr '\0' '\n' 2>/dev/null <"/proc/$pid/environ" | grep -qx "WINEPREFIX=$WINEPREFIX"; then
        busy=1
      fi
    done
    [ $busy = 0 ] && return 0
    sleep 0.05
    waited=$((waited + 50))
  done
  echo "start-up: Wine's desktop process still runs 10 s after the program ended" >&2
}

startup() {
  file=$results/startup-$face.txt
  : >"$file"
  mkdir -p "$data/www/programy"
  echo probe >"$data/www/programy/setup_sys.cab"
  start_nginx 127.0.0.41
  local work
  step "start-up: asking Wine for %TEMP% and its Unix path"
  work=$(wine_temp)/varnel
  local kind
  for round in $(seq "$rounds"); do
    for kind in empty tree10k; do
      step "start-up round $round ($kind): making the old tree"
      rm -rf "$work"
      [ $kind = tree10k ] && python3 bench/make_data.py tree "$work" 100 100
      sync
      step "start-up round $round ($kind): starting varnel_setup.exe" "$tmp/setup.out"
      local t0 t1 pid found=0
      t0=$(now_ms)
      "$wine" "$core/bin/varnel_setup.exe" WYM </dev/null >"$tmp/setup.out" 2>&1 &
      pid=$!
      while [ $(($(now_ms) - t0)) -lt 20000 ]; do
        if xdotool search --onlyvisible --name 'Instalacja' >/dev/null 2>&1; then found=1; break; fi
        sleep 0.005
      done
      t1=$(now_ms)
      if [ $found = 0 ]; then
        # Kept apart from the timings, with what was on the screen instead.
        echo "startup_${kind}_missed 1" >>"$file"
        for window in $(xdotool search --onlyvisible --name '.' 2>/dev/null); do
          echo "window: $(xdotool getwindowname "$window" 2>/dev/null)" >&2
        done
      fi
      kill "$pid" 2>/dev/null || true
      wait "$pid" 2>/dev/null || true
      [ $found = 1 ] && echo "startup_${kind}_ms $((t1 - t0))" >>"$file"
      if [ $found = 1 ] && [ -d "$work/d000" ]; then
        echo "start-up round $round ($kind): the old tree is still there" >&2; exit 1
      fi
      if [ $kind = tree10k ]; then
        # The tree's deletion alone: the program's walk, rm -rf and the
        # variants, each on a tree made afresh and synced, one after the
        # other. Beside the times: the CPU time of the wineserver, which
        # makes every deletion of the program, and how long rm -rf waits off
        # the CPU (in the file system), as the wineserver's unlink waits too.
        step "start-up round $round: timing the deletion of the tree alone"
        local server before wall user system
        server=$(prefix_server)
        fresh_tree "$work"
        before=$(cpu_ms "$server")
        run_bench deltree deltree "$(wpath "$work")"
        echo "deltree_wineserver_cpu_ms $(($(cpu_ms "$server") - before))" >>"$file"
        [ ! -e "$work" ] || { echo "deleteFolderTree left $work behind" >&2; false; }
        fresh_tree "$work"
        step "start-up round $round: rm -rf of the tree"
        t0=$(now_ms); /usr/bin/time -f '%e %U %S' -o "$tmp/cpu" rm -rf "$work"; t1=$(now_ms)
        echo "rm_rf_ms $((t1 - t0))" >>"$file"
        read -r wall user system <"$tmp/cpu"
        echo "rm_rf_cpu_ms $(python3 -c "print(round(($user + $system) * 1000))")" >>"$file"
        echo "rm_rf_wait_ms $(python3 -c "print(round(($wall - $user - $system) * 1000))")" >>"$file"
        fresh_tree "$work"
        run_bench deltree_basic deltree-basic "$(wpath "$work")"
        [ ! -e "$work" ] || { echo "deltree-basic left $work behind" >&2; false; }
        fresh_tree "$work"
        run_bench deltree_shares deltree-shares "$(wpath "$work")"
        [ ! -e "$work" ] || { echo "deltree-shares left $work behind" >&2; false; }
        fresh_tree "$work"
        run_bench rename_aside rename "$(wpath "$work")" "$(wpath "$work").old"
        rm -rf "$work.old"
      fi
      rm -rf "$work"
      desktop_gone
    done
    echo "startup round $round done" >&2
  done
  stop_nginx
  summarise "startup_tree10k_ms startup_empty_ms" "deltree_ms rm_rf_ms" \
    "deltree_basic_ms deltree_ms" "deltree_shares_ms deltree_ms" "deltree_shares_ms rm_rf_ms"
}

# --- size --------------------------------------------------------------------------
size() {
  file=$results/size-$face.txt
  step "size: building the release program (preset release-x86)" "$tmp/build.log"
  cmake --preset release-x86 >"$tmp/build.log" 2>&1
  cmake --build build/release-x86 >>"$tmp/build.log" 2>&1
  step "size: the sections and the link map of the release program"
  local exe=build/release-x86/varnel_setup.exe map=$state/map
  mkdir -p "$map"
  {
    echo "exe_bytes $(stat -c %s "$exe")"
    i686-w64-mingw32-objdump -h "$exe" | awk '/^ *[0-9]+ \./ { print $2, $3 }' |
      while read -r name hex; do echo "section $name $((16#$hex))"; done
  } >"$file"
  # The product's own link again, with a map and unstripped, outside its folder.
  local link
  link=$(ninja -C build/release-x86 -t commands varnel_setup.exe | tail -n1)
  link=${link/-o varnel_setup.exe/-o ..\/..\/$map\/varnel_setup.exe -Wl,-Map=..\/..\/$map\/varnel_setup.map}
  link=${link/-Wl,--out-implib,libvarnel_setup.dll.a/}
  (cd build/release-x86 && eval "$link")
  cmp -s "$exe" "$map/varnel_setup.exe" && echo "map_link identical" >>"$file" || echo "map_link differs" >>"$file"
  python3 bench/map_sizes.py "$map/varnel_setup.map" 20 >>"$file"
  cat "$file"
}

# --- where the hand-off time goes --------------------------------------------------
# CPU time of this Wine's wineserver and of the benchmark process during one
# transfer each way: every event signal and wait is a wineserver request here.
serverload() {
  file=$results/serverload-$face.txt
  : >"$file"
  local server
  step "serverload: finding this prefix's wineserver"
  server=$(prefix_server)
  server_cpu() { cpu_ms "$server"; }
  start_nginx 127.0.0.41
  local url=http://127.0.0.41/programy/big.bin target
  target=$(wpath "$out/transfer.bin")
  for round in $(seq "$rounds"); do
    local name args before after
    for name in bare4000qda handoff4000 handoff4000x16 download; do
      case $name in
        bare4000qda) args=(bare "$url" "$target" 4000 qda) ;;
        handoff4000) args=(handoff "$url" "$target" 4000) ;;
        handoff4000x16) args=(handoff "$url" "$target" 4000 16) ;;
        download) args=(download "$url" "$target") ;;
      esac
      before=$(server_cpu)
      /usr/bin/time -f '%e %U %S' -o "$tmp/cpu" "$wine" "$bench_exe" "${args[@]}" >"$tmp/bench.out" 2>&1
      after=$(server_cpu)
      echo "${name}_wineserver_cpu_ms $((after - before))" >>"$file"
      read -r wall user system <"$tmp/cpu"
      echo "${name}_process_cpu_ms $(python3 -c "print(($user + $system) * 1000)")" >>"$file"
      echo "${name}_wall_ms $(python3 -c "print($wall * 1000)")" >>"$file"
      rm -f "$out/transfer.bin"
    done
  done
  stop_nginx
  summarise "handoff4000_wineserver_cpu_ms bare4000qda_wineserver_cpu_ms"
}

# --- the whole run ------------------------------------------------------------------
# The real varnel_setup.exe from its start until the stand-in installer runs,
# against native tools doing the same work in the same round.
whole_libraries=(libeay32.dll ssleay32.dll msvcr70.dll msvcr71.dll vfp7r.dll vfp7renu.dll
                 ChilKatFtp2.dll DebenuPDFLibraryAX0912.dll mscomm32.ocx msmapi32.ocx
                 mscomctl.ocx richtx32.ocx vncab.dll vnapiwin.dll)

# The set, made once: the fourteen libraries (stand-ins padded to about 1.3 MB
# of cabinet), an a-cabinet of about 60 MB (the stand-in installer and 77 MB
# of data, half random, half text), a small b-cabinet and a 1 MiB setup
# program; laid out on the server (nginx's tree) and in a start folder.
make_whole_set() {
  local set=$data/whole pad=80000 part=3200000
  # Made again when its sizes change.
  [ -f "$set/ready-$pad-$part" ] && return 0
  step "wholerun: making the set in $set" "$tmp/make_cabinet.out"
  rm -rf "$set"
  mkdir -p "$set/lib" "$set/local" "$set/empty"
  local i name entries=()
  for i in "${!whole_libraries[@]}"; do
    name=${whole_libraries[$i]}
    if [ "$i" -lt 12 ]; then cp "$core/bin/standin_plain.dll" "$set/lib/$name"
    else cp "$core/bin/standin_v1400510.dll" "$set/lib/$name"; fi
    python3 bench/make_data.py pad "$set/lib/$name" $pad "$i"
    entries+=("$(wpath "$set/lib/$name")=$name|20|20240506070810")
  done
  "$wine" "$core/bin/make_cabinet.exe" --set-id 11 "$(wpath "$set/local")\\" setup_sys.cab \
    "${entries[@]}" >"$tmp/make_cabinet.out" 2>&1
  python3 bench/make_data.py mixed "$set/data" 24 $part
  entries=("$(wpath "$core/bin/standin_installer.exe")=instbrx.exe")
  for name in "$set"/data/*; do entries+=("$(wpath "$name")=$(basename "$name")"); done
  "$wine" "$core/bin/make_cabinet.exe" --set-id 12 "$(wpath "$set/local")\\" setup_tbrx_3_xxa.cab \
    "${entries[@]}" >>"$tmp/make_cabinet.out" 2>&1
  echo "Plik z drugiego pliku CAB" >"$set/readme.txt"
  "$wine" "$core/bin/make_cabinet.exe" --set-id 13 "$(wpath "$set/local")\\" setup_tbrx_3_xxb.cab \
    "$(wpath "$set/readme.txt")=readme.txt" >>"$tmp/make_cabinet.out" 2>&1
  python3 bench/make_data.py blob "$set/local/setup_tbrx_3_xx.exe" 1
  rm -rf "$set/data"
  touch "$set/ready-$pad-$part"
}

# The server's tree: the probe's file, the system cabinet in sys/, the setup
# program and the a-cabinet in the product's folder.
lay_out_whole_server() {
  local set=$data/whole www=$data/www/programy
  mkdir -p "$www/sys" "$www/3_xx/tbrx"
  echo probe >"$www/setup_sys.cab"
  ln -f "$set/local/setup_sys.cab" "$www/sys/setup_sys.cab"
  ln -f "$set/local/setup_tbrx_3_xx.exe" "$set/local/setup_tbrx_3_xxa.cab" "$www/3_xx/tbrx/"
}

# A machine as a new customer has it: no working tree, none of the fourteen
# libraries in either system folder, no logs of an earlier run.
reset_whole_machine() {
  local name folder
  rm -rf "$whole_temp/varnel"
  rm -f "$whole_temp"/varnel_*.log
  for folder in system32 syswow64; do
    for name in "${whole_libraries[@]}"; do
      find "$WINEPREFIX/drive_c/windows/$folder" -maxdepth 1 -iname "$name" -delete
    done
  done
}

# wait_for_file PATH LINES SECONDS : until PATH holds LINES lines.
wait_for_file() {
  # Every 50 ms: the times come from the files, and a busier poll would take
  # the CPUs from the program it waits for.
  local waited=0
  until [ -f "$1" ] && [ "$(wc -l <"$1")" -ge "$2" ]; do
    [ $waited -lt $(($3 * 20)) ] || return 1
    sleep 0.05
    waited=$((waited + 1))
  done
}

# whole_run KIND : one run of the program (internet, local or update); its
# time to the installer's start goes in as KIND_ms, the stages from its log
# as KIND_STAGE_ms.
whole_run() {
  local kind=$1 start=$data/whole/local args=() presser=
  [ "$kind" = internet ] && start=$data/whole/empty
  [ "$kind" = update ] && args=(x a1 a2 a3 '*klient*')
  step "wholerun $kind round $round: a fresh machine"
  reset_whole_machine
  sync
  if [ "$kind" != update ]; then
    step "wholerun $kind round $round: starting the Start presser" "$tmp/press.out"
    rm -f "$tmp/press.ready"
    "$wine" "$bench_exe" press "$(wpath "$tmp/press.ready")" 60000 >"$tmp/press.out" 2>&1 &
    presser=$!
    for _ in $(seq 1000); do [ -e "$tmp/press.ready" ] && break; sleep 0.01; done
    [ -e "$tmp/press.ready" ] || { echo "the Start presser did not start" >&2; false; }
  fi
  step "wholerun $kind round $round: varnel_setup.exe ${args[*]}" "$whole_temp/varnel_setup.log"
  local t0 pid
  t0=$(now_ms)
  (cd "$start" && exec "$wine" "$here/$core/bin/varnel_setup.exe" "${args[@]}") \
    </dev/null >"$tmp/setup.out" 2>&1 &
  pid=$!
  wait_for_file "$whole_temp/varnel_installer.log" 1 120 ||
    { echo "wholerun $kind: the installer was not started within 120 s" >&2; false; }
  local started
  started=$(mtime_ms "$whole_temp/varnel_installer.log")
  wait "$pid"
  if [ -n "$presser" ]; then
    wait "$presser"
    # When Start was pressed, for the dialog's share of its stage.
    echo "${kind}_pressed_ms $(($(sed -n 's/.*value=\([0-9]*\).*/\1/p' "$tmp/press.out") - t0))" >>"$file"
  fi
  step "wholerun $kind round $round: checking the libraries and registrations"
  wait_for_file "$whole_temp/varnel_regsvr.log" 6 20 ||
    { echo "wholerun $kind: not six registrations" >&2; false; }
  local name
  for name in "${whole_libraries[@]}"; do
    [ -n "$(find "$WINEPREFIX/drive_c/windows/$system_folder" -maxdepth 1 -iname "$name")" ] ||
      { echo "wholerun $kind: $name was not installed" >&2; false; }
  done
  python3 bench/wholerun_stages.py "$kind" "$t0" "$started" "$whole_temp/varnel_setup.log" >>"$file"
  cp "$whole_temp/varnel_setup.log" "$results/wholerun-$face-$kind.log"
}

# The native floor of the same work: the downloads (curl) or the copies of
# the start folder's set (cp), cabextract of both cabinets, cp of the
# fourteen libraries into an empty folder; each part is kept as well.
whole_floor() {
  local kind=$1 floor=$out/floor t0 t1 t2 t3
  step "wholerun floor $kind round $round"
  rm -rf "$floor"
  mkdir -p "$floor/download" "$floor/libraries" "$floor/start" "$floor/system"
  sync
  local server=http://127.0.0.41/programy
  t0=$(now_ms)
  if [ "$kind" = internet ]; then
    curl -s --fail -o "$floor/download/setup_tbrx_3_xx.exe" "$server/3_xx/tbrx/setup_tbrx_3_xx.exe" \
      -o "$floor/download/setup_sys.cab" "$server/sys/setup_sys.cab" \
      -o "$floor/download/setup_tbrx_3_xxa.cab" "$server/3_xx/tbrx/setup_tbrx_3_xxa.cab"
  else
    cp "$data/whole/local"/*.cab "$data/whole/local"/*.exe "$floor/download/"
  fi
  t1=$(now_ms)
  cabextract -q -d "$floor/libraries" "$floor/download/setup_sys.cab"
  cabextract -q -d "$floor/start" "$floor/download/setup_tbrx_3_xxa.cab"
  t2=$(now_ms)
  cp "$floor/libraries"/* "$floor/system/"
  t3=$(now_ms)
  [ "$(find "$floor/system" -type f | wc -l)" = 14 ] || { echo "floor: not 14 libraries" >&2; false; }
  echo "floor_${kind}_ms $((t3 - t0))" >>"$file"
  echo "floor_${kind}_fetch_ms $((t1 - t0))" >>"$file"
  echo "floor_${kind}_cabextract_ms $((t2 - t1))" >>"$file"
  echo "floor_${kind}_cp_ms $((t3 - t2))" >>"$file"
  rm -rf "$floor"
}

# What a bare Wine process costs: the stand-in installer started alone,
# until it has written its record.
whole_wine_start() {
  step "wholerun: the stand-in installer alone, round $round"
  local record=$tmp/winestart.log t0
  rm -f "$record"
  t0=$(now_ms)
  VARNEL_STANDIN_LOG=$(wpath "$record") "$wine" "$core/bin/standin_installer.exe" </dev/null >/dev/null 2>&1
  echo "winestart_ms $(($(mtime_ms "$record") - t0))" >>"$file"
  # The six registrations alone: regsvr32 started six times at once on the
  # libraries the last run left in the system folder, until all have ended.
  step "wholerun: six regsvr32 processes alone, round $round"
  local name pids=()
  t0=$(now_ms)
  for name in ChilKatFtp2.dll DebenuPDFLibraryAX0912.dll mscomm32.ocx msmapi32.ocx mscomctl.ocx \
              richtx32.ocx; do
    "$wine" "C:\\windows\\$system_folder\\regsvr32.exe" /s "C:\\windows\\$system_folder\\$name" \
      </dev/null >/dev/null 2>&1 &
    pids+=($!)
  done
  wait "${pids[@]}"
  echo "regsvr32x6_ms $(($(now_ms) - t0))" >>"$file"
}

wholerun() {
  file=$results/wholerun-$face.txt
  : >"$file"
  step "wholerun: building the stand-ins and the desktop keeper" "$tmp/build.log"
  cmake --build "$core" --target standins desktop_keeper >"$tmp/build.log" 2>&1
  make_whole_set
  lay_out_whole_server
  {
    echo "system_cabinet_bytes $(stat -c %s "$data/whole/local/setup_sys.cab")"
    echo "a_cabinet_bytes $(stat -c %s "$data/whole/local/setup_tbrx_3_xxa.cab")"
    echo "setup_program_bytes $(stat -c %s "$data/whole/local/setup_tbrx_3_xx.exe")"
  } >"$results/wholerun-$face.input"
  step "wholerun: asking Wine for %TEMP% and its Unix path"
  whole_temp=$(wine_temp)
  start_nginx 127.0.0.41
  # A Windows desktop is always there; Wine's ends a second after its last
  # window unless something holds one.
  setsid "$wine" "$core/bin/desktop_keeper.exe" </dev/null >/dev/null 2>&1 &
  local keeper=$! kind
  curl -s -o /dev/null http://127.0.0.41/programy/3_xx/tbrx/setup_tbrx_3_xxa.cab  # into the page cache
  for round in $(seq "$rounds"); do
    for kind in internet local update; do
      whole_run $kind
      whole_floor $kind
    done
    whole_wine_start
    # The floor with what Wine itself costs for the processes a run starts:
    # the program, six regsvr32 and the installer, each measured alone.
    for kind in internet local update; do
      awk -v kind="$kind" '$1 == "floor_" kind "_ms" { floor = $2 } $1 == "winestart_ms" { start = $2 }
        $1 == "regsvr32x6_ms" { registrations = $2 }
        END { print "wine_floor_" kind "_ms", floor + 2 * start + registrations }' "$file" >>"$file.tmp"
    done
    cat "$file.tmp" >>"$file"
    rm -f "$file.tmp"
    echo "wholerun round $round done" >&2
  done
  kill "$keeper" 2>/dev/null || true
  stop_nginx
  summarise "internet_ms floor_internet_ms" "local_ms floor_local_ms" "update_ms floor_update_ms" \
    "internet_ms wine_floor_internet_ms" "local_ms wine_floor_local_ms" "update_ms wine_floor_update_ms" \
    "internet_download_ms floor_internet_fetch_ms" "local_copy_ms floor_local_fetch_ms" \
    "internet_extract_ms floor_internet_cabextract_ms" "local_extract_ms floor_local_cabextract_ms" \
    "update_extract_ms floor_update_cabextract_ms"
}

step "recording the machine's facts"
{
  echo "date $(date -u +%Y-%m-%dT%H:%MZ)"
  echo "nproc $(nproc)"
  echo "cpu $(sed -n 's/^model name\s*: //p' /proc/cpuinfo | head -n1)"
  echo "wine $("$wine" --version)"
  echo "gcc $(x86_64-w64-mingw32-g++-posix --version | head -n1)"
  echo "gcc_i686 $(i686-w64-mingw32-g++-win32 --version | head -n1)"
  echo "curl $(curl --version | head -n1 | cut -d' ' -f1-2)"
  echo "nginx $(/usr/sbin/nginx -v 2>&1)"
  echo "cabextract $(cabextract --version 2>&1 | head -n1)"
  echo "rounds $rounds"
} >"$results/machine-$face.txt"

for section in "${sections[@]}"; do
  case $section in
    transfer|extract|probe|startup|serverload|size|wholerun) "$section" ;;
    *) echo "unknown section $section" >&2; exit 2 ;;
  esac
done
