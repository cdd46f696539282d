"""Two releases published with `qlconfig publish` and served by nginx with the operator's sample
site configuration, taken up by a player's client folder with nothing done by hand in between:
the player's launcher patches the client to the first release; after the second, which brings a
new launcher, its next start brings the files and the configuration naming the new launcher
version, and the start after that hands over to the real updater, which installs the new
launcher, which starts and finds the client current."""
import re
import shutil
import subprocess
import time

import pytest

import client_files as cf
from conftest import ARTIFACTS, BIN, ROOT, Launcher, control
from servers.nginx_server import NginxServer
from servers.sample_client import find_qlconfig
from test_launcher_patching import TIP, install_democlient, snapshot, wait_done

OLD_VERSION, NEW_VERSION = "2022091301", "2022091302"
VERSION_TEXT = 1002
SAMPLE_SITE = ROOT / "kit" / "operator" / "nginx-patch-server.conf"


def launcher_of_version(version, out):
    """The built launcher without its symbols (the updater's progress messages cost much under
    the emulator), with the built-in version given: wide text ending in a 0, found once."""
    subprocess.run(["i686-w64-mingw32-strip", "-o", str(out), str(BIN / "QuenlorLauncher.exe")], check=True)
    program = out.read_bytes()
    built = (NEW_VERSION + "\0").encode("utf-16-le")
    assert program.count(built) == 1
    out.write_bytes(program.replace(built, (version + "\0").encode("utf-16-le")))
    return out


def sample_site():
    """The operator's sample server block, its marked lines set for this loopback server."""
    text = SAMPLE_SITE.read_text()
    text = text.replace("{", "{{").replace("}", "}}")
    text = re.sub(r"listen 80;", "listen 127.0.0.1:{port};", text)
    text = re.sub(r"server_name \S+;", "server_name localhost;", text)
    text = re.sub(r"root /srv/quenlor/patch;", "root {root};", text)
    # Throttled, so that the window can be seen fetching the large file (the guide shows it).
    return text.replace("sendfile on;", "sendfile on;\n    limit_rate 256k;")


def publish(release, server_folder, version, *options):
    result = subprocess.run([find_qlconfig(), "publish", str(release), str(server_folder), "--launcher-version", version]
                            + list(options), capture_output=True, text=True,
                            env={"ASAN_OPTIONS": "detect_leaks=0", "PATH": "/usr/bin:/bin"})
    assert result.returncode == 0, result.stdout + result.stderr
    return result.stdout


def verify(folder, manifest):
    result = subprocess.run([find_qlconfig(), "verify", str(folder), str(manifest)], capture_output=True, text=True,
                            env={"ASAN_OPTIONS": "detect_leaks=0", "PATH": "/usr/bin:/bin"})
    return result.returncode, result.stdout


def make_release(folder, url, launcher, picture, data):
    """An operator's finished client folder: launcher, updater, configuration, picture and data."""
    autopatch = folder / "Image" / "Autopatch"
    autopatch.mkdir(parents=True)
    shutil.copy(launcher, folder / "QuenlorLauncher.exe")
    shutil.copy(BIN / "Renovek.exe", autopatch / "Renovek.exe")
    # The version written here is the players' launcher's: publishing sets the release's own.
    (autopatch / "AutoPatchURL.bin").write_bytes(cf.url_file({
        "UpUrl": url, "HomePage": "about:blank", "ExeName": "democlient.exe", "LunchVer": OLD_VERSION, "Line": "S1",
        "UpLuchUrl": url + "/launcher", "LunchName": "QuenlorLauncher.exe"}))
    (autopatch / "AutoPatchDlg.bin").write_bytes(cf.skin_file())
    (autopatch / "BackGround.bmp").write_bytes(picture)
    install_democlient(folder)
    for path, body in data.items():
        (folder / path).parent.mkdir(parents=True, exist_ok=True)
        (folder / path).write_bytes(body)


def patch_to_done(folder, picture=None):
    """One start of the player's launcher that patches and completes; then it is closed. With
    picture, the window is also saved there while files are being fetched, if that is seen (the
    operator's guide shows it)."""
    launcher = Launcher(folder)
    launcher.start(exe_path=folder / "QuenlorLauncher.exe")
    try:
        launcher.wait_window(120000)
        if picture:
            picture.unlink(missing_ok=True)
            picture.parent.mkdir(parents=True, exist_ok=True)
        end = time.time() + 300
        while picture and not picture.exists() and time.time() < end:
            tip = [c["text"] for c in launcher.uiauto("inspect").get("controls", []) if c["id"] == TIP]
            if tip and tip[0].startswith("需下載數"):
                launcher.uiauto("screenshot", out=cf.windows_path(picture))
            elif tip and tip[0] == "完成":
                break
        return wait_done(launcher, 300)
    finally:
        launcher.stop()


