"""Windows as players have it, beyond what the default test locale shows: the system code page
set to UTF-8 (65001), a Western system (1252) reading a manifest written in GBK, and the window
picture replaced or opened without sharing while the launcher shows it."""
import client_files as cf
from conftest import control, wait_for
from servers.fault_server import Ok
from test_launcher_patching import (START, STAGED_SUFFIX, VERSION, digest, install_democlient, read_record,
                                    wait_done)

UTF8_LOCALE = "hi_IN.UTF-8"  # a locale without an ANSI code page of its own: Wine answers 65001
WESTERN_LOCALE = "en_US.UTF-8"  # 1252


def manifest_in(encoding, entries):
    return ("".join("%s|%s\r\n" % (path, digest(data)) for path, data in entries)).encode(encoding)


def write_client_in(encoding, folder, up_url, line="S1"):
    """The configuration files written in the player's own code page."""
    values = {"UpUrl": up_url, "HomePage": "about:blank", "ExeName": "democlient.exe", "LunchVer": VERSION,
              "Line": line, "UpLuchUrl": up_url + "/launcher", "LunchName": "QuenlorLauncher.exe"}
    lines = [("*%s %s" % (key, value)).encode(encoding) for key, value in values.items()]
    autopatch = folder / "Image" / "Autopatch"
    (autopatch / "AutoPatchURL.bin").write_bytes(cf.scramble(cf.config_text(lines), divisor=3))
    (autopatch / "AutoPatchDlg.bin").write_bytes(cf.skin_file())
    (autopatch / "BackGround.bmp").write_bytes(cf.background_bmp())


def serve_under_every_spelling(server, names, body):
    """However the URL's non-ASCII part goes on the wire, the same body answers."""
    for name in names:
        for encoding in ("gbk", "utf-8", "cp1252"):
            try:
                server.set(("/" + name).encode(encoding).decode("latin-1"), Ok(body))
            except UnicodeEncodeError:
                pass


def fetched(server):
    return [entry for entry in server.log if entry[0] != "/MyUpdata.txt"]


def test_utf8_system_verifies_and_patches_a_client_with_chinese_names(launcher, client, server):
    assert launcher.uiauto("codepage", locale=UTF8_LOCALE)["acp"] == 65001
    current, old, new = b"readme" * 100, b"old patch", b"P" * 9000
    (client / "数据").mkdir()
    (client / "说明.txt").write_bytes(current)
    (client / "数据" / "补丁一.dat").write_bytes(old)
    serve_under_every_spelling(server, ["数据/补丁一.dat"], new)
    (server.root_dir / "MyUpdata.txt").write_bytes(
        manifest_in("utf-8", [("\\说明.txt", current), ("\\数据\\补丁一.dat", new)]))
    line = "电信一区"
    write_client_in("utf-8", client, server.url, line=line)
    install_democlient(client)
    try:
        launcher.start("RunClient", locale=UTF8_LOCALE)
        launcher.wait_window()
        assert wait_for(lambda: (read_record(client) or {}).get("state") == "running", 120)
        # Only the file that differs was fetched: the current one was found and hashed by its
        # Chinese name, and the text reached the client in the system's code page.
        assert len(fetched(server)) == 1, server.log
        assert (client / "数据" / "补丁一.dat").read_bytes() == new
        assert (client / "说明.txt").read_bytes() == current
        record = read_record(client)
        assert record["line_terminated"] == "1"
        assert bytes.fromhex(record["line_hex"]) == line.encode("utf-8")
        assert not [p for p in client.rglob("*") if p.name.endswith(STAGED_SUFFIX)]
    finally:
        launcher.uiauto("kill", exe="democlient.exe")
        launcher.uiauto("wait-exit", exe="democlient.exe", timeout=30000)


def test_gbk_manifest_on_a_western_system_names_other_files(launcher, client, server):
    # Read in code page 1252, every GBK name is another, Latin name: the Chinese files are not
    # found, the bodies land under the Latin names, and the Chinese files are never touched.
    assert launcher.uiauto("codepage", locale=WESTERN_LOCALE)["acp"] == 1252
    current, new = b"readme" * 100, b"P" * 9000
    (client / "说明.txt").write_bytes(current)
    (client / "补丁一.dat").write_bytes(b"old patch")
    western = {"说明.txt": "说明.txt".encode("gbk").decode("cp1252"), "补丁一.dat": "补丁一.dat".encode("gbk").decode("cp1252")}
    serve_under_every_spelling(server, ["说明.txt", western["说明.txt"]], current)
    serve_under_every_spelling(server, ["补丁一.dat", western["补丁一.dat"]], new)
    (server.root_dir / "MyUpdata.txt").write_bytes(manifest_in("gbk", [("\\说明.txt", current), ("\\补丁一.dat", new)]))
    write_client_in("gbk", client, server.url)
    launcher.start(locale=WESTERN_LOCALE)
    launcher.wait_window()
    state = wait_done(launcher)
    assert control(state, START)["enabled"]
    assert len(fetched(server)) == 2, server.log
    assert (client / western["说明.txt"]).read_bytes() == current
    assert (client / western["补丁一.dat"]).read_bytes() == new
    assert (client / "说明.txt").read_bytes() == current
    assert (client / "补丁一.dat").read_bytes() == b"old patch"


def test_window_picture_is_not_held_open_while_the_window_shows_it(launcher, client, server):
    """On Windows an image made from a file name keeps the file open; a launcher doing that would
    make every replacement of the picture fail while its window is shown. Wine's image loader
    lets go of the file either way, so this guards the Windows behaviour and cannot fail here."""
    (server.root_dir / "MyUpdata.txt").write_bytes(b"")
    write_client_in("gbk", client, server.url)
    launcher.start()
    launcher.wait_window()
    wait_done(launcher)
    assert launcher.uiauto("redraw")["found"]
    picture = "Image\\Autopatch\\BackGround.bmp"
    moved = launcher.uiauto("exclusive-rename", path=picture, to=picture + ".old")
    assert moved["exclusive"] and moved["renamed"], moved
    # The updater's replacement: a new picture under the old name, shown at the next paint.
    (client / "Image" / "Autopatch" / "BackGround.bmp").write_bytes(cf.background_bmp(200, 120))
    assert launcher.uiauto("redraw")["found"]
    back = launcher.uiauto("exclusive-rename", path=picture, to=picture + ".new")
    assert back["exclusive"] and back["renamed"], back
    assert launcher.uiauto("inspect")["found"]
    launcher.uiauto("close")
    assert launcher.wait_exit(60)
