"""The self-update cycle under Wine: an outdated launcher hands off to the real Renovek.exe, which
fetches the new launcher (the demo client stands in for it and records how it was started) and,
when that takes longer than five seconds, the background picture; then starts the launcher again,
once, and only when the launcher itself was written. Whatever ends a download early, the local
files keep their old bytes and no temporary file is left."""
import shutil
import subprocess

import pytest

import client_files as cf
from conftest import BIN, Launcher, judge_program_end, wait_for
from servers.fault_server import CutOff, Gate, Ok, Reset, Slow, Status
from test_launcher_patching import STAGED_SUFFIX, read_record, snapshot, write_client

OLD_LAUNCHER = b"MZ old launcher bytes" * 100
OLD_PICTURE = b"BM old picture"


@pytest.fixture
def game_folder(client):
    """A client folder with spaces in its name, the real updater and an outdated launcher copy."""
    folder = client / "Client With Spaces"
    autopatch = folder / "Image" / "Autopatch"
    autopatch.mkdir(parents=True)
    shutil.copy(BIN / "Renovek.exe", autopatch / "Renovek.exe")
    (folder / "QuenlorLauncher.exe").write_bytes(OLD_LAUNCHER)
    # The stand-in for the new launcher ends by itself, so its "ClientRun" does not outlive the test.
    (folder / "democlient.cfg").write_text("exit_after_ms=4000\r\n")
    return folder


def hand_off(folder, server, timeout=90, extra=None):
    """Runs the outdated launcher, answers its prompt, and waits until the updater has ended. The
    driver returned tells how the updater ended: `updater_end`, for a failed check's message."""
    write_client(folder, server.url, lunch_ver="2022091301", extra=extra)
    (folder / "Image" / "Autopatch" / "BackGround.bmp").write_bytes(OLD_PICTURE)
    # The updater inherits the launcher's output and writes on into it after the launcher ended.
    output = folder.parent / "handoff-output.txt"

    def printed():
        return output.read_text(encoding="utf-8", errors="replace") if output.exists() else ""

    launcher = Launcher(folder)
    try:
        launcher.start(output=output)
        box = launcher.message_box(text="更新功能需要更新，請稍候...")
        assert box["found"], box
        assert launcher.wait_exit(60)
        shown = launcher.uiauto("wait-window", exe="Renovek.exe", timeout=90000)
        assert shown["found"], (shown, printed()[-1500:])
        ended = launcher.uiauto("wait-exit", exe="Renovek.exe", wait=timeout + 30, timeout=timeout * 1000)
        assert ended["exited"], (ended, printed()[-1500:])
    finally:
        launcher.stop()
        launcher.uiauto("kill", exe="Renovek.exe")
    text = printed()
    launcher.updater_end = "updater exit codes %r, printed under Wine: %r" % (ended["exit_codes"], text[-1500:])
    # Judged like every program a case starts: an unhandled exception fails the case.
    judge_program_end("Renovek.exe", text)
    return launcher


def stripped_democlient(folder):
    """The demo client without its symbols: small enough to arrive within the first five seconds
    even with the emulator's cost per progress message."""
    out = folder.parent / "democlient-stripped.exe"
    subprocess.run(["i686-w64-mingw32-strip", "-o", str(out), str(BIN / "democlient.exe")], check=True)
    return out.read_bytes()


