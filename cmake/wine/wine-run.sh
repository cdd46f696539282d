#!/usr/bin/env bash
# Runs a Windows program under Wine in a prefix owned by one build folder.
#
#   wine-run.sh --home DIR PROGRAM [ARGS...]   run PROGRAM, exit with its exit code
#   wine-run.sh --home DIR --boot              create and boot the prefix only
#   wine-run.sh --home DIR --stop              stop the prefix's wine server and display
#
# The first run boots the prefix under a private Xvfb display (wineboot needs one) and keeps a
# persistent wine server, so later runs start in about a second. Programs run with
# LC_ALL=zh_CN.UTF-8, where Wine's ANSI code page is 936, as on the players' machines.
set -euo pipefail

[ "${1:-}" = "--home" ] || { echo "usage: $0 --home DIR (--boot|--stop|PROGRAM [ARGS...])" >&2; exit 2; }
home=$(mkdir -p "$2" && cd "$2" && pwd)
shift 2
here=$(cd "$(dirname "$0")" && pwd)

export WINEPREFIX="$home/prefix"
# WINE_RUN_ARCH=win64 makes a 64-bit prefix, whose x86-64 programs Wine's 64-bit loader runs
# without the emulator (the launcher's measuring build); the default is the players' 32-bit one.
export WINEARCH="${WINE_RUN_ARCH:-win32}"
wine=wine
if [ "$WINEARCH" = win64 ]; then
  export WINELOADER=/usr/lib/wine/wine64
  wine=$WINELOADER
fi
export WINEDEBUG="${WINEDEBUG:--all}"
# Mono and the HTML engine are not installed (nothing to download them from). The browser control
# is left out too: under the i386 emulator a process whose browser has fetched a page over HTTP
# dies at its next WinINet use, which would take the launcher down with its notice page. Tests of
# the browser host set WINE_RUN_BROWSER=1 to have it.
if [ "${WINE_RUN_BROWSER:-0}" = 1 ]; then
  export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=;winemenubuilder.exe=d}"
else
  export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml,ieframe=;winemenubuilder.exe=d}"
fi
export LC_ALL="${WINE_RUN_LOCALE:-zh_CN.UTF-8}"

stop() {
  if [ -d "$WINEPREFIX" ]; then wineserver -k 2>/dev/null || true; fi
  if [ -f "$home/xvfb.pid" ]; then
    kill "$(cat "$home/xvfb.pid")" 2>/dev/null || true
    rm -f "$home/xvfb.pid" "$home/display"
  fi
}

# Under qemu (see setup.sh) Wine's 32-bit loader needs the mmap compatibility shim. It is built
# for both word sizes so that 64-bit processes given the same LD_PRELOAD stay quiet.
prepare_qemu_shim() {
  local probe="$home/probe32"
  if [ ! -f "$home/native32" ] && [ ! -f "$home/qemu32" ]; then
    echo 'int main(void){return 0;}' > "$probe.c"
    gcc -m32 -static -o "$probe" "$probe.c"
    if grep -q '^enabled' /proc/sys/fs/binfmt_misc/quenlor-i386-exec 2>/dev/null; then
      touch "$home/qemu32"
    else
      touch "$home/native32"
    fi
  fi
  if [ -f "$home/qemu32" ]; then
    local lib="$home/shim" so=libqemu_mmap_compat.so
    # glibc loads libgcc_s lazily, at a thread's first pthread_exit. Inside Wine's reserved
    # address space that late mapping fails now and then under the emulator, and the process
    # aborts ("libgcc_s.so.1 must be installed for pthread_exit to work") when any of its threads
    # ends. Linked into the shim, libgcc_s is mapped at start-up, while there is room.
    if [ ! -f "$lib/lib/i386-linux-gnu/$so" ] || [ "$here/qemu_mmap_compat.c" -nt "$lib/lib/i386-linux-gnu/$so" ] ||
       [ "$here/wine-run.sh" -nt "$lib/lib/i386-linux-gnu/$so" ]; then
      mkdir -p "$lib/lib/i386-linux-gnu" "$lib/lib/x86_64-linux-gnu"
      gcc -m32 -O2 -shared -fPIC -o "$lib/lib/i386-linux-gnu/$so.$$" "$here/qemu_mmap_compat.c" -ldl -Wl,--no-as-needed -lgcc_s
      gcc -O2 -shared -fPIC -o "$lib/lib/x86_64-linux-gnu/$so.$$" "$here/qemu_mmap_compat.c" -Wl,--no-as-needed -lgcc_s
      mv -f "$lib/lib/x86_64-linux-gnu/$so.$$" "$lib/lib/x86_64-linux-gnu/$so"
      mv -f "$lib/lib/i386-linux-gnu/$so.$$" "$lib/lib/i386-linux-gnu/$so"
    fi
    export LD_PRELOAD="$lib/\$LIB/libqemu_mmap_compat.so"
  fi
}

