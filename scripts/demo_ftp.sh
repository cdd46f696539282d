#!/usr/bin/env bash
# The FTP part of the demo: pyftpdlib on loopback, Nimbrel.dll registered in the demo's Wine
# prefix, and the sample client ftpget listing a folder and resuming a partial download, which is
# then compared byte for byte with the server's file.
#   scripts/demo_ftp.sh WINE_HOME
set -euo pipefail
cd "$(dirname "$0")/.."
home=$1
run=cmake/wine/wine-run.sh
bin=build/windows/bin
state=build/demo/ftp
peers=ftpcomponent/asyncftp/tests/ftp_servers.py
trap '/usr/bin/python3 "$peers" stop "$state" >/dev/null 2>&1 || true' RETURN EXIT
/usr/bin/python3 "$peers" start "$state" >/dev/null
read -r port _ < "$state/ports"
winpath() { echo "Z:$(realpath "$1" | tr / '\\')"; }
"$run" --home "$home" regsvr32 /s "$(winpath $bin/Nimbrel.dll)"

# A partial local copy: the first 300000 bytes, as a cut-off earlier download would leave it.
local_dir=build/demo/ftp-download
rm -rf "$local_dir" && mkdir -p "$local_dir"
head -c 300000 "$state/root/big.bin" > "$local_dir/big.bin"
echo "FTP: listing /many and resuming big.bin from 300000 bytes (REST 299008) on port $port"
out=$("$run" --home "$home" "$bin/ftpget.exe" --user quenlor --password secret --resume "127.0.0.1:$port" \
      list "many/file0*" get big.bin "$(winpath "$local_dir/big.bin")" | tr -d '\r') || true
grep -v '^progress' <<<"$out"
echo "progress reports: $(grep -c '^progress' <<<"$out")"
if cmp -s "$local_dir/big.bin" "$state/root/big.bin"; then
  echo "FTP: the resumed file matches the server's byte for byte ($(stat -c %s "$local_dir/big.bin") bytes)"
else
  echo "FTP: the resumed file differs from the server's"; exit 1
fi
