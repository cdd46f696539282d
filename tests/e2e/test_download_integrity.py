"""Only the right bytes land. A captive portal, a proxy or a broken server answers 200 with a page
of its own, a body longer than announced, a length no 32-bit number holds, or a program cut short;
the launcher's game files, the launcher itself and its picture keep their old bytes then, and the
right files of the same run still land."""
import pytest

import client_files as cf
from conftest import BIN, wait_for
from servers.fault_server import Announced, HoldRest, Late, Ok, Overrun, Slow
from test_launcher_patching import STAGED_SUFFIX, TIP, manifest, read_record, snapshot, wait_done, write_client
from test_updater import OLD_LAUNCHER, OLD_PICTURE, game_folder, hand_off, starts_of_the_new_launcher, \
    stripped_democlient  # noqa: F401 (game_folder is a fixture)

LAUNCHER_PATH = "/launcher/QuenlorLauncher.exe"
PICTURE_PATH = "/launcher/BackGround.bmp"


def portal_page(length):
    """A sign-in page padded to exactly `length` bytes, served as text/html with status 200."""
    page = (b"<html><head><title>Sign in</title></head><body><h1>Welcome to the guest network</h1>"
            b"<p>Accept the terms to continue.</p></body></html>\r\n")
    assert len(page) <= length
    return page + b" " * (length - len(page))


def staged_left(folder):
    return [p for p in folder.rglob("*") if p.name.endswith(STAGED_SUFFIX)]


def test_game_files_land_only_as_the_manifest_names_them(launcher, client, server):
    files = {name: bytes((i * 31 + n) & 0xFF for i in range(9000 + 700 * n))
             for n, name in enumerate(["huge.dat", "portal.dat", "padded.dat", "beyond.dat", "good.dat"])}
    old = {name: b"old " + name.encode() for name in ("huge.dat", "portal.dat", "padded.dat")}
    for name, data in old.items():
        (client / name).write_bytes(data)
    # Fetched from the back of the manifest: good (slow enough for the watcher to start), beyond,
    # padded, portal, huge.
    server.set("/good.dat", Slow(files["good.dat"], piece=1000, pause=0.8))
    # Each later answer comes late, so every file's count stands long enough to be seen.
    server.set("/beyond.dat", Late(Overrun(files["beyond.dat"], b"<script>track()</script>"), 0.6))
    server.set("/padded.dat", Late(Ok(files["padded.dat"] + b"<script>track()</script>"), 0.6))
    server.set("/portal.dat", Late(Ok(portal_page(len(files["portal.dat"])), content_type="text/html"), 0.6))
    server.set("/huge.dat", Late(Announced(files["huge.dat"], 2 ** 32 + len(files["huge.dat"])), 0.6))
    (server.root_dir / "MyUpdata.txt").write_bytes(manifest([("\\" + name, data) for name, data in files.items()]))
    write_client(client, server.url)
    launcher.start()
    launcher.wait_window()
    watched = launcher.uiauto("watch-text", wait=180, id=TIP, until="完成", timeout=120000)
    assert watched["found"], watched
    wait_done(launcher)
    assert [entry[0] for entry in server.log] == \
        ["/MyUpdata.txt", "/good.dat", "/beyond.dat", "/padded.dat", "/portal.dat", "/huge.dat"]
    # The right files of the run land; bytes past the announced length are no part of a file.
    assert (client / "good.dat").read_bytes() == files["good.dat"]
    assert (client / "beyond.dat").read_bytes() == files["beyond.dat"]
    # A page of the file's exact length, a length that counts appended bytes and one of 4 GiB and
    # more are failed downloads: the old bytes stay.
    for name, data in old.items():
        assert (client / name).read_bytes() == data, name
    assert not staged_left(client)
    # A failed file's error text stands until the next file begins (a moment, which the watcher
    # may miss); it never names a file that landed.
    errors = {t for t in watched["texts"] if t.endswith("下載出錯！！！")}
    assert errors <= {"文件[%s]下載出錯！！！" % name for name in old}, watched
    assert [t for t in watched["texts"] if t not in errors] == \
        ["需下載數[5]", "需下載數[4]", "需下載數[3]", "需下載數[2]", "需下載數[1]", "完成"], watched


def half_program(folder):
    """The new launcher cut in half, served as if that were all of it."""
    program = stripped_democlient(folder)
    return program[:len(program) // 2]


@pytest.mark.parametrize("answer", ["portal_page", "truncated_program", "pe_header_outside"])
def test_a_launcher_that_is_no_program_keeps_the_old_one_and_starts_nothing(game_folder, server, answer):
    program = stripped_democlient(game_folder)
    if answer == "portal_page":
        body = portal_page(len(program))
    elif answer == "truncated_program":
        body = half_program(game_folder)
    else:
        body = program[:0x40]  # the DOS header alone: the PE header it points to is not in the body
    server.set(LAUNCHER_PATH, Ok(body, content_type="text/html" if answer == "portal_page" else
                                 "application/octet-stream"))
    launcher = hand_off(game_folder, server)
    after = snapshot(game_folder)
    assert after["QuenlorLauncher.exe"] == OLD_LAUNCHER
    assert read_record(game_folder) is None and not starts_of_the_new_launcher(game_folder)
    assert not staged_left(game_folder)
    # The picture, not on this server, is asked for too when the launcher took over five seconds.
    assert [p for p, _, _ in server.log] in ([LAUNCHER_PATH], [LAUNCHER_PATH, PICTURE_PATH]), launcher.updater_end
    assert after["Image/Autopatch/BackGround.bmp"] == OLD_PICTURE


def test_bytes_past_the_announced_length_never_reach_the_launcher(game_folder, server):
    program = stripped_democlient(game_folder)
    server.set(LAUNCHER_PATH, Overrun(program, b"<html>injected</html>" * 10))
    launcher = hand_off(game_folder, server)
    try:
        assert (game_folder / "QuenlorLauncher.exe").read_bytes() == program
        assert wait_for(lambda: starts_of_the_new_launcher(game_folder), 30)
    finally:
        launcher.uiauto("kill", exe="QuenlorLauncher.exe")


@pytest.mark.parametrize("answer", ["portal_page", "padded_bitmap"])
def test_a_picture_that_is_no_bitmap_keeps_the_old_one_and_the_launcher_still_lands(game_folder, server, answer):
    program = stripped_democlient(game_folder)
    picture = cf.bmp_24(40, 30, lambda x, y: (x * 6, y * 8, 200))
    if answer == "portal_page":
        served = Ok(portal_page(len(picture)), content_type="text/html")
    else:
        served = Ok(picture + b"<script>track()</script>")  # the length counts the appended bytes
    server.set(PICTURE_PATH, served)
    # The launcher's download runs until the picture has been answered, however slow the machine.
    server.set(LAUNCHER_PATH, HoldRest(program, keep=4096, after=PICTURE_PATH))
    launcher = hand_off(game_folder, server)
    try:
        assert [p for p, _, _ in server.log] == [LAUNCHER_PATH, PICTURE_PATH]
        assert (game_folder / "Image" / "Autopatch" / "BackGround.bmp").read_bytes() == OLD_PICTURE
        assert (game_folder / "QuenlorLauncher.exe").read_bytes() == program
        assert wait_for(lambda: starts_of_the_new_launcher(game_folder), 30)
        assert not staged_left(game_folder)
    finally:
        launcher.uiauto("kill", exe="QuenlorLauncher.exe")
