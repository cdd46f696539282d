"""The launcher's main job under Wine: verification against a served manifest, downloads one file
at a time from the back of the list, the end of patching, the game start and the updater
hand-off. Manifests and digests are written here with Python's own MD5, not the project's tool."""
import hashlib
import shutil
import time

import pytest

import client_files as cf
from conftest import BIN, control, wait_for
from servers.fault_server import CutOff, Late, NoLength, Ok, Raw, Slow, Stall, Status

TIP, DOWNLOAD, CURRENT_BAR, TOTAL_BAR, START = 1003, 1004, 1000, 1001, 1006
VERSION = "2022091302"
STAGED_SUFFIX = ".qlpart"


def digest(data: bytes) -> str:
    return hashlib.md5(data).hexdigest().upper()


def manifest(entries) -> bytes:
    """(manifest path, content or digest text) pairs as CR LF lines."""
    lines = []
    for path, content in entries:
        text = content if isinstance(content, str) else digest(content)
        lines.append("%s|%s" % (path, text))
    return ("\r\n".join(lines) + "\r\n").encode("gbk")


def local(folder, manifest_path):
    return folder.joinpath(*manifest_path.strip("\\").split("\\"))


def write_client(folder, up_url, exe_name="democlient.exe", line="S1", lunch_ver=VERSION, extra=None):
    values = {"UpUrl": up_url, "HomePage": "about:blank", "ExeName": exe_name, "LunchVer": lunch_ver,
              "Line": line, "UpLuchUrl": up_url + "/launcher", "LunchName": "QuenlorLauncher.exe"}
    values.update(extra or {})
    autopatch = folder / "Image" / "Autopatch"
    (autopatch / "AutoPatchURL.bin").write_bytes(cf.url_file(values))
    (autopatch / "AutoPatchDlg.bin").write_bytes(cf.skin_file())
    (autopatch / "BackGround.bmp").write_bytes(cf.background_bmp())


def install_democlient(folder, cfg=None, name="democlient.exe"):
    shutil.copy(BIN / "democlient.exe", folder / name)
    if cfg:
        (folder / "democlient.cfg").write_text("".join("%s=%s\r\n" % kv for kv in cfg.items()))


def snapshot(folder):
    return {p.relative_to(folder).as_posix(): p.read_bytes() for p in folder.rglob("*") if p.is_file()}


def wait_done(launcher, timeout=120):
    """The window state once the tip shows "完成"."""
    end = time.time() + timeout
    while time.time() < end:
        state = launcher.uiauto("inspect")
        if state.get("found", True) and any(c["id"] == TIP for c in state.get("controls", [])):
            if control(state, TIP)["text"] == "完成":
                return state
        time.sleep(0.5)
    raise AssertionError("patching did not complete: %r" % state)


def patch_until_done(launcher, timeout=120):
    """Starts the launcher and returns its window state once patching has completed."""
    launcher.start()
    launcher.wait_window()
    return wait_done(launcher, timeout)


@pytest.fixture
def game(launcher):
    """The demo client started by the launcher; ended after the test so that its "ClientRun"
    cannot turn the next test's launcher away."""
    yield
    launcher.uiauto("kill", exe="democlient.exe")
    # Its "ClientRun" goes only with the process: the next test's launcher must not find it.
    launcher.uiauto("wait-exit", exe="democlient.exe", timeout=30000)


def test_up_to_date_client_downloads_nothing_and_enables_start(launcher, client, server):
    files = {"\\readme.txt": b"hello\r\n", "\\Data\\a.pak": bytes(range(256)) * 40, "\\Data\\empty.dat": b""}
    for path, data in files.items():
        local(client, path).parent.mkdir(parents=True, exist_ok=True)
        local(client, path).write_bytes(data)
    (server.root_dir / "MyUpdata.txt").write_bytes(manifest(files.items()))
    write_client(client, server.url)
    before = snapshot(client)
    state = patch_until_done(launcher)
    assert control(state, START)["enabled"]
    for bar in (CURRENT_BAR, TOTAL_BAR):
        entry = control(state, bar)
        assert (entry["range_low"], entry["range_high"], entry["pos"]) == (0, 1, 1), entry
    assert [entry[0] for entry in server.log] == ["/MyUpdata.txt"]
    after = snapshot(client)
    assert {k: v for k, v in after.items() if not k.endswith(".opt") and not k.endswith(".txt")} == \
        {k: v for k, v in before.items() if not k.endswith(".opt") and not k.endswith(".txt")}