ensure_display() {
  if [ -n "${WINE_RUN_DISPLAY:-}" ]; then export DISPLAY="$WINE_RUN_DISPLAY"; return; fi
  if [ -f "$home/xvfb.pid" ] && kill -0 "$(cat "$home/xvfb.pid")" 2>/dev/null; then
    export DISPLAY=":$(cat "$home/display")"
    return
  fi
  local fifo="$home/displayfd"
  rm -f "$fifo"; mkfifo "$fifo"
  setsid Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$fifo" 9>&- >/dev/null 2>&1 &
  echo $! > "$home/xvfb.pid"
  read -r number < "$fifo"
  rm -f "$fifo"
  echo "$number" > "$home/display"
  export DISPLAY=":$number"
}

# One wine server session serves every run: the first process of a session starts Wine's system
# processes (services, device manager), which is slow and, under emulation, the most fragile
# moment of a run. So the prefix is booted, then a persistent server is started and the session
# is warmed up once, all under the lock; later runs find the session ready.
# A wine server works in a folder named after the prefix's device and inode.
server_alive() {
  local tag pid
  tag="server-$(printf '%x-%x' $(stat -c '%d %i' "$WINEPREFIX"))"
  for pid in $(pgrep wineserver); do
    case "$(readlink "/proc/$pid/cwd" 2>/dev/null)" in */"$tag") return 0 ;; esac
  done
  return 1
}

start_session() {
  wineserver -k 9>&- >/dev/null 2>&1 || true
  wineserver -p 9>&- >/dev/null 2>&1
  timeout 300 "$wine" cmd /c exit 9>&- >>"$home/boot.log" 2>&1 </dev/null || true
}

ensure_booted() {
  if [ ! -f "$WINEPREFIX/.booted" ]; then
    # The boot, the settings and every later run share one persistent session, so Wine's
    # system processes start once.
    mkdir -p "$WINEPREFIX"
    wineserver -k 9>&- >/dev/null 2>&1 || true
    wineserver -p 9>&- >/dev/null 2>&1
    timeout 600 "$wine" wineboot --init >"$home/boot.log" 2>&1 9>&- </dev/null || echo "wineboot did not finish cleanly; see $home/boot.log" >&2
    # Fonts for Chinese dialog texts in screenshots. Cosmetic only: a registry write that hangs
    # under emulation must not stall the boot.
    local key='HKCU\Software\Wine\Fonts\Replacements'
    for face in "SimSun" "宋体" "MS Shell Dlg" "MS Shell Dlg 2"; do
      timeout 60 "$wine" reg add "$key" /v "$face" /d "WenQuanYi Zen Hei" /f >>"$home/boot.log" 2>&1 9>&- </dev/null || true
    done
    touch "$WINEPREFIX/.booted"
  elif ! server_alive; then
    start_session
  fi
}

# A program that ends by an unhandled exception starts Wine's debugger, which on a display shows a
# crash dialog and waits for a click: the run would hang until a test's time-out instead of ending
# with Wine's "Unhandled ..." report. The debugger is told to print and end instead.
ensure_no_crash_dialog() {
  [ -f "$WINEPREFIX/.no-crash-dialog" ] && return 0
  timeout 120 "$wine" reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f \
    >>"$home/boot.log" 2>&1 9>&- </dev/null && touch "$WINEPREFIX/.no-crash-dialog"
}

# Wine ends a desktop about a second after its last program; a program starting in that moment
# gets no window ("The explorer process failed to start") and ends at once. The build names a
# program (uiauto.exe hold-desktop) that holds the desktop open for the session's whole life.
ensure_desktop_holder() {
  local holder pid_file="$home/desktop-holder.pid" pid
  [ -f "$home/desktop-holder" ] || return 0
  holder=$(head -n 1 "$home/desktop-holder")
  [ -f "$holder" ] || return 0
  pid=$(cat "$pid_file" 2>/dev/null || true)
  if [ -n "$pid" ] && grep -q hold-desktop "/proc/$pid/cmdline" 2>/dev/null; then return 0; fi
  setsid "$wine" "$holder" hold-desktop 9>&- >/dev/null 2>&1 </dev/null &
  echo $! >"$pid_file"
}

