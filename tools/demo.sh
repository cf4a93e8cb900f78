#!/usr/bin/env bash
# Runs the program's main job end to end under Wine and tells what happened:
# it builds the 64-bit program with loopback update servers, lays out an
# update server tree with stand-in libraries and a stand-in installer, serves
# it with nginx, starts varnel_setup.exe, presses Start in its dialog, takes
# screenshots on the way and prints the requests, the libraries, the
# registrations and the installer's command line.
#
#   tools/demo.sh            an installation from the update server (dialog)
#   tools/demo.sh --local    an installation from cabinets in the start folder
#   tools/demo.sh --update   an update run "x a1 a2 a3 *klient*" (no window)
#   tools/demo.sh --flaky    as the first, but the server cuts the a-cabinet's
#                            connection twice; the download resumes and completes
#
# Every mode ends with the path and the last lines of the program's log.
#
# VARNEL_DEMO_DISPLAY=:0 shows the windows on that X display instead of the
# demo's own Xvfb. Screenshots land in build/demo/screenshots/MODE/.
set -euo pipefail
cd "$(dirname "$0")/.."

mode=server
case "${1:-}" in
  "") ;;
  --local) mode=local ;;
  --update) mode=update ;;
  --flaky) mode=flaky ;;
  *) echo "usage: $0 [--local|--update|--flaky]" >&2; exit 2 ;;
esac

# A build of its own: the host texts are compiled in, and the test build's
# addresses (127.0.0.11-13) belong to the test suite, which may be running.
build=build/demo-x64
bin=$build/bin
server_host=127.0.0.31
# Wine state (prefix, wineserver, Xvfb) of its own, apart from the tests'.
demo=build/demo
run=$demo/run
shots=$demo/screenshots/$mode
title='Instalacja programu Tabrix Kalk wersja 3.xx'
libraries=(libeay32.dll ssleay32.dll msvcr70.dll msvcr71.dll vfp7r.dll vfp7renu.dll
           ChilKatFtp2.dll DebenuPDFLibraryAX0912.dll mscomm32.ocx msmapi32.ocx
           mscomctl.ocx richtx32.ocx vncab.dll vnapiwin.dll)

say() { printf '== %s\n' "$*"; }

build_program() {
  tools/install-packages.sh
  say "Building the 64-bit program (update servers $server_host, 127.0.0.32, 127.0.0.33:8080)"
  cmake --no-warn-unused-cli -S . -B $build -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-x86_64-mingw.cmake \
    -DCMAKE_BUILD_TYPE=MinSizeRel -DVARNEL_BUILD_TESTS=ON \
    -DUPDATE_SERVER_1=$server_host -DUPDATE_SERVER_2=127.0.0.32 \
    -DUPDATE_SERVER_3=127.0.0.33:8080 >/dev/null
  cmake --build $build --target varnel_setup standins >/dev/null
}

wine() { /usr/lib/wine/wine64 "$@"; }

# The Windows name of a Linux path (Wine maps the whole file system to Z:).
windows_path() { wine winepath -w "$(realpath "$1")" 2>/dev/null | tr -d '\r'; }