def test_two_releases_reach_a_player_and_the_second_brings_its_launcher(client):
    base = client.parent / (client.name + "-release")
    shutil.rmtree(base, ignore_errors=True)
    base.mkdir()
    old_launcher = launcher_of_version(OLD_VERSION, base / "old-launcher.exe")
    new_launcher_program = launcher_of_version(NEW_VERSION, base / "new-launcher.exe")
    server_folder = base / "server"
    first_picture = cf.background_bmp()
    second_picture = cf.bmp_24(330, 225, lambda x, y: (200, 120 + y // 4, 40))
    first = {"Data/map01.pak": b"map one, release 1" * 3000, "Data/Sound/theme.ogg": b"theme" * 5000}
    # Large enough that the window can be seen fetching it.
    second = {"Data/map01.pak": bytes(range(256)) * 24000, "Data/Sound/theme.ogg": b"theme" * 5000,
              "Data/map02.pak": b"map two" * 2000}

    with NginxServer(server_folder, base / "nginx", site=sample_site()) as nginx:
        # Release 1, made for the launcher the players have.
        make_release(base / "release1", nginx.url, old_launcher, first_picture, first)
        # The player's folder: that launcher and its configuration, an older map, a missing sound.
        shutil.copytree(base / "release1", client, dirs_exist_ok=True)
        (client / "Data" / "map01.pak").write_bytes(b"map one, release 0")
        (client / "Data" / "Sound" / "theme.ogg").unlink()
        publish(base / "release1", server_folder, OLD_VERSION)

        patch_to_done(client)
        assert verify(client, server_folder / "MyUpdata.txt")[0] == 0
        assert not [uri for uri, _, _ in nginx.requests() if uri.startswith("/launcher/")]

        # Release 2 brings the built launcher, whose version is the new one, and a new picture.
        make_release(base / "release2", nginx.url, new_launcher_program, second_picture, second)
        report = publish(base / "release2", server_folder, NEW_VERSION, "--update")
        assert "launcher at launcher/QuenlorLauncher.exe" in report
        assert (base / "server.previous" / "Data" / "map01.pak").read_bytes() == first["Data/map01.pak"]

        # The next start: the old launcher brings the files and the configuration, never itself.
        patch_to_done(client, picture=ARTIFACTS / "launcher-midpatch.bmp")
        status, text = verify(client, server_folder / "MyUpdata.txt")
        assert status == 0, text
        assert (client / "QuenlorLauncher.exe").read_bytes() == old_launcher.read_bytes()

        # The start after that: out of date, so the updater installs the new launcher and starts it.
        served_before = len(nginx.requests())
        launcher = Launcher(client)
        launcher.start(exe_path=client / "QuenlorLauncher.exe")
        try:
            assert launcher.message_box(text="更新功能需要更新，請稍候...", timeout_ms=120000)["found"]
            assert launcher.wait_exit(120)
            assert launcher.uiauto("wait-window", exe="Renovek.exe", timeout=60000)["found"]
            ARTIFACTS.mkdir(parents=True, exist_ok=True)
            launcher.uiauto("screenshot", exe="Renovek.exe",
                            out=cf.windows_path(ARTIFACTS / "updater-window.bmp"))
            assert launcher.uiauto("wait-exit", exe="Renovek.exe", wait=180, timeout=120000)["exited"]
        finally:
            launcher.stop()
            launcher.uiauto("kill", exe="Renovek.exe")
        assert (client / "QuenlorLauncher.exe").read_bytes() == new_launcher_program.read_bytes()

        # The updater started the new launcher: it is current, and it checks the client against release 2.
        new_launcher = Launcher(client)
        Launcher.started.append(new_launcher)
        try:
            state = wait_done(new_launcher, 300)
            assert control(state, VERSION_TEXT)["text"] == NEW_VERSION
        finally:
            new_launcher.uiauto("kill")
        served = [uri.split("?")[0] for uri, status, _ in nginx.requests()[served_before:]]
        assert served[0] == "/launcher/QuenlorLauncher.exe" and "/MyUpdata.txt" in served, served
    status, text = verify(client, server_folder / "MyUpdata.txt")
    assert status == 0, text
    assert snapshot(client)["Image/Autopatch/BackGround.bmp"] == second_picture