def test_three_missing_files_fetched_last_first_with_counts_and_overall_bar(launcher, client, server):
    bodies = {"\\A.bin": b"a" * 60000, "\\Data\\B.bin": b"b" * 60000, "\\Data\\C.bin": b"c" * 60000}
    (client / "Data").mkdir()
    for path, data in bodies.items():
        server.set(path.replace("\\", "/"), Slow(data, piece=8192, pause=0.6))
    (server.root_dir / "MyUpdata.txt").write_bytes(manifest(bodies.items()))
    write_client(client, server.url)
    launcher.start()
    launcher.wait_window()
    seen = []
    end = time.time() + 180
    state = None
    while time.time() < end:
        state = launcher.uiauto("inspect")
        tip = control(state, TIP)["text"]
        total = control(state, TOTAL_BAR)
        if tip.startswith("需下載數"):
            seen.append((tip, total["pos"], total["range_high"]))
        if tip == "完成":
            break
        time.sleep(0.3)
    assert control(state, TIP)["text"] == "完成" and control(state, DOWNLOAD)["text"] == "完成"
    assert control(state, START)["enabled"]
    distinct = sorted(set(seen), key=lambda s: -int(s[0][5]))
    assert distinct == [("需下載數[3]", 1, 3), ("需下載數[2]", 2, 3), ("需下載數[1]", 3, 3)], seen
    # Requested from the back of the list, each with its own unique query.
    requests = [entry for entry in server.log if entry[0] != "/MyUpdata.txt"]
    assert [entry[0] for entry in requests] == ["/Data/C.bin", "/Data/B.bin", "/A.bin"]
    assert all(entry[1].startswith("abc=") and entry[1][4:].isdigit() for entry in requests)
    for path, data in bodies.items():
        assert local(client, path).read_bytes() == data
    assert not [p for p in client.rglob("*") if p.name.endswith(STAGED_SUFFIX)]


def test_faulty_files_skipped_leave_old_content_and_patching_completes(launcher, client, server):
    old = b"old content\r\n"
    good = b"G" * 5000
    # Fetched from the back: good (slow enough for the watcher to start), cut, f.dat, gone.
    bodies = {"\\gone.dat": b"x" * 100, "\\NoFolder\\f.dat": b"f" * 3000, "\\cut.dat": b"N" * 40000,
              "\\good.dat": good}
    (client / "cut.dat").write_bytes(old)
    # The later answers come late, so every file's count stands long enough to be seen.
    server.set("/gone.dat", Late(Status(404), 0.6))
    server.set("/cut.dat", Late(CutOff(bodies["\\cut.dat"], keep=10000), 0.6))
    server.set("/good.dat", Slow(good, piece=1000, pause=0.8))
    server.set("/NoFolder/f.dat", Late(Ok(bodies["\\NoFolder\\f.dat"]), 0.6))
    (server.root_dir / "MyUpdata.txt").write_bytes(manifest(bodies.items()))
    write_client(client, server.url)
    launcher.start()
    launcher.wait_window()
    watched = launcher.uiauto("watch-text", wait=180, id=TIP, until="完成", timeout=120000)
    assert watched["found"], watched
    # Every file is begun in turn whatever became of the one before: the cut-off body and the 404
    # pass without a word; the missing folder's error text stands only until the next file begins
    # (a moment, so the watcher may miss it), and never anywhere else.
    error = "文件[f.dat]下載出錯！！！"
    texts = watched["texts"]
    assert [t for t in texts if t != error] == ["需下載數[4]", "需下載數[3]", "需下載數[2]", "需下載數[1]", "完成"], watched
    assert error not in texts or texts[texts.index(error) - 1] == "需下載數[2]", watched
    state = wait_done(launcher)
    assert control(state, START)["enabled"]
    assert not (client / "gone.dat").exists()
    assert (client / "cut.dat").read_bytes() == old
    assert (client / "good.dat").read_bytes() == good
    assert not (client / "NoFolder").exists()
    files = {p.name for p in client.iterdir() if p.is_file()}
    assert {"cut.dat", "good.dat"} <= files <= {"cut.dat", "good.dat", "AutopatchOption.opt", "PrintScreenList.txt"}


