"""The launcher's main job on a sample client: a patch server (nginx on loopback) holds newer
versions of some files and one new file in a sub-folder; the real launcher, started with
"RunClient" under Wine, verifies, downloads, and starts the demo client, which then asks it to
close. Prints what happened and leaves a screenshot taken mid-patch in build/demo/."""
import shutil
import sys
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parents[1]
sys.path.insert(0, str(ROOT / "tests" / "e2e"))
import client_files as cf  # noqa: E402
from servers.nginx_server import NginxServer  # noqa: E402
from servers.sample_client import make_sample, verify, write_url_config  # noqa: E402
from launcher_run import BIN, WineSession, control_text, wine_home  # noqa: E402

DEMO = ROOT / "build" / "demo"
SESSION = WineSession(wine_home(DEMO / "wine"))


def record(client):
    path = client / "democlient.record"
    if not path.exists():
        return {}
    text = path.read_text(encoding="utf-8", errors="replace")
    return dict(line.split("=", 1) for line in text.splitlines() if "=" in line)


def main():
    sample = make_sample(str(DEMO / "sample"), file_size=3 * 1024 * 1024)
    client = Path(sample.client)
    # The launcher never creates folders: the new file's sub-folder ships empty with the client.
    for path in sample.added:
        (client / Path(*path.strip("\\").split("\\"))).parent.mkdir(parents=True, exist_ok=True)
    autopatch = client / "Image" / "Autopatch"
    (autopatch / "AutoPatchDlg.bin").write_bytes(cf.skin_file())
    (autopatch / "BackGround.bmp").write_bytes(cf.background_bmp())
    shutil.copy(BIN / "democlient.exe", client / "democlient.exe")
    (client / "democlient.cfg").write_text("close_after_ms=3000\r\nexit_after_ms=8000\r\n")
    entries = sum(1 for line in open(sample.manifest, "rb").read().split(b"\r\n") if line.count(b"|") == 1)

    with NginxServer(sample.server, str(DEMO / "nginx")) as server:
        write_url_config(str(client), server.url + "", line="Line1")
        shot_bmp = DEMO / "midpatch.bmp"
        shot_bmp.unlink(missing_ok=True)
        started = time.monotonic()
        launcher = SESSION.start([BIN / "QuenlorLauncher.exe", "RunClient"], client)
        client_seen = None
        while time.monotonic() - started < 600:
            if not shot_bmp.exists() and control_text(SESSION.uiauto("inspect", client)).startswith("需下載數"):
                SESSION.uiauto("screenshot", client, out=cf.windows_path(shot_bmp))
            if client_seen is None and record(client).get("state") == "running":
                client_seen = time.monotonic() - started
            if launcher.poll() is not None:
                break
            time.sleep(0.3)
        closed = launcher.poll() is not None
        elapsed = time.monotonic() - started
        if not closed:
            launcher.kill()
        downloads = [(uri, status, size) for uri, status, size in server.requests() if not uri.startswith("/MyUpdata.txt")]

    status, report = verify(str(client), sample.manifest)
    if shot_bmp.exists():
        width, height, rows = cf.read_bmp(shot_bmp.read_bytes())
        (DEMO / "launcher-midpatch.png").write_bytes(cf.png_from_rows(width, height, rows))
    print("files verified:    %d" % entries)
    print("files downloaded:  %d (%s)" % (len(downloads), ", ".join(uri.split("?")[0] for uri, _, _ in downloads)))
    print("bytes downloaded:  %d" % sum(size for _, _, size in downloads))
    print("time:              %.1f s (launcher start to launcher end)" % elapsed)
    print("client started:    %s" % ("yes, after %.1f s, line %r" % (client_seen, bytes.fromhex(record(client).get("line_hex", "")).decode())
                                     if client_seen is not None else "no"))
    print("close word:        %s" % (record(client).get("close_written") or "not written"))
    print("launcher closed:   %s" % ("yes" if closed else "no"))
    print("client folder:     %s" % ("matches the manifest" if status == 0 else "differs:\n" + report))
    print("screenshot:        %s" % (DEMO / "launcher-midpatch.png" if shot_bmp.exists() else "none (patch too fast to catch)"))
    SESSION.run([BIN / "uiauto.exe", "kill", "--exe", "democlient.exe"], client)
    return 0 if closed and client_seen is not None and status == 0 else 1


if __name__ == "__main__":
    sys.exit(main())
