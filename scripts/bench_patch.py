"""End-to-end timings of the launcher's patching under Wine, with the same work done by md5sum and
curl beside them:
  verify    a client folder of VERIFY_MIB in VERIFY_FILES files, all up to date, so the launcher
            reads and hashes every byte; one small missing file listed last shows the pass ended;
  download  DOWNLOAD_MIB in DOWNLOAD_FILES files from nginx on loopback into a client that has none.
Each launcher run is timed from its start until its tip shows "完成". A run with an empty manifest
gives the fixed cost (Wine start, window, manifest fetch, the watcher's own start), printed apart
and subtracted for the throughput figures."""
import argparse
import hashlib
import os
import shutil
import subprocess
import sys
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parents[1]
sys.path.insert(0, str(ROOT / "tests" / "e2e"))
import client_files as cf  # noqa: E402
from servers.nginx_server import NginxServer  # noqa: E402
from servers.sample_client import write_url_config  # noqa: E402
from launcher_run import BIN, TIP, WineSession, wine_home  # noqa: E402

WORK = ROOT / "build" / "bench-patch"
SESSION = WineSession(wine_home(WORK / "wine"))
MIB = 1024 * 1024


def prepare_client(client):
    autopatch = client / "Image" / "Autopatch"
    autopatch.mkdir(parents=True, exist_ok=True)
    (autopatch / "AutoPatchDlg.bin").write_bytes(cf.skin_file())
    (autopatch / "BackGround.bmp").write_bytes(cf.background_bmp())


