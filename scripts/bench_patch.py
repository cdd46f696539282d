"""End-to-end timings of the launcher's patching under Wine, with the same work done by md5sum,
cat and curl beside them, each the median of RUNS runs:
  verify        VERIFY_MIB in VERIFY_FILES files, all up to date, so the launcher reads and hashes
                every byte; one small missing file listed last shows the pass ended. Warm page
                cache against md5sum; then a cold cache (dropped before every run, where the
                machine allows) against the slower of reading the files (cat) and hashing them
                (md5sum, warm);
  verify small  SMALL_FILES files of 4 to 64 KiB, where per-file costs dominate, against md5sum;
  download      DOWNLOAD_MIB in DOWNLOAD_FILES files from nginx on loopback into a client that has
                none, against curl;
  download 4K   FIXED_FILES files of 4 KiB: the fixed cost of one file.
After each download case per_file_setup_probe.exe takes one of its files apart against the same
server (thread, session, request, larger reads, the whole file without the window, a window update).
Each launcher run's patching is timed from the moment nginx has sent the manifest (the patch thread
starts straight after) to the moment a watcher inside Wine sees its tip show "完成", both by the
system clock; the end-to-end time from its start is printed beside it, and a run with an empty
manifest gives the fixed cost around the patching (Wine start, window, manifest). --compare-with
measures a second launcher build in the same runs (alternating with this one), so a change is
judged against its reference under the same load.
The aims are printed last, each with its figure and whether it was met."""
import argparse
import hashlib
import json
import os
import random
import shutil
import statistics
import subprocess
import sys
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parents[1]
sys.path.insert(0, str(ROOT / "tests" / "e2e"))
import client_files as cf  # noqa: E402
from servers.nginx_server import NginxServer  # noqa: E402
from servers.sample_client import write_url_config  # noqa: E402
from launcher_run import BIN64, TIP, WineSession, wine_home  # noqa: E402

WORK = ROOT / "build" / "bench-patch"
SESSION = WineSession(wine_home(WORK / "wine"))
MIB = 1024 * 1024
KIB = 1024


def prepare_client(client):
    autopatch = client / "Image" / "Autopatch"
    autopatch.mkdir(parents=True, exist_ok=True)
    (autopatch / "AutoPatchDlg.bin").write_bytes(cf.skin_file())
    (autopatch / "BackGround.bmp").write_bytes(cf.background_bmp())