def test_hostile_manifest_paths_touch_nothing_outside_the_folder(launcher, client, server):
    outside = client.parent / (client.name + "-outside.dat")
    outside.write_bytes(b"keep me")
    body = b"evil" * 100
    for name in ("outside.dat", "x.dat"):
        (server.root_dir / name).write_bytes(body)
    hostile = ["\\..\\%s-outside.dat" % client.name, "C:\\x.dat", "\\x.dat:stream", "\\Data\\..\\..\\x.dat"]
    text = manifest([(path, body) for path in hostile])
    (server.root_dir / "MyUpdata.txt").write_bytes(text)
    write_client(client, server.url)
    before = snapshot(client)
    state = patch_until_done(launcher)
    assert control(state, START)["enabled"]
    assert outside.read_bytes() == b"keep me"
    assert [entry[0] for entry in server.log] == ["/MyUpdata.txt"]
    after = snapshot(client)
    assert set(after) - set(before) <= {"AutopatchOption.opt", "PrintScreenList.txt"}


def wait_receiving(launcher, remaining, timeout=120):
    """True once the file begun with "需下載數[remaining]" is being received."""
    def receiving():
        state = launcher.uiauto("inspect")
        return control(state, TIP)["text"] == "需下載數[%d]" % remaining and "剩余" in control(state, DOWNLOAD)["text"]
    return wait_for(receiving, timeout)


def read_record(folder):
    path = folder / "democlient.record"
    if not path.exists():
        return None
    return dict(line.split("=", 1) for line in path.read_text(encoding="utf-8", errors="replace").splitlines() if "=" in line)


def test_run_client_starts_the_game_after_the_last_file_and_its_close_word_ends_the_launcher(launcher, game, client, server):
    body = b"patched" * 3000
    (server.root_dir / "new.pak").write_bytes(body)
    (server.root_dir / "MyUpdata.txt").write_bytes(manifest([("\\new.pak", body)]))
    write_client(client, server.url, line="Line-7")
    install_democlient(client, {"close_after_ms": 4000, "exit_after_ms": 15000})
    launcher.start("RunClient")
    assert wait_for(lambda: (read_record(client) or {}).get("state") == "running", 120)
    record = read_record(client)
    # The client starts only once the file is in place, and finds the block and the options.
    assert (client / "new.pak").read_bytes() == body
    assert record["block_found"] == "1" and record["line_terminated"] == "1"
    assert bytes.fromhex(record["line_hex"]) == b"Line-7"
    assert record["options_found"] == "1"
    assert wait_for(lambda: (read_record(client) or {}).get("close_written") == "Dangerou", 60)
    assert launcher.wait_exit(60)


def test_a_longer_word_than_the_close_word_leaves_the_launcher_open(launcher, game, client, server):
    (server.root_dir / "MyUpdata.txt").write_bytes(b"")
    write_client(client, server.url)
    install_democlient(client, {"close_after_ms": 1000, "word": "Dangerous", "exit_after_ms": 30000})
    launcher.start("RunClient")
    assert wait_for(lambda: (read_record(client) or {}).get("close_written") == "Dangerous", 120)
    time.sleep(4)
    assert launcher.process.poll() is None
    state = launcher.uiauto("inspect")
    # Started by itself, so the start button was never enabled.
    assert control(state, TIP)["text"] == "完成" and not control(state, START)["enabled"]


def test_missing_client_program_shows_error_2_and_ends(launcher, client, server):
    (server.root_dir / "MyUpdata.txt").write_bytes(b"")
    write_client(client, server.url, exe_name="nothere.exe")
    launcher.start("RunClient")
    box = launcher.message_box(text=None)
    assert box["found"], box
    assert box["box"]["text"].startswith("运行失败!错误代码2 ") and box["box"]["text"].endswith("\\nothere.exe")
    assert launcher.wait_exit(60)