# scripts/wine_deaths.py judges how the run ended. A program ended by an unhandled exception has
# failed even when Wine's debugger ended it with status 0: the marker line
# "wine-run: unhandled exception: LINE" follows and the status is made non-zero.
# Under the emulator Wine now and then dies by itself; a failed run whose death cannot be ours
# (before the program's own code ran, in a helper that is not under test, or Wine's own plumbing
# after every case passed) gets the marker "wine-run: emulator death (KIND): LINE", and a start-up
# or helper death also a line in $QUENLOR_STARTUP_DEATH_LOG naming the test that was running;
# only those earn a test its one more try. Where 32-bit code runs natively nothing is excused.
judge_run() {
  local out=$1 program=$2 found kind line emulated=0
  [ -f "$home/qemu32" ] && [ "$WINEARCH" = win32 ] && emulated=1
  found=$(/usr/bin/python3 "$here/../../scripts/wine_deaths.py" "$program" "$out" "$status" "$emulated") || return 0
  [ -n "$found" ] || return 0
  kind=${found%%$'\t'*}
  line=${found#*$'\t'}
  if [ "$kind" = unhandled ]; then
    echo "wine-run: unhandled exception: $line"
    [ "$status" -ne 0 ] || status=1
    return 0
  fi
  echo "wine-run: emulator death ($kind): $line"
  if [ "$kind" != teardown ] && [ -n "${QUENLOR_STARTUP_DEATH_LOG:-}" ]; then
    printf '%s\t%s\t%s\n' "${PYTEST_CURRENT_TEST:-$program}" "$(basename "$program")" "$line" >>"$QUENLOR_STARTUP_DEATH_LOG"
  fi
}

# The program's output is passed on as it comes, by this script itself, so that a run a test's
# time limit ends shows how far it got, and a caller that gives up on this script is not held by
# any process of it. WINE_RUN_OUTPUT names a file to collect it in that the caller keeps: the
# programs this one starts inherit its output and go on writing there after it ended (the updater
# a launcher hands over to), where the caller can still judge them.
# A test program prints STARTED_LINE as its very first action (cmake/support/test_program_started.cpp);
# a program whose binary holds that line is watched for it. A start that has not reached the
# program's own code after QUENLOR_FIRST_LINE_WITHIN seconds has hung in Wine's or the emulator's
# start-up: the program is ended and the run says so (scripts/wine_deaths.py judges that line),
# instead of the whole test's time limit passing with nothing to show.
# After an unhandled exception Wine starts its debugger, which prints and ends the program; under
# the emulator it can hang instead, and the test's whole time limit would pass. The run has failed
# either way; a program still there QUENLOR_DEBUGGER_WITHIN seconds later is ended.
STARTED_LINE='[quenlor] test program started'
follow_run() {
  local program=$1 pid=$2 out=$3 within=${QUENLOR_FIRST_LINE_WITHIN:-90} start=$SECONDS watch=0
  [ -f "$program" ] && grep -q -a -F "$STARTED_LINE" "$program" && watch=1
  first_line=0 debugger_since=""
  exec 3<"$out"
  while kill -0 "$pid" 2>/dev/null; do
    pass_on_output
    if [ "$watch" = 1 ] && [ "$first_line" = 0 ] && [ $((SECONDS - start)) -ge "$within" ] &&
       ! grep -q -F "$STARTED_LINE" "$out"; then
      echo "wine-run: no first line within $within s: the start-up hung" >>"$out"
      kill -KILL "$pid" 2>/dev/null || true
      watch=0
    fi
    if [ -n "$debugger_since" ] && [ $((SECONDS - debugger_since)) -ge "${QUENLOR_DEBUGGER_WITHIN:-60}" ]; then
      echo "wine-run: the program was still there ${QUENLOR_DEBUGGER_WITHIN:-60} s after its unhandled exception" >>"$out"
      kill -KILL "$pid" 2>/dev/null || true
      debugger_since=""
    fi
    sleep 0.2
  done
}

# Prints what the program wrote since the last call (a line still being written is printed as
# far as it goes), noting a test program's first line and Wine's start of its debugger.
pass_on_output() {
  local line
  while IFS= read -r -u 3 line; do
    printf '%s\n' "$line"
    line=${line%$'\r'}
    [ "$line" = "$STARTED_LINE" ] && first_line=1
    case "$line" in "wine: Unhandled "*"starting debugger"*) debugger_since=${debugger_since:-$SECONDS} ;; esac
  done
  [ -z "$line" ] || printf '%s' "$line"
}

case "${1:-}" in
  --stop) stop; exit 0 ;;
esac

prepare_qemu_shim
exec 9>"$home/lock"
flock 9
ensure_display
ensure_booted
ensure_no_crash_dialog || true
ensure_desktop_holder
flock -u 9
exec 9>&-

[ "${1:-}" = "--boot" ] && exit 0

# Wine may start its system processes (services, device manager) from this run; they live on
# with whatever output they inherit. Collecting the program's output in a file keeps them off
# the caller's pipes, so a test runner reading this script's output sees it end.
if [ -n "${WINE_RUN_OUTPUT:-}" ]; then
  out=$WINE_RUN_OUTPUT
  : >"$out"
else
  out=$(mktemp "$home/run.XXXXXX")
fi
status=0
"$wine" "$@" >"$out" 2>&1 </dev/null &
program_pid=$!
follow_run "$1" "$program_pid" "$out" 2>/dev/null  # not the shell's own note of a program it ended
wait "$program_pid" 2>/dev/null || status=$?
pass_on_output
exec 3<&-
judge_run "$out" "$1"
[ -n "${WINE_RUN_OUTPUT:-}" ] || rm -f "$out"
exit "$status"
