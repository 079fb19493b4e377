#!/usr/bin/env bash
# A private Wine prefix for running the Windows programs in tests, with serial ports named by
# the tests. Nothing here touches ~/.wine, the display or the network.
#   init DIR                  fresh prefix and started server; every port COM1..COM40 absent
#   port DIR N DEVICE|absent  COMn opens DEVICE (absolute path) / fails to open
#   reset DIR                 every port absent again
#   run DIR SECONDS INPUT OUTPUT PROGRAM.exe [ARG...]
#                             run on a console typing INPUT (LF = Enter); standard output to
#                             OUTPUT, standard error to OUTPUT.stderr; status 124 on time-out
#   stop DIR                  stop the prefix's server and every process in it
# The registry names COMn as DIR/ports/comN, a link to a terminal (present) or a directory,
# which Wine cannot open (absent); never missing: a named port with no file behind it still
# opens, as a device that refuses every setting. The machine's own serial devices get numbers
# above 40 (the tool scans 1..32; 33..40 hold units it must not find by itself).
# Tests sharing one prefix share its port table: one at a time (CTest RESOURCE_LOCK).
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
readonly FIRST_PORT=1 LAST_PORT=40 MARKER=.lumivane-wine-prefix

die() { echo "wine-env: $*" >&2; exit 2; }

# Private prefix, no debug chatter, no display, no Mono/Gecko downloads, no menu entries.
wine_env() {
  local dir=$1; shift
  env -u DISPLAY -u WAYLAND_DISPLAY WINEPREFIX="$dir" WINEDEBUG=-all \
      WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d" "$@"
}

# The server outlives each program, detached, holding no test's pipe or terminal open.
start_server() {
  local dir=$1
  wine_env "$dir" setsid wineserver -p </dev/null >/dev/null 2>&1 || true
  # The first program starts the mount manager, which names the ports; rarely it fails once.
  local try
  for try in 1 2; do
    wine_env "$dir" wine cmd /c exit </dev/null >>"$dir/wine-env.log" 2>&1 && return 0
  done
  die "Wine does not start in $dir (see $dir/wine-env.log)"
}

set_port() {
  local dir=$1 n=$2 target=$3 entry=$1/ports/com$2
  rm -rf "$entry"
  if [ "$target" = absent ]; then mkdir "$entry"; else ln -s "$target" "$entry"; fi
}

cmd_init() {
  local dir=$1
  mkdir -p "$dir"
  dir=$(cd "$dir" && pwd)  # Wine takes only an absolute prefix path
  if [ -n "$(ls -A "$dir")" ]; then
    [ -e "$dir/$MARKER" ] || die "$dir is not empty and not a prefix made here"
    cmd_stop "$dir"
    rm -rf "$dir"
    mkdir "$dir"
  fi
  touch "$dir/$MARKER"
  mkdir "$dir/ports"
  local n reg=$dir/ports.reg
  printf 'REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software\\Wine\\Ports]\n' >"$reg"
  for ((n = FIRST_PORT; n <= LAST_PORT; n++)); do
    printf '"COM%d"="%s/ports/com%d"\n' "$n" "$dir" "$n" >>"$reg"
    set_port "$dir" "$n" absent
  done
  wine_env "$dir" wineboot -i </dev/null >"$dir/wine-env.log" 2>&1
  wine_env "$dir" wine regedit /S "$reg" </dev/null >>"$dir/wine-env.log" 2>&1
  # The mount manager reads the port names when the server starts: restart it.
  wine_env "$dir" wineserver -k >/dev/null 2>&1 || true
  wine_env "$dir" wineserver -w
  start_server "$dir"
  [ "$(readlink "$dir/dosdevices/com$FIRST_PORT")" = "$dir/ports/com$FIRST_PORT" ] ||
    die "Wine did not take the port names (see $dir/wine-env.log)"
}

cmd_run() {
  local dir=$1 seconds=$2 input=$3 output=$4; shift 4
  # Wine reports a missing program only as exit status 1, which a program may return too.
  [ -f "$1" ] || die "no program $1"
  [ -f "$input" ] || die "no input file $input"
  start_server "$dir"
  wine_env "$dir" python3 "$here/pty-run.py" "$seconds" "$input" "$output" "$output.stderr" wine "$@"
}

cmd_stop() {
  local dir=$1
  wine_env "$dir" wineserver -k >/dev/null 2>&1 || true
  wine_env "$dir" wineserver -w >/dev/null 2>&1 || true
}

[ $# -ge 2 ] || die "usage: wine-env.sh init|port|reset|run|stop DIR ..."
command=$1; shift
if [ "$command" != init ]; then
  [ -e "$1/$MARKER" ] || die "$1 is not a prefix made by 'wine-env.sh init'"
  # Wine takes only an absolute prefix path.
  dir=$(cd "$1" && pwd); shift; set -- "$dir" "$@"
fi
case "$command" in
  init)  [ $# -eq 1 ] || die "usage: init DIR"; cmd_init "$1" ;;
  port)  [ $# -eq 3 ] || die "usage: port DIR N DEVICE|absent"
         [[ $2 =~ ^[0-9]+$ ]] && [ "$2" -ge $FIRST_PORT ] && [ "$2" -le $LAST_PORT ] ||
           die "port number must be $FIRST_PORT..$LAST_PORT"
         [[ $3 = absent || $3 = /* ]] || die "the device must be an absolute path"
         set_port "$1" "$2" "$3" ;;
  reset) [ $# -eq 1 ] || die "usage: reset DIR"
         for ((n = FIRST_PORT; n <= LAST_PORT; n++)); do set_port "$1" "$n" absent; done ;;
  run)   [ $# -ge 5 ] || die "usage: run DIR SECONDS INPUT OUTPUT PROGRAM.exe [ARG...]"; cmd_run "$@" ;;
  stop)  [ $# -eq 1 ] || die "usage: stop DIR"; cmd_stop "$1" ;;
  *)     die "unknown command '$command'" ;;
esac