def test_new_launcher_replaces_the_old_and_is_started_from_the_client_folder(game_folder, server):
    new_launcher = stripped_democlient(game_folder)
    new_picture = cf.bmp_24(8, 4, lambda x, y: (x * 30, y * 60, 90))
    server.set("/launcher/QuenlorLauncher.exe", Ok(new_launcher))
    # However slowly the emulator runs, the picture is answered only after the launcher was sent.
    server.set("/launcher/BackGround.bmp", Gate(Ok(new_picture), after="/launcher/QuenlorLauncher.exe"))
    launcher = hand_off(game_folder, server)
    try:
        assert (game_folder / "QuenlorLauncher.exe").read_bytes() == new_launcher, server.log
        assert wait_for(lambda: read_record(game_folder) is not None, 30)
        record = read_record(game_folder)
        windows_folder = cf.windows_path(game_folder)
        # Started with its own path (passed unquoted; Wine quotes the path it resolved when it
        # builds the new process's command line), in the client folder.
        assert record["command_line"].replace("\\\\", "\\").strip('"') == windows_folder + "\\QuenlorLauncher.exe"
        assert record["cwd"].replace("\\\\", "\\").rstrip("\\").lower() == windows_folder.lower()
        requests = [(path, query) for path, query, _ in server.log]
        assert requests[0][0] == "/launcher/QuenlorLauncher.exe"
        assert requests[0][1].startswith("abc=") and requests[0][1][4:].lstrip("-").isdigit()
        # The picture, if it was asked for before the updater ended, is old or new, never a mixture.
        assert [path for path, _ in requests[1:]] in ([], ["/launcher/BackGround.bmp"])
        assert (game_folder / "Image" / "Autopatch" / "BackGround.bmp").read_bytes() in (OLD_PICTURE, new_picture)
        assert not [p for p in game_folder.rglob("*") if p.name.endswith(STAGED_SUFFIX)]
    finally:
        launcher.uiauto("kill", exe="QuenlorLauncher.exe")


@pytest.mark.parametrize("answer", ["error_page", "cut_off"])
def test_failed_launcher_download_keeps_the_old_launcher_and_starts_nothing(game_folder, server, answer):
    body = b"MZ new" * 20000
    server.set("/launcher/QuenlorLauncher.exe", Status(404) if answer == "error_page" else CutOff(body, keep=5000))
    before = snapshot(game_folder)
    hand_off(game_folder, server)
    after = snapshot(game_folder)
    assert after["QuenlorLauncher.exe"] == OLD_LAUNCHER
    assert read_record(game_folder) is None
    assert not [name for name in after if name.endswith(STAGED_SUFFIX)]
    changed = {name for name in set(before) | set(after) if before.get(name) != after.get(name)}
    assert changed <= {"Image/Autopatch/AutoPatchURL.bin", "Image/Autopatch/AutoPatchDlg.bin",
                       "Image/Autopatch/BackGround.bmp", "AutopatchOption.opt", "PrintScreenList.txt"}
    assert after["Image/Autopatch/BackGround.bmp"] == OLD_PICTURE


