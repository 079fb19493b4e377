#!/usr/bin/env bash
# A private Wine prefix for running the Windows programs in tests. Nothing here touches ~/.wine,
# the display or the network.
#   init DIR   fresh prefix and a started server; the registry names COMn (n = 1..40) as
#              DIR/ports/comN, which the tests make a link to a terminal (present) or a
#              directory, which Wine cannot open (absent). The machine's own serial devices get
#              numbers above 40 (the tool scans 1..32; 33..40 hold units it must not find).
#   run DIR PROGRAM [ARG...]   run a Windows program in the prefix, as the tests do
#   stop DIR   stop the prefix's server and every process in it
set -euo pipefail

readonly LAST_PORT=40 MARKER=.lumivane-wine-prefix

die() { echo "wine-env: $*" >&2; exit 2; }

# Private prefix, no debug chatter, no display, no Mono/Gecko downloads, no menu entries.
wine_env() {
  local dir=$1; shift
  env -u DISPLAY -u WAYLAND_DISPLAY WINEPREFIX="$dir" WINEDEBUG=-all \
      WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d" "$@"
}

cmd_init() {
  local dir=$1 n
  [ ! -e "$dir" ] || [ -e "$dir/$MARKER" ] || die "$dir exists and is not a prefix made here"
  [ ! -e "$dir" ] || cmd_stop "$dir"
  rm -rf "$dir"
  mkdir -p "$dir/ports"
  touch "$dir/$MARKER"
  local reg=$dir/ports.reg
  printf 'REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software\\Wine\\Ports]\n' >"$reg"
  for ((n = 1; n <= LAST_PORT; n++)); do
    printf '"COM%d"="%s/ports/com%d"\n' "$n" "$dir" "$n" >>"$reg"
    mkdir "$dir/ports/com$n"
  done
  wine_env "$dir" wineboot -i </dev/null >"$dir/wine-env.log" 2>&1
  wine_env "$dir" wine regedit /S "$reg" </dev/null >>"$dir/wine-env.log" 2>&1
  # The mount manager reads the port names when the server starts: restart it, detached and
  # persistent, so that it holds no test's terminal or files open and outlives each program.
  cmd_stop "$dir"
  wine_env "$dir" setsid wineserver -p </dev/null >/dev/null 2>&1
  # The first program starts the mount manager, which names the ports; rarely it fails once.
  wine_env "$dir" wine cmd /c exit </dev/null >>"$dir/wine-env.log" 2>&1 ||
    wine_env "$dir" wine cmd /c exit </dev/null >>"$dir/wine-env.log" 2>&1 ||
    die "Wine does not start in $dir (see $dir/wine-env.log)"
  [ "$(readlink "$dir/dosdevices/com1")" = "$dir/ports/com1" ] ||
    die "Wine did not take the port names (see $dir/wine-env.log)"
}

cmd_stop() {
  wine_env "$1" wineserver -k >/dev/null 2>&1 || true
  wine_env "$1" wineserver -w >/dev/null 2>&1 || true
}

[ $# -ge 2 ] && [[ $2 = /* ]] || die "usage: wine-env.sh init|run|stop ABSOLUTE-DIR [PROGRAM...]"
case "$1" in
  init) cmd_init "$2" ;;
  run) wine_env "$2" wine "${@:3}" ;;
  stop) cmd_stop "$2" ;;
  *) die "unknown command '$1'" ;;
esac