def test_outdated_launcher_hands_off_to_the_updater_and_closes(wine, client, server):
    from conftest import Launcher
    folder = client / "Game Folder With Spaces"
    (folder / "Image" / "Autopatch").mkdir(parents=True)
    (server.root_dir / "MyUpdata.txt").write_bytes(b"")
    write_client(folder, server.url, lunch_ver="2022091301")
    # The demo client stands in for the updater: it records the command line it was given.
    shutil.copy(BIN / "democlient.exe", folder / "Image" / "Autopatch" / "Renovek.exe")
    (folder / "Image" / "Autopatch" / "democlient.cfg").write_text("exit_after_ms=3000\r\n")
    launcher = Launcher(folder)
    try:
        launcher.start()
        box = launcher.message_box()
        assert box["found"] and box["box"]["title"] == "提示" and box["box"]["text"] == "更新功能需要更新，請稍候...", box
        autopatch = folder / "Image" / "Autopatch"
        assert wait_for(lambda: read_record(autopatch) is not None, 60)
        assert launcher.wait_exit(60)
        windows_folder = cf.windows_path(folder)
        expected = "%s/launcher/QuenlorLauncher.exe|%s\\QuenlorLauncher.exe" % (server.url, windows_folder)
        assert read_record(autopatch)["command_line"].replace("\\\\", "\\") == expected
        # No patching in this run: the manifest was never asked for.
        assert server.log == []
    finally:
        launcher.stop()
        # The stand-in holds "ClientRun" like the client it is; the next launcher must not see it.
        launcher.uiauto("kill", exe="Renovek.exe")


def test_manifest_records_cut_at_separator_runs_and_each_entry_checked_on_its_own(launcher, client, server):
    a, b, c = b"A" * 3000, b"B" * 100, b"C" * 7000
    (client / "a.dat").write_bytes(a)
    for name, data in (("a.dat", a), ("b.dat", b), ("c.dat", c)):
        (server.root_dir / name).write_bytes(data)
    text = (b"\\a.dat||" + digest(a).encode() + b"\n"            # doubled bar, LF alone
            + b"#\\b.dat|" + digest(b).encode() + b"|extra\r"    # three fields: no entry
            + b"\\onlyone\r\n"                                    # one field: no entry
            + b"|\\c.dat|" + digest(c).encode() + b"|#"          # bars before and after
            + b"\\a.dat|" + b"0" * 32 + b"\r\n\r\n")              # the same path, another digest
    (server.root_dir / "MyUpdata.txt").write_bytes(text)
    write_client(client, server.url)
    launcher.start()
    launcher.wait_window()
    wait_done(launcher)
    # Wanted in manifest order (c, then a for its second entry), fetched from the back.
    assert [entry[0] for entry in server.log] == ["/MyUpdata.txt", "/a.dat", "/c.dat"]
    assert (client / "a.dat").read_bytes() == a and (client / "c.dat").read_bytes() == c
    assert not (client / "b.dat").exists()


def test_lower_case_digest_is_fetched_although_the_file_is_right(launcher, client, server):
    data = b"same bytes" * 500
    (client / "same.dat").write_bytes(data)
    (server.root_dir / "same.dat").write_bytes(data)
    (server.root_dir / "MyUpdata.txt").write_bytes(manifest([("\\same.dat", digest(data).lower())]))
    write_client(client, server.url)
    state = patch_until_done(launcher)
    assert [entry[0] for entry in server.log] == ["/MyUpdata.txt", "/same.dat"]
    assert (client / "same.dat").read_bytes() == data
    assert control(state, START)["enabled"]


def test_stalled_transfer_keeps_the_old_file_and_patching_goes_on(launcher, client, server):
    old, new, other = b"old" * 10, b"N" * 50000, b"O" * 2000
    (client / "stall.dat").write_bytes(old)
    server.set("/stall.dat", Stall(new, keep=4000, seconds=30))
    (server.root_dir / "other.dat").write_bytes(other)
    (server.root_dir / "MyUpdata.txt").write_bytes(manifest([("\\other.dat", other), ("\\stall.dat", new)]))
    write_client(client, server.url)
    state = patch_until_done(launcher, timeout=180)
    assert (client / "stall.dat").read_bytes() == old
    assert (client / "other.dat").read_bytes() == other
    assert control(state, START)["enabled"]
    assert not [p for p in client.rglob("*") if p.name.endswith(STAGED_SUFFIX)]


