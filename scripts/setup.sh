#!/usr/bin/env bash
# Installs everything the builds, tests, demo and benchmarks need. Idempotent: when every
# package, the locale and the 32-bit execution support are present it returns within seconds.
set -euo pipefail
# A caller that has just run this check and runs several commands that each start with it (the
# README smoke test) says so.
[ "${QUENLOR_SETUP_CHECKED:-0}" = 1 ] && exit 0

SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"

packages=(
  cmake make pkg-config file strace
  g++-mingw-w64-i686 gcc-mingw-w64-i686 mingw-w64-i686-dev binutils-mingw-w64-i686
  gcc-multilib g++-multilib googletest libglm-dev
  xvfb xauth imagemagick locales fonts-wqy-zenhei
  nginx curl python3-pytest python3-pytest-rerunfailures python3-pyftpdlib valgrind
  wine wine64 wine32:i386 libgtest-dev:i386 libbenchmark-dev:i386 libssl-dev:i386
  # The x86-64 benchmark build (bench64) measures the same hot paths as real-hardware code.
  libgtest-dev:amd64 libbenchmark-dev:amd64 libssl-dev:amd64
  # The release kit: the Microsoft-format import library (lld-link) and its checks (llvm-readobj,
  # llvm-nm, clang for a program linked through it).
  lld-14 llvm-14 clang-14
  # The launcher's x86-64 measuring build (preset windows64, bench_patch.sh --x86-64).
  g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix
)

# apt_install [APT OPTIONS] PACKAGE...: a mirror caught mid-sync fails one index file now and
# then; the install is what must succeed, so the index is fetched up to three times, a partial
# index is only a warning, and a failed install fetches it again before its next try.
apt_install() {
  export DEBIAN_FRONTEND=noninteractive
  local attempt
  for attempt in 1 2 3; do
    $SUDO apt-get update -qq && break
    echo "setup: package index incomplete (try $attempt of 3)"; sleep 10
  done
  for attempt in 1 2 3; do
    $SUDO apt-get install -y -qq --no-install-recommends "$@" >/dev/null && return 0
    [ "$attempt" -lt 3 ] || { echo "setup: installing $* failed" >&2; exit 1; }
    echo "setup: install failed (try $attempt of 3), fetching the index again"; sleep 10
    $SUDO apt-get update -qq || true
  done
}

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  dpkg --print-foreign-architectures | grep -qx i386 || $SUDO dpkg --add-architecture i386
  apt_install "${missing[@]}"
fi

# The posix thread model gives the cross compiler std::thread and std::mutex.
for tool in gcc g++; do
  if [ "$(readlink -f /usr/bin/i686-w64-mingw32-$tool)" != "$(readlink -f /usr/bin/i686-w64-mingw32-$tool-posix)" ]; then
    $SUDO update-alternatives --set i686-w64-mingw32-$tool /usr/bin/i686-w64-mingw32-$tool-posix >/dev/null
  fi
done

# Wine takes its ANSI code page from the process's locale: zh_CN.UTF-8 gives 936, as on the
# players' Chinese systems; en_US.UTF-8 gives 1252, a Western system; hi_IN.UTF-8, a locale
# without an ANSI code page of its own, gives 65001 (UTF-8). The last two serve the tests that
# run the launcher on other code pages.
for name in zh_CN en_US hi_IN; do
  if ! locale -a 2>/dev/null | grep -qi "^$name.utf8\$"; then
    $SUDO sed -i "s/^# *$name.UTF-8 UTF-8/$name.UTF-8 UTF-8/" /etc/locale.gen
    grep -q "^$name.UTF-8 UTF-8" /etc/locale.gen || echo "$name.UTF-8 UTF-8" | $SUDO tee -a /etc/locale.gen >/dev/null
    locale_missing=1
  fi
done
if [ -n "${locale_missing:-}" ]; then $SUDO locale-gen >/dev/null; fi

# Some kernels of this machine kind boot with 32-bit execution switched off ("32-bit emulation
# disabled"). Then every i386 ELF (Wine's 32-bit loader, the native -m32 tests) is handed to
# qemu's user-mode emulator through binfmt_misc. The emulator comes from bookworm-backports (10.x):
# with bookworm's own 7.2, threads of one Wine process that ended while others started and used
# sockets broke Wine's pipes to its server now and then ("wine client error", a stack smashed in
# Wine's code, a signal 11), with plain Winsock threads and none of our code; 10.x runs the same
# programs clean.
probe=$(mktemp -d)
trap 'rm -rf "$probe"' EXIT
echo 'int main(void){return 0;}' > "$probe/p.c"
gcc -m32 -static -o "$probe/p32" "$probe/p.c"
misc=/proc/sys/fs/binfmt_misc
emulator=/usr/bin/qemu-i386
if ! "$probe/p32" 2>/dev/null || [ -e "$misc/quenlor-i386-exec" ]; then
  if ! "$emulator" --version 2>/dev/null | grep -Eq 'version (1[0-9])\.'; then
    echo "setup: installing qemu's i386 user-mode emulator from bookworm-backports"
    backports=/etc/apt/sources.list.d/quenlor-bookworm-backports.list
    [ -f "$backports" ] ||
      echo "deb http://deb.debian.org/debian bookworm-backports main" | $SUDO tee "$backports" >/dev/null
    apt_install -t bookworm-backports qemu-user
  fi
  [ -e "$misc/register" ] || $SUDO mount -t binfmt_misc binfmt_misc "$misc"
  # The F flag makes the kernel hold the emulator file open from registration on, so an entry
  # made for an older emulator is made again for this one.
  magic='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00'
  mask='\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'
  for entry in exec:'\x02' dyn:'\x03'; do
    name=quenlor-i386-${entry%%:*} type=${entry#*:}
    grep -qsx "interpreter $emulator" "$misc/$name" && continue
    [ -e "$misc/$name" ] && echo -1 | $SUDO tee "$misc/$name" >/dev/null
    echo ":$name:M::${magic}${type}\x00\x03\x00:${mask}:$emulator:F" | $SUDO tee "$misc/register" >/dev/null
  done
  "$probe/p32" || { echo "setup: 32-bit programs still cannot run" >&2; exit 1; }
  echo "setup: 32-bit programs run through $("$emulator" --version | head -n 1)"
fi

echo "setup: ready"