def data_path(index):
    """Manifest path and relative POSIX path of data file `index`: 100 files per folder."""
    folder, name = "D%02d" % (index // 100), "%04d.pak" % index
    return "\\Data\\%s\\%s" % (folder, name), "Data/%s/%s" % (folder, name)


def make_files(root, count, size, seed):
    """count files of size bytes under root, kept between runs when already there."""
    marker = root / (".made-%d-%d-%d" % (count, size, seed))
    if marker.exists():
        return
    shutil.rmtree(root, ignore_errors=True)
    for index in range(count):
        target = root / data_path(index)[1]
        target.parent.mkdir(parents=True, exist_ok=True)
        target.write_bytes(os.urandom(size))
    marker.touch()


def manifest_text(lines):
    return ("\r\n".join(lines) + "\r\n").encode("ascii") if lines else b""


def time_launcher(client, url, limit):
    """Seconds from the launcher's start until its tip shows "完成"."""
    write_url_config(str(client), url, line="Bench")
    started = time.monotonic()
    launcher = SESSION.start([BIN / "QuenlorLauncher.exe"], client)
    try:
        state = SESSION.uiauto("wait-text", client, wait=limit + 60, id=TIP, text="完成", timeout=limit * 1000)
        elapsed = time.monotonic() - started
        if not state.get("found"):
            raise RuntimeError("the launcher did not reach 完成 within %d s" % limit)
        return elapsed
    finally:
        SESSION.uiauto("kill", client)
        launcher.wait(60)


def timed(command, cwd):
    started = time.monotonic()
    result = subprocess.run(command, cwd=cwd, capture_output=True)
    if result.returncode != 0:
        raise RuntimeError("%s failed: %s" % (command[0], result.stderr.decode(errors="replace")[-500:]))
    return time.monotonic() - started, result.stdout


def fixed_cost(base, runs):
    server_root = base / "empty-server"
    server_root.mkdir(parents=True, exist_ok=True)
    (server_root / "MyUpdata.txt").write_bytes(b"")
    client = base / "empty-client"
    prepare_client(client)
    with NginxServer(server_root, base / "nginx-empty") as server:
        return min(time_launcher(client, server.url, 300) for _ in range(runs))


def verify_run(base, files, mib, fixed):
    client = base / "verify-client"
    size = mib * MIB // files
    make_files(client, files, size, 1)
    prepare_client(client)
    relative = [data_path(i)[1] for i in range(files)]
    for path in relative:                       # both readers start from a warm page cache
        (client / path).read_bytes()
    md5sum_seconds, out = timed(["md5sum", "--"] + relative, client)
    digests = dict(line.split(b"  ", 1)[::-1] for line in out.splitlines())
    lines = ["%s|%s" % (data_path(i)[0], digests[relative[i].encode()].decode().upper()) for i in range(files)]
    # One small file the client lacks, listed last: fetched only once every other entry passed.
    server_root = base / "verify-server"
    server_root.mkdir(parents=True, exist_ok=True)
    marker = b"listed last\r\n"
    (server_root / "last.txt").write_bytes(marker)
    (client / "last.txt").unlink(missing_ok=True)
    lines.append("\\last.txt|%s" % hashlib.md5(marker).hexdigest().upper())
    (server_root / "MyUpdata.txt").write_bytes(manifest_text(lines))
    with NginxServer(server_root, base / "nginx-verify") as server:
        seconds = time_launcher(client, server.url, 3600)
        fetched = [uri.split("?")[0] for uri, _, _ in server.requests() if not uri.startswith("/MyUpdata.txt")]
    if fetched != ["/last.txt"] or (client / "last.txt").read_bytes() != marker:
        raise RuntimeError("expected only the last entry fetched, got %r" % fetched[:5])
    report("verify %d files, %d MiB" % (files, files * size // MIB), files * size, seconds, fixed,
           "md5sum", md5sum_seconds)


def download_run(base, files, mib, fixed):
    size = mib * MIB // files
    server_root = base / "download-server"
    make_files(server_root, files, size, 2)
    lines = []
    for i in range(files):
        data = (server_root / data_path(i)[1]).read_bytes()
        lines.append("%s|%s" % (data_path(i)[0], hashlib.md5(data).hexdigest().upper()))
    (server_root / "MyUpdata.txt").write_bytes(manifest_text(lines))
    client = base / "download-client"
    shutil.rmtree(client, ignore_errors=True)
    prepare_client(client)
    for i in range(files):                      # the launcher never creates folders
        (client / data_path(i)[1]).parent.mkdir(parents=True, exist_ok=True)
    curl_dir = base / "download-curl"
    shutil.rmtree(curl_dir, ignore_errors=True)
    curl_dir.mkdir()
    with NginxServer(server_root, base / "nginx-download") as server:
        seconds = time_launcher(client, server.url, 3600)
        command = ["curl", "-s", "-f", "--create-dirs"]
        for i in range(files):
            command += ["-o", data_path(i)[1], "%s/%s?abc=%d" % (server.url, data_path(i)[1], i)]
        curl_seconds, _ = timed(command, curl_dir)
    wrong = [i for i in range(files)
             if (client / data_path(i)[1]).read_bytes() != (server_root / data_path(i)[1]).read_bytes()]
    if wrong:
        raise RuntimeError("%d downloaded files differ from the server's" % len(wrong))
    report("download %d files, %d MiB" % (files, files * size // MIB), files * size, seconds, fixed,
           "curl", curl_seconds)


def report(what, size, seconds, fixed, tool, tool_seconds):
    net = max(seconds - fixed, 1e-3)
    print("%s:" % what)
    print("  launcher under Wine: %.1f s end to end, %.1f s beyond the fixed cost (%.1f MiB/s)" %
          (seconds, net, size / MIB / net))
    print("  %-6s natively:    %.1f s (%.1f MiB/s); launcher/%s time %.1fx" %
          (tool, tool_seconds, size / MIB / tool_seconds, tool, net / tool_seconds))
    sys.stdout.flush()


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--verify-files", type=int, default=2000)
    parser.add_argument("--verify-mib", type=int, default=2048)
    parser.add_argument("--download-files", type=int, default=100)
    parser.add_argument("--download-mib", type=int, default=200)
    parser.add_argument("--fixed-cost-runs", type=int, default=2, help="empty-manifest runs; the fastest counts")
    args = parser.parse_args()
    WORK.mkdir(parents=True, exist_ok=True)
    SESSION.boot()
    try:
        fixed = fixed_cost(WORK, max(args.fixed_cost_runs, 1))
        print("fixed cost (empty manifest, start to 完成): %.1f s" % fixed)
        verify_run(WORK, args.verify_files, args.verify_mib, fixed)
        download_run(WORK, args.download_files, args.download_mib, fixed)
    finally:
        SESSION.stop()
    return 0


if __name__ == "__main__":
    sys.exit(main())