def data_path(index):
    """Manifest path and relative POSIX path of data file `index`: 100 files per folder."""
    folder, name = "D%02d" % (index // 100), "%04d.pak" % index
    return "\\Data\\%s\\%s" % (folder, name), "Data/%s/%s" % (folder, name)


def make_files(root, sizes, seed):
    """One file per entry of sizes under root, kept between runs when already there."""
    marker = root / (".made-%d-%d-%d" % (len(sizes), sum(sizes), seed))
    if marker.exists():
        return
    shutil.rmtree(root, ignore_errors=True)
    for index, size in enumerate(sizes):
        target = root / data_path(index)[1]
        target.parent.mkdir(parents=True, exist_ok=True)
        target.write_bytes(os.urandom(size))
    marker.touch()


def small_sizes(count):
    """4 to 64 KiB each, the same list in every run."""
    chooser = random.Random(22)
    return [chooser.randint(4 * KIB, 64 * KIB) for _ in range(count)]


def manifest_text(lines):
    return ("\r\n".join(lines) + "\r\n").encode("ascii") if lines else b""


DEATHS = []  # runs tried again because the launcher ended early


class LauncherDied(RuntimeError):
    pass


def time_launcher(exe, client, server, limit):
    """(seconds from the launcher's start until its tip shows "完成", seconds of the patching work
    alone). The work begins when nginx has sent the manifest, as the launcher starts its patch
    thread straight after reading it (the time stamp of the manifest's line in nginx's log), and
    ends when a watcher inside Wine first sees "完成" (its look's time by the same system clock).
    The tip's first text, "文件查驗中...", is no start mark: the window answers the watcher only
    once it is shown, and a short pass is over by then."""
    write_url_config(str(client), server.url, line="Bench")
    ready = WORK / "watcher.ready"
    ready.unlink(missing_ok=True)
    watch = [SESSION.bin / "uiauto.exe", "watch-text", "--exe", "QuenlorLauncher.exe", "--id", str(TIP),
             "--until", "完成", "--timeout", str(limit * 1000), "--ready", cf.windows_path(ready)]
    watcher = SESSION.start(watch, client, stdout=subprocess.PIPE)
    # The launcher starts only once the watcher has taken its first look, however long the
    # watcher's own start takes on a loaded machine, so the end-to-end time is the launcher's.
    wait_ready = time.monotonic() + 300
    while not ready.exists():
        if watcher.poll() is not None or time.monotonic() > wait_ready:
            watcher.kill()
            watcher.wait(30)
            raise RuntimeError("the watcher did not start (status %r)" % watcher.poll())
        time.sleep(0.1)
    served_before = len(server.request_times())
    started = time.monotonic()
    launcher = SESSION.start([exe], client)
    try:
        deadline = time.monotonic() + limit + 120
        while True:
            try:
                out, _ = watcher.communicate(timeout=2)
                break
            except subprocess.TimeoutExpired:
                # A launcher that ended before "完成" (under the emulator Wine dies at start-up now
                # and then) leaves the watcher waiting: that run is tried again.
                if launcher.poll() is not None or time.monotonic() > deadline:
                    raise LauncherDied("the launcher ended before 完成 (status %r)" % launcher.poll())
        elapsed = time.monotonic() - started
        lines = [line[line.find('{"'):] for line in out.splitlines() if '{"' in line]
        state = json.loads(lines[-1]) if lines else {}
        if not state.get("found"):
            raise RuntimeError("the launcher did not reach 完成 within %d s" % limit)
        # nginx logs a request after sending its answer: a client may hold the whole manifest
        # before its line is there, so the line is waited for, bounded.
        log_deadline = time.monotonic() + 10
        while True:
            manifest_sent = [at for uri, at in server.request_times()[served_before:] if uri == "/MyUpdata.txt"]
            if manifest_sent or time.monotonic() > log_deadline:
                break
            time.sleep(0.05)
        if len(manifest_sent) != 1:
            raise RuntimeError("expected one manifest request in this run, nginx logged %d" % len(manifest_sent))
        return elapsed, state["unix_ms"][-1] / 1000.0 - manifest_sent[0]
    finally:
        if watcher.poll() is None:
            watcher.kill()
            watcher.wait(30)
        SESSION.uiauto("kill", client)
        launcher.wait(60)


def timed(command, cwd):
    started = time.monotonic()
    result = subprocess.run(command, cwd=cwd, capture_output=True)
    if result.returncode != 0:
        raise RuntimeError("%s failed: %s" % (command[0], result.stderr.decode(errors="replace")[-500:]))
    return time.monotonic() - started, result.stdout


def thirty_two_bit_runner():
    """The emulator that runs Wine's 32-bit code when the kernel does not (setup.sh registers it)."""
    entry = Path("/proc/sys/fs/binfmt_misc/quenlor-i386-exec")
    if not entry.exists():
        return "native"
    interpreter = next((line.split(None, 1)[1] for line in entry.read_text().splitlines()
                        if line.startswith("interpreter ")), "")
    try:
        return subprocess.run([interpreter, "--version"], capture_output=True, text=True).stdout.splitlines()[0]
    except (OSError, IndexError):
        return "an emulator (%s)" % interpreter


def drop_page_cache():
    """True when the machine let us drop its page cache (root, a writable /proc/sys)."""
    try:
        os.sync()
        with open("/proc/sys/vm/drop_caches", "w") as control:
            control.write("1\n")
        return True
    except OSError:
        return False


def warm(client, relative):
    for path in relative:
        (client / path).read_bytes()


class Bench:
    def __init__(self, launchers, runs):
        self.launchers = launchers  # [(label, exe)], the first is the build under test
        self.runs = runs
        self.fixed = {}
        self.results = {}  # case -> {"size", "files", label: seconds beyond the fixed cost, tool: seconds}

    def each_launcher(self, run_once, runs=None):
        """run_once(exe) -> (end to end, work) for every launcher, RUNS times, alternating:
        medians per label of both."""
        times = {label: [] for label, _ in self.launchers}
        for _ in range(runs or self.runs):
            for label, exe in self.launchers:
                for attempt in range(3):
                    try:
                        times[label].append(run_once(exe))
                        break
                    except LauncherDied as died:
                        DEATHS.append("%s: %s" % (label, died))
                        if attempt == 2:
                            raise
        medians = {}
        for label, values in times.items():
            medians[label] = (statistics.median(e for e, _ in values), statistics.median(w for _, w in values))
        return medians

    def fixed_cost(self, base):
        server_root = base / "empty-server"
        server_root.mkdir(parents=True, exist_ok=True)
        (server_root / "MyUpdata.txt").write_bytes(b"")
        client = base / "empty-client"
        prepare_client(client)
        with NginxServer(server_root, base / "nginx-empty") as server:
            # Printed for orientation only (the aims use the patching time): one run each.
            self.fixed = self.each_launcher(lambda exe: time_launcher(exe, client, server, 300), runs=1)
        for label, (seconds, _) in self.fixed.items():
            print("fixed cost, %s (empty manifest, start to 完成): %.1f s" % (label, seconds))

    def record(self, case, size, files, launcher_seconds, references):
        """launcher_seconds: label -> (end to end, work); the work time is what counts."""
        entry = {"size": size, "files": files}
        for label, (_, work) in launcher_seconds.items():
            entry[label] = max(work, 1e-3)
        entry.update(references)
        self.results[case] = entry
        print("%s (%d files, %.1f MiB):" % (case, files, size / MIB))
        for label, _ in self.launchers:
            print("  launcher %-7s %6.1f s end to end, %6.1f s of patching (%.1f MiB/s, %.1f ms a file)" %
                  (label, launcher_seconds[label][0], entry[label], size / MIB / entry[label],
                   entry[label] * 1000 / files))
        for tool, seconds in references.items():
            print("  %-16s %6.1f s (%.1f MiB/s)" % (tool, seconds, size / MIB / max(seconds, 1e-3)))
        if len(self.launchers) > 1:
            print("  this/compare time: %.2f" % (entry[self.launchers[0][0]] / entry[self.launchers[1][0]]))
        sys.stdout.flush()

    def verify(self, base, case, sizes, cold):
        client = base / ("verify-%d-%d" % (len(sizes), sum(sizes)))
        make_files(client, sizes, 1)
        prepare_client(client)
        relative = [data_path(i)[1] for i in range(len(sizes))]
        warm(client, relative)
        md5sum_times, out = [], b""
        for _ in range(self.runs):
            seconds, out = timed(["md5sum", "--"] + relative, client)
            md5sum_times.append(seconds)
        digests = dict(line.split(b"  ", 1)[::-1] for line in out.splitlines())
        lines = ["%s|%s" % (data_path(i)[0], digests[relative[i].encode()].decode().upper()) for i in range(len(sizes))]
        # One small file the client lacks, listed last: fetched only once every other entry passed.
        server_root = base / "verify-server"
        server_root.mkdir(parents=True, exist_ok=True)
        marker = b"listed last\r\n"
        (server_root / "last.txt").write_bytes(marker)
        lines.append("\\last.txt|%s" % hashlib.md5(marker).hexdigest().upper())
        (server_root / "MyUpdata.txt").write_bytes(manifest_text(lines))
        references = {"md5sum (warm)": statistics.median(md5sum_times)}
        if cold:
            cat_times = []
            for _ in range(self.runs):
                drop_page_cache()
                cat_times.append(timed(["cat", "--"] + relative, client)[0])
            references["cat (cold)"] = statistics.median(cat_times)

        with NginxServer(server_root, base / "nginx-verify") as server:
            def run_once(exe):
                (client / "last.txt").unlink(missing_ok=True)
                if cold:
                    drop_page_cache()
                else:
                    warm(client, relative)
                timing = time_launcher(exe, client, server, 3600)
                fetched = [uri.split("?")[0] for uri, _, _ in server.requests() if not uri.startswith("/MyUpdata.txt")]
                if fetched[-1:] != ["/last.txt"] or (client / "last.txt").read_bytes() != marker:
                    raise RuntimeError("expected only the last entry fetched, got %r" % fetched[:5])
                return timing
            medians = self.each_launcher(run_once)
        self.record(case, sum(sizes), len(sizes), medians, references)

    def download(self, base, case, sizes):
        server_root = base / ("download-%d-%d" % (len(sizes), sum(sizes)))
        make_files(server_root, sizes, 2)
        lines = []
        for i in range(len(sizes)):
            data = (server_root / data_path(i)[1]).read_bytes()
            lines.append("%s|%s" % (data_path(i)[0], hashlib.md5(data).hexdigest().upper()))
        (server_root / "MyUpdata.txt").write_bytes(manifest_text(lines))
        client = base / "download-client"
        curl_dir = base / "download-curl"
        with NginxServer(server_root, base / "nginx-download") as server:
            def run_once(exe):
                shutil.rmtree(client, ignore_errors=True)
                prepare_client(client)
                for i in range(len(sizes)):     # the launcher never creates folders
                    (client / data_path(i)[1]).parent.mkdir(parents=True, exist_ok=True)
                timing = time_launcher(exe, client, server, 3600)
                wrong = [i for i in range(len(sizes))
                         if (client / data_path(i)[1]).read_bytes() != (server_root / data_path(i)[1]).read_bytes()]
                if wrong:
                    raise RuntimeError("%d downloaded files differ from the server's" % len(wrong))
                return timing
            medians = self.each_launcher(run_once)
            curl_times = []
            for _ in range(self.runs):
                shutil.rmtree(curl_dir, ignore_errors=True)
                curl_dir.mkdir()
                command = ["curl", "-s", "-f", "--create-dirs"]
                for i in range(len(sizes)):
                    command += ["-o", data_path(i)[1], "%s/%s?abc=%d" % (server.url, data_path(i)[1], i)]
                curl_times.append(timed(command, curl_dir)[0])
            parts = self.probe_file_parts(server.url + "/" + data_path(0)[1], len(sizes))
        self.record(case, sum(sizes), len(sizes), medians, {"curl": statistics.median(curl_times)})
        for line in parts:
            print("  " + line)

    def probe_file_parts(self, url, count):
        """One file's cost taken apart by per_file_setup_probe.exe, COUNT times each part."""
        result = SESSION.run([SESSION.bin / "per_file_setup_probe.exe", url, str(count)], WORK, timeout=3600)
        lines = [line for line in result.stdout.splitlines() if line.startswith("probe ")]
        if result.returncode != 0 or not lines:
            raise RuntimeError("per_file_setup_probe failed: %s" % (result.stdout + result.stderr)[-500:])
        return lines

    def aims(self, cold_asked, cold_allowed):
        label = self.launchers[0][0]
        print("\naims (%s build; medians of %d runs):" % (label, self.runs))

        def line(text, figure, met):
            print("  %-62s %-28s %s" % (text, figure, "met" if met else "NOT met"))

        def compare(case, reference, limit, text):
            entry = self.results.get(case)
            if not entry:
                return
            if callable(reference):
                ref = reference(entry)
            else:
                ref = entry[reference]
            ratio = entry[label] / max(ref, 1e-3)
            line(text, "%.2fx (%.1f s / %.1f s)" % (ratio, entry[label], ref), ratio <= limit)

        compare("verify", "md5sum (warm)", 1.2, "verify, warm cache: at most 1.2x md5sum")
        if "verify cold" in self.results:
            compare("verify cold", lambda e: max(e["cat (cold)"], e["md5sum (warm)"]), 1.2,
                    "verify, cold cache: at most 1.2x the slower of read and hash")
        elif cold_asked and not cold_allowed:
            print("  verify, cold cache: not measured, this machine does not let us drop the page cache")
        else:
            print("  verify, cold cache: not measured (--cold runs it)")
        compare("verify small", "md5sum (warm)", 1.2, "verify small files: at most 1.2x md5sum")
        entry = self.results.get("download")
        if entry:
            rate = entry["size"] / MIB / entry[label]
            line("download on loopback: at least 100 MiB/s", "%.1f MiB/s" % rate, rate >= 100)
        entry = self.results.get("download 4K")
        if entry:
            per_file = entry[label] * 1000 / entry["files"]
            line("download fixed cost: at most 20 ms a file", "%.1f ms a file" % per_file, per_file <= 20)
        sys.stdout.flush()


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--verify-files", type=int, default=2000)
    parser.add_argument("--verify-mib", type=int, default=2048)
    parser.add_argument("--small-files", type=int, default=20000, help="files of 4 to 64 KiB verified; 0: none")
    parser.add_argument("--download-files", type=int, default=100)
    parser.add_argument("--download-mib", type=int, default=200)
    parser.add_argument("--fixed-files", type=int, default=1000, help="files of 4 KiB downloaded; 0: none")
    parser.add_argument("--runs", type=int, default=3, help="runs of every case; the median counts")
    parser.add_argument("--cold", action="store_true", help="also verify with the page cache dropped before each run")
    parser.add_argument("--x86-64", dest="x86_64", action="store_true",
                        help="measure the launcher's x86-64 build (preset windows64) in a 64-bit prefix, where Wine "
                             "runs it without the emulator: the figures of real hardware on a kernel without 32-bit code")
    parser.add_argument("--launcher", metavar="EXE", default=None,
                        help="the QuenlorLauncher.exe measured (default: the Windows build's)")
    parser.add_argument("--compare-with", metavar="EXE", help="another QuenlorLauncher.exe measured in the same runs")
    parser.add_argument("--only", nargs="*", default=None,
                        help="cases to run: verify, verify-small, download, download-4k (default all)")
    args = parser.parse_args()
    global SESSION
    if args.x86_64:
        SESSION = WineSession(WORK / "wine64", bin=BIN64)  # a 32-bit prefix cannot hold it
    launchers = [("this", Path(args.launcher or SESSION.bin / "QuenlorLauncher.exe").resolve())]
    if args.compare_with:
        launchers.append(("compare", Path(args.compare_with).resolve()))
    wanted = set(args.only or ["verify", "verify-small", "download", "download-4k"])
    cold_allowed = args.cold and drop_page_cache()
    if args.cold and not cold_allowed:
        print("the page cache cannot be dropped on this machine: no cold-cache runs")
    print("machine: %s, %d cores, load %.1f; %s; 32-bit code: %s; launcher: %s" % (
        os.uname().machine, os.cpu_count(), os.getloadavg()[0], time.strftime("%Y-%m-%d %H:%M UTC", time.gmtime()),
        thirty_two_bit_runner(), "x86-64 build, no emulator" if args.x86_64 else "the shipped 32-bit build"))
    WORK.mkdir(parents=True, exist_ok=True)
    bench = Bench(launchers, max(args.runs, 1))
    SESSION.boot()
    try:
        bench.fixed_cost(WORK)
        if "verify" in wanted:
            per_file = args.verify_mib * MIB // args.verify_files
            bench.verify(WORK, "verify", [per_file] * args.verify_files, cold=False)
            if cold_allowed:
                bench.verify(WORK, "verify cold", [per_file] * args.verify_files, cold=True)
        if "verify-small" in wanted and args.small_files > 0:
            bench.verify(WORK, "verify small", small_sizes(args.small_files), cold=False)
        if "download" in wanted:
            bench.download(WORK, "download", [args.download_mib * MIB // args.download_files] * args.download_files)
        if "download-4k" in wanted and args.fixed_files > 0:
            bench.download(WORK, "download 4K", [4 * KIB] * args.fixed_files)
        bench.aims(args.cold, cold_allowed)
    finally:
        SESSION.stop()
    print("load at the end: %.1f; launcher runs tried again: %d%s" % (
        os.getloadavg()[0], len(DEATHS), "".join("\n  " + death for death in DEATHS)))
    return 0


if __name__ == "__main__":
    sys.exit(main())