# make_cabinet.exe OUTPUT_FOLDER ARGUMENTS...; Linux paths in SOURCE=STORED
# entries are turned into Windows ones.
make_cabinet() {
  local folder=$1; shift
  mkdir -p "$folder"
  local args=() arg
  for arg in "$@"; do
    if [[ $arg == */*=* ]]; then arg="$(windows_path "${arg%%=*}")=${arg#*=}"; fi
    args+=("$arg")
  done
  wine "$bin/make_cabinet.exe" "$(windows_path "$folder")" "${args[@]}" >/dev/null
}

# The fourteen libraries as the maker ships them: the shared ones are the
# plain stand-in, the maker's two carry a version function.
system_cabinet() {
  local folder=$1 parts=$run/parts/sys entries=() i name
  mkdir -p $parts
  for i in "${!libraries[@]}"; do
    name=${libraries[$i]}
    if [ "$i" -lt 12 ]; then cp $bin/standin_plain.dll "$parts/$name"
    else cp $bin/standin_v1400510.dll "$parts/$name"; fi
    entries+=("$parts/$name=$name|20|20240506070810")
  done
  make_cabinet "$folder" --set-id 11 setup_sys.cab "${entries[@]}"
}

# The update server's tree. The a-cabinet carries a filler megabyte besides
# the installer so that its download (throttled by nginx) can be watched.
lay_out_server_tree() {
  local programs=$run/server/programy product=$run/server/programy/3_xx/tbrx
  mkdir -p "$product" $run/parts
  head -c 1000000 /dev/urandom >$run/parts/filler.bin
  echo probe >$programs/setup_sys.cab
  system_cabinet $programs/sys
  make_cabinet "$product" --none setup_tbrx_3_xxa.cab \
    "$bin/standin_installer.exe=instbrx.exe" "$run/parts/filler.bin=filler.bin"
  echo "MZ setup program" >"$product/setup_tbrx_3_xx.exe"
}

# What the product leaves in its folder for a local installation or an
# update: the system cabinet, a two-cabinet set and the setup program.
lay_out_local_set() {
  local start=$1
  mkdir -p $run/parts
  echo "Plik z drugiego pliku CAB" >$run/parts/readme.txt
  system_cabinet "$start"
  make_cabinet "$start" --set-id 12 'setup_tbrx_3_xx*.cab' \
    "$bin/standin_installer.exe=instbrx.exe" --next "$run/parts/readme.txt=readme.txt"
  echo "MZ setup program" >"$start/setup_tbrx_3_xx.exe"
}

start_nginx() {
  local here
  here=$(realpath $run/nginx)
  mkdir -p "$here"
  cat >"$here/nginx.conf" <<CONF
daemon off;
worker_processes 1;
# The tree lies under the build folder, which may be closed to nobody.
user root;
pid $here/nginx.pid;
error_log $here/error.log;
events { worker_connections 64; }
http {
    default_type application/octet-stream;
    log_format demo '\$request_uri \$status \$body_bytes_sent \$request_time "\$http_user_agent"';
    access_log $here/access.log demo;
    client_body_temp_path $here/body;
    proxy_temp_path $here/proxy;
    fastcgi_temp_path $here/fastcgi;
    uwsgi_temp_path $here/uwsgi;
    scgi_temp_path $here/scgi;
    server {
        listen $server_host:80;
        root $(realpath $run/server);
        # Slow enough to see the progress row move for a few seconds.
        location = /programy/3_xx/tbrx/setup_tbrx_3_xxa.cab { limit_rate 200k; }
    }
}
CONF
  setsid /usr/sbin/nginx -p "$here/" -c "$here/nginx.conf" -e "$here/error.log" \
    </dev/null >"$here/out.txt" 2>&1 &
  local _
  for _ in $(seq 100); do [ -s "$here/nginx.pid" ] && break; sleep 0.1; done
  [ -s "$here/nginx.pid" ] || { cat "$here/out.txt" "$here/error.log" >&2; exit 1; }
  nginx_pid=$(cat "$here/nginx.pid")
  say "nginx serves $run/server on http://$server_host/"
}

stop_nginx() {
  [ -n "${nginx_pid:-}" ] || return 0
  kill "$nginx_pid" 2>/dev/null || true
  local _
  for _ in $(seq 50); do kill -0 "$nginx_pid" 2>/dev/null || break; sleep 0.1; done
  kill -9 "$nginx_pid" 2>/dev/null || true
  nginx_pid=
}

# The scripted test server in place of nginx: it serves the same tree, but
# resets the a-cabinet's connection after 300 000 bytes the first three times
# it is asked: the size query (which reads only the headers), then the
# download, twice. Its strong ETag, as nginx sends one, lets the download
# resume; without a validator the program starts the file again instead.
start_flaky_server() {
  local here
  here=$(realpath -m $run/flaky)
  mkdir -p "$here"
  setsid python3 tools/test_http_server.py --bind $server_host --port 80 \
    --root "$(realpath $run/server)" --log "$here/log.jsonl" --ready "$here/ready" \
    --pid-file "$here/pid" --lifetime 600 \
    --rule /programy/3_xx/tbrx/setup_tbrx_3_xxa.cab \
    '{"mode": "reset", "after": 300000, "times": 3, "headers": {"ETag": "\"demo-1\""}}' \
    </dev/null >"$here/out.txt" 2>&1 &
  local _
  for _ in $(seq 100); do [ -e "$here/ready" ] && break; sleep 0.1; done
  [ -e "$here/ready" ] || { cat "$here/out.txt" >&2; exit 1; }
  flaky_pid=$(cat "$here/pid")
  say "The test server serves $run/server on http://$server_host/ and cuts the a-cabinet twice"
}

# A demo killed outright (kill -9) leaves its nginx holding the address.
stop_leftover_nginx() {
  local file=$run/nginx/nginx.pid
  [ -s $file ] || return 0
  nginx_pid=$(cat $file)
  if grep -qs nginx "/proc/$nginx_pid/cmdline"; then stop_nginx; fi
  nginx_pid=
}

cleanup() {
  stop_nginx
  if [ -n "${flaky_pid:-}" ]; then kill "$flaky_pid" 2>/dev/null || true; fi
  tools/test-env.sh stop $demo >/dev/null 2>&1 || true
}

start_wine() {
  say "Starting Wine for $demo (its prefix is made on the first run)"
  tools/test-env.sh start $demo
  # shellcheck disable=SC1091
  . $demo/wine/env
  if [ -n "${VARNEL_DEMO_DISPLAY:-}" ]; then export DISPLAY=$VARNEL_DEMO_DISPLAY; fi
  system32=$WINEPREFIX/drive_c/windows/system32
  local temp
  temp=$(wine cmd /c echo %TEMP% 2>/dev/null | tr -d '\r')
  temp_folder=$(wine winepath -u "$temp" 2>/dev/null)
}

# A fresh Windows for every run: none of the fourteen libraries in the system
# folder (so all are installed) and no record of an earlier run.
reset_windows() {
  local name
  for name in "${libraries[@]}"; do
    find "$system32" -maxdepth 1 -iname "$name" -delete
  done
  rm -f "$temp_folder"/varnel_regsvr.log "$temp_folder"/varnel_installer.log \
    "$temp_folder"/varnel_loads.log "$temp_folder"/varnel_setup.log \
    "$temp_folder"/varnel_setup.old.log
}

# Waits (up to $2 seconds) for a top-level window titled exactly $1 and
# prints its id.
wait_for_window() {
  local _ id
  for _ in $(seq $(($2 * 10))); do
    id=$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -n1 || true)
    if [ -n "$id" ]; then echo "$id"; return 0; fi
    sleep 0.1
  done
  return 1
}

# Whether the window $1 titled $2 is still on the screen. Wine may keep the
# X window of a destroyed dialog or box, only unmapped.
shown() { xdotool search --onlyvisible --name "^$2\$" 2>/dev/null | grep -qx "$1"; }

shot_count=0
# screenshot WINDOW STAGE: the window's part of the screen, numbered in order.
screenshot() {
  local X Y WIDTH HEIGHT WINDOW SCREEN file
  eval "$(xdotool getwindowgeometry --shell "$1" 2>/dev/null)" || return 0
  shot_count=$((shot_count + 1))
  file=$shots/$(printf '%02d' $shot_count)-$2.png
  import -display "$DISPLAY" -window root -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" +repage "$file" \
    2>/dev/null && echo "   screenshot $file"
}

# Presses the dialog's default button (Start) the way a user would.
press_start() {
  xdotool mousemove --window "$1" 5 5 click 1 2>/dev/null || true
  xdotool windowfocus --sync "$1" 2>/dev/null || true
  xdotool key --window "$1" Return 2>/dev/null
}

# The installation with its dialog: open, Start, download, the installer.
# $1 is the program's process, which ends when it hands over.
drive_dialog() {
  local dialog box
  dialog=$(wait_for_window "$title" 60) || { echo "The dialog did not appear." >&2; return 1; }
  say "The dialog \"$title\" is open"
  sleep 1
  screenshot "$dialog" open
  press_start "$dialog"
  say "Start pressed"
  # The progress row while the files arrive, until the dialog goes away.
  local _ stage=downloading
  [ $mode = local ] && stage=copying
  for _ in $(seq 120); do
    sleep 0.5
    kill -0 "$1" 2>/dev/null || break
    shown "$dialog" "$title" || break
    screenshot "$dialog" $stage
  done
  if box=$(wait_for_window instbrx.exe 60); then
    say "The installer was started and shows its window"
    sleep 0.5
    screenshot "$box" done
    xdotool key --window "$box" Return 2>/dev/null || true
    for _ in $(seq 50); do
      shown "$box" instbrx.exe || break
      sleep 0.1
    done
    if shown "$box" instbrx.exe; then
      # Keys may not reach it without a window manager: click its button.
      local X Y WIDTH HEIGHT WINDOW SCREEN
      eval "$(xdotool getwindowgeometry --shell "$box")"
      xdotool mousemove --window "$box" $((WIDTH / 2)) $((HEIGHT - 25)) click 1 || true
      sleep 0.5
    fi
    if shown "$box" instbrx.exe; then
      echo "   (its window could not be closed; stopping Wine ends it)"
    else
      say "The installer's window was closed with OK"
    fi
  else
    echo "The installer's window did not appear." >&2
  fi
}

# The update run must not open any window: watch for the dialog meanwhile.
window_seen=0
watch_for_no_window() {
  local pid=$1 _
  while kill -0 "$pid" 2>/dev/null; do
    if xdotool search --onlyvisible --name "$title" >/dev/null 2>&1; then
      window_seen=1
      return
    fi
    sleep 0.2
  done
}

run_program() {
  local start=$1; shift
  local exe
  exe=$(realpath $bin/varnel_setup.exe)
  say "Starting varnel_setup.exe ${*:-(empty command line)} in $start"
  status=0
  (cd "$start" && exec /usr/lib/wine/wine64 "$exe" "$@") &
  local pid=$!
  if [ $mode = update ]; then watch_for_no_window $pid; else drive_dialog $pid || true; fi
  wait $pid || status=$?
}

# Waits up to $2 seconds for at least one line in the file $1.
wait_for_line() {
  local _
  for _ in $(seq $(($2 * 10))); do [ -s "$1" ] && return 0; sleep 0.1; done
  return 1
}

report() {
  echo
  say "What happened"
  local log=$run/nginx/access.log
  if [ $mode = server ]; then
    local probes
    probes=$(grep -c '^/programy/setup_sys.cab ' "$log" || true)
    echo "Update server chosen: $server_host (server 1; it answered $probes probe request(s)" \
      "for /programy/setup_sys.cab)"
    # The program asks each cabinet's size with a GET it drops after the
    # headers, so the first request of a cabinet is the size query.
    echo "Requests it answered (path, status, bytes sent, seconds, what for):"
    awk '{ role = seen[$1]++ ? "download" : "size query"
           if ($1 == "/programy/setup_sys.cab") role = "probe"
           else if ($1 ~ /\.exe$/) role = "download"
           printf "   %-44s %s %9s B %7s s  %s\n", $1, $2, $3, $4, role }' "$log"
  elif [ $mode = flaky ]; then
    echo "Requests the test server saw (path, Range asked for):"
    python3 - "$run/flaky/log.jsonl" <<'PY'
import json, sys
for line in open(sys.argv[1]):
    record = json.loads(line)
    if record.get("event") != "request":
        continue
    ranges = [value for name, value in record["headers"] if name == "Range"]
    print("   %-44s %s" % (record["path"], ranges[0] if ranges else "-"))
PY
  else
    echo "No update server: the files came from the start folder."
    [ -s "$log" ] && echo "   (but the server saw requests)"
  fi

  if [ $mode = update ]; then
    if [ $window_seen = 1 ]; then echo "The dialog appeared (an update run should show none)."
    else echo "No window was opened (an update run)."; fi
  fi

  # They were all removed before the run, so whatever is there was copied.
  local name copied=()
  for name in "${libraries[@]}"; do
    [ -n "$(find "$system32" -maxdepth 1 -iname "$name")" ] && copied+=("$name")
  done
  echo "Libraries copied into the system folder (${#copied[@]} of ${#libraries[@]}):"
  echo "${copied[*]}" | fold -s -w 86 | sed 's/^/   /'

  # regsvr32 runs detached: give it a moment to finish writing.
  sleep 1
  echo "Registered with regsvr32:"
  if [ -s "$temp_folder/varnel_regsvr.log" ]; then
    tr -d '\r' <"$temp_folder/varnel_regsvr.log" | sed 's/^/   /'
  else
    echo "   nothing"
  fi

  echo "The installer was started as (folder | command line):"
  if wait_for_line "$temp_folder/varnel_installer.log" 10; then
    tr -d '\r' <"$temp_folder/varnel_installer.log" | sed 's/^/   /'
  else
    echo "   it was not started"
  fi
  echo "Exit code of varnel_setup.exe: $status"
  echo "The program's log: $temp_folder/varnel_setup.log (Windows: %TEMP%\\varnel_setup.log); its last lines:"
  if [ -s "$temp_folder/varnel_setup.log" ]; then
    tail -n 12 "$temp_folder/varnel_setup.log" | tr -d '\r' | cut -c1-160 | sed 's/^/   /'
  else
    echo "   none was written"
  fi
  if [ $mode = flaky ]; then
    echo "Retries in the log:"
    grep -a 'broken off\|retry' "$temp_folder/varnel_setup.log" | tr -d '\r' | cut -c1-160 |
      sed 's/^/   /' || echo "   none"
  fi
  if [ $shot_count -gt 0 ]; then echo "Screenshots: $shots/"; fi
}

main() {
  build_program
  trap cleanup EXIT
  trap 'exit 130' INT TERM
  stop_leftover_nginx
  rm -rf $run $shots
  mkdir -p $run/start $shots
  start_wine
  reset_windows

  local start=$run/start
  case $mode in
    server)
      lay_out_server_tree
      start_nginx
      export VARNEL_STANDIN_SHOW=1
      run_program $start
      ;;
    flaky)
      lay_out_server_tree
      start_flaky_server
      export VARNEL_STANDIN_SHOW=1
      run_program $start
      ;;
    local)
      lay_out_local_set $start
      export VARNEL_STANDIN_SHOW=1
      run_program $start
      ;;
    update)
      lay_out_local_set $start
      run_program $start x a1 a2 a3 '*klient*'
      ;;
  esac
  report
}

main