def test_closing_mid_transfer_writes_nothing_and_begins_no_further_file(launcher, client, server):
    first, second = b"1" * 120000, b"2" * 120000
    server.set("/first.dat", Slow(first, piece=4096, pause=0.4))
    server.set("/second.dat", Slow(second, piece=4096, pause=0.4))
    (server.root_dir / "MyUpdata.txt").write_bytes(manifest([("\\first.dat", first), ("\\second.dat", second)]))
    write_client(client, server.url)
    launcher.start()
    launcher.wait_window()
    assert wait_receiving(launcher, 2)
    assert launcher.uiauto("click", id=1007)["clicked"]
    assert launcher.wait_exit(60)
    assert [entry[0] for entry in server.log] == ["/MyUpdata.txt", "/second.dat"]
    assert not (client / "first.dat").exists() and not (client / "second.dat").exists()
    assert not [p for p in client.rglob("*") if p.name.endswith(STAGED_SUFFIX)]


@pytest.mark.parametrize("served", ["no_length", "error_page", "cut_short"])
def test_manifest_without_length_as_error_page_or_cut_short_fetches_only_what_arrived(launcher, client, server, served):
    first, second = b"1" * 3000, b"2" * 3000
    for name, data in (("first.dat", first), ("second.dat", second)):
        (server.root_dir / name).write_bytes(data)
    text = manifest([("\\first.dat", first), ("\\second.dat", second)])
    if served == "no_length":
        server.set("/MyUpdata.txt", NoLength(text))     # no length: the manifest is empty
    elif served == "cut_short":
        server.set("/MyUpdata.txt", CutOff(text, keep=text.index(b"\r\n") + 2))
    # error_page: nothing at /MyUpdata.txt, so the 404 page's body is the manifest
    write_client(client, server.url)
    state = patch_until_done(launcher)
    assert control(state, START)["enabled"]
    wanted = ["/first.dat"] if served == "cut_short" else []
    assert [entry[0] for entry in server.log] == ["/MyUpdata.txt"] + wanted
    assert (client / "first.dat").exists() == (served == "cut_short")
    assert not (client / "second.dat").exists()


def test_gbk_names_are_read_in_the_ansi_code_page(launcher, client, server):
    patched, same = b"P" * 9000, b"readme" * 100
    (client / "数据").mkdir()
    (client / "说明.txt").write_bytes(same)
    # However the URL's non-ASCII part goes on the wire (GBK bytes or UTF-8), the file is found.
    for encoding in ("gbk", "utf-8"):
        server.set("/数据/补丁一.dat".encode(encoding).decode("latin-1"), Ok(patched))
    (server.root_dir / "MyUpdata.txt").write_bytes(manifest([("\\说明.txt", same), ("\\数据\\补丁一.dat", patched)]))
    write_client(client, server.url)
    state = patch_until_done(launcher)
    assert control(state, START)["enabled"]
    assert (client / "数据" / "补丁一.dat").read_bytes() == patched
    assert (client / "说明.txt").read_bytes() == same
    fetched = [entry for entry in server.log if entry[0] != "/MyUpdata.txt"]
    assert len(fetched) == 1 and fetched[0][2] == "ok", server.log


def test_manifest_too_large_to_hold_is_reported_and_patching_never_starts(launcher, client, server):
    # A length no 32-bit process can allocate: the fetch fails inside, the player is told, and the
    # window stays as it was set up (no tip, start disabled), with nothing fetched.
    server.set("/MyUpdata.txt", Raw(b"HTTP/1.1 200 OK\r\nContent-Length: 2147483000\r\nConnection: close\r\n\r\n"
                                    b"\\a.dat|" + b"0" * 32 + b"\r\n"))
    write_client(client, server.url)
    launcher.start()
    box = launcher.message_box(text="网络异常，获取更新信息失败")
    assert box["found"] and box["box"]["title"] == "错误", box
    state = launcher.wait_window()
    assert control(state, TIP)["text"] == ""
    assert not control(state, START)["enabled"]
    time.sleep(2)
    assert [entry[0] for entry in server.log] == ["/MyUpdata.txt"]
    assert not (client / "a.dat").exists()