def test_missing_picture_is_passed_over_and_a_slow_launcher_still_arrives(game_folder, server):
    new_launcher = stripped_democlient(game_folder)
    # About 11 s for the launcher; the picture, asked for at second 10, is not on the server.
    server.set("/launcher/QuenlorLauncher.exe", Slow(new_launcher, piece=len(new_launcher) // 10 + 1, pause=1.1))
    launcher = hand_off(game_folder, server)
    try:
        assert [p for p, _, _ in server.log] == ["/launcher/QuenlorLauncher.exe", "/launcher/BackGround.bmp"]
        assert (game_folder / "Image" / "Autopatch" / "BackGround.bmp").read_bytes() == OLD_PICTURE
        assert (game_folder / "QuenlorLauncher.exe").read_bytes() == new_launcher
        assert wait_for(lambda: read_record(game_folder) is not None, 30)
    finally:
        launcher.uiauto("kill", exe="QuenlorLauncher.exe")


def starts_of_the_new_launcher(folder):
    path = folder / "democlient.starts"
    return path.read_text().split() if path.exists() else []


def slow_new_launcher(folder, seconds):
    """The new launcher (the stripped demo client) served over about `seconds` seconds."""
    body = stripped_democlient(folder)
    return body, Slow(body, piece=len(body) // seconds + 1, pause=1.0)


@pytest.mark.parametrize("picture", ["arrives_at_once", "connection_reset"])
def test_picture_ending_first_waits_for_the_slow_launcher_which_is_started_once(game_folder, server, picture):
    new_launcher, slow = slow_new_launcher(game_folder, 20)
    new_picture = cf.bmp_24(40, 30, lambda x, y: (x * 6, y * 8, 200))
    server.set("/launcher/QuenlorLauncher.exe", slow)
    server.set("/launcher/BackGround.bmp", Ok(new_picture) if picture == "arrives_at_once"
               else Reset(new_picture, keep=1000))
    launcher = hand_off(game_folder, server)
    try:
        assert (game_folder / "QuenlorLauncher.exe").read_bytes() == new_launcher
        expected_picture = new_picture if picture == "arrives_at_once" else OLD_PICTURE
        assert (game_folder / "Image" / "Autopatch" / "BackGround.bmp").read_bytes() == expected_picture
        assert wait_for(lambda: starts_of_the_new_launcher(game_folder), 30)
        # Neither the old launcher nor a second updater: the launcher was asked for once.
        assert [p for p, _, _ in server.log] == ["/launcher/QuenlorLauncher.exe", "/launcher/BackGround.bmp"]
        assert server.log[1][1] == ""  # the picture's URL has no query
        assert not [p for p in game_folder.rglob("*") if p.name.endswith(STAGED_SUFFIX)]
        assert launcher.uiauto("wait-exit", exe="QuenlorLauncher.exe", timeout=15000)["exited"]
        assert len(starts_of_the_new_launcher(game_folder)) == 1
    finally:
        launcher.uiauto("kill", exe="QuenlorLauncher.exe")


@pytest.mark.parametrize("how", ["closed", "killed"])
def test_updater_ended_mid_download_leaves_old_files_and_no_temporary(game_folder, server, how):
    """The player closes the window (or the process is killed) while both downloads are running."""
    body = b"MZ new launcher" * 20000
    server.set("/launcher/QuenlorLauncher.exe", Slow(body, piece=4096, pause=1.0))
    server.set("/launcher/BackGround.bmp", Slow(b"BM new" * 20000, piece=4096, pause=1.0))
    write_client(game_folder, server.url, lunch_ver="2022091301")
    (game_folder / "Image" / "Autopatch" / "BackGround.bmp").write_bytes(OLD_PICTURE)
    driver = Launcher(game_folder)
    try:
        driver.start()
        assert driver.message_box(text="更新功能需要更新，請稍候...")["found"]
        assert driver.wait_exit(60)
        assert driver.uiauto("wait-window", exe="Renovek.exe", timeout=90000)["found"]
        # Both downloads have begun (the server saw both requests) and written something.
        assert wait_for(lambda: len(server.log) == 2, 60), server.log
        staged = game_folder / ("QuenlorLauncher.exe" + STAGED_SUFFIX)
        assert wait_for(staged.exists, 30)
        driver.uiauto("close" if how == "closed" else "kill", exe="Renovek.exe")
        assert driver.uiauto("wait-exit", exe="Renovek.exe", timeout=30000)["exited"]
    finally:
        driver.stop()
        driver.uiauto("kill", exe="Renovek.exe")
    after = snapshot(game_folder)
    assert after["QuenlorLauncher.exe"] == OLD_LAUNCHER
    assert after["Image/Autopatch/BackGround.bmp"] == OLD_PICTURE
    assert not [name for name in after if name.endswith(STAGED_SUFFIX)]
    assert not starts_of_the_new_launcher(game_folder)


def test_launcher_path_in_a_missing_folder_ends_the_update_without_writing(game_folder, server):
    server.set("/launcher/NoSuchDir/QuenlorLauncher.exe", Ok(b"MZ new" * 1000))
    before = snapshot(game_folder)
    hand_off(game_folder, server, extra={"LunchName": "NoSuchDir\\QuenlorLauncher.exe"})
    assert [p for p, _, _ in server.log] == ["/launcher/NoSuchDir/QuenlorLauncher.exe"]
    assert not (game_folder / "NoSuchDir").exists()
    assert snapshot(game_folder)["QuenlorLauncher.exe"] == before["QuenlorLauncher.exe"]
    assert read_record(game_folder) is None


def test_updater_started_by_hand_ends_without_touching_anything(game_folder):
    before = snapshot(game_folder)
    driver = Launcher(game_folder)
    driver.start(exe_path=game_folder / "Image" / "Autopatch" / "Renovek.exe")
    try:
        assert driver.wait_exit(60)
    finally:
        driver.stop()
    assert snapshot(game_folder) == before
