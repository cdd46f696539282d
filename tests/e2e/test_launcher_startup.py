"""The launcher as a player meets it: started in a generated client folder under Wine, watched
through uiauto. Start-up refusals and failure messages, the skinned window, the launch options."""
import os
import shutil
import subprocess
import time

import pytest

import client_files as cf
from conftest import ARTIFACTS, BIN, LAUNCHER, WINE_HOME, WINE_RUN, control, wait_for

URLS = {"UpUrl": "http://127.0.0.1:9/patch", "HomePage": "http://127.0.0.1:9/", "ExeName": "game.exe",
        "LunchVer": "2022091302", "Line": "S1"}


def write_client(folder, url=True, skin=True, background=True):
    autopatch = folder / "Image" / "Autopatch"
    if url:
        (autopatch / "AutoPatchURL.bin").write_bytes(cf.url_file(URLS))
    if skin:
        (autopatch / "AutoPatchDlg.bin").write_bytes(cf.skin_file())
    if background:
        (autopatch / "BackGround.bmp").write_bytes(cf.background_bmp())


def assert_placed_as_skin(state):
    window = state["window"]
    assert (window["x"], window["y"], window["width"], window["height"]) == cf.SKIN["#主界面"]
    for control_id, section in cf.PLACED.items():
        entry = control(state, control_id)
        x, y, width, height = cf.SKIN[section]
        assert entry["visible"], entry
        assert (entry["x"], entry["y"], entry["width"]) == (x, y, width), entry
        if control_id != 1009:  # a drop-down list's window is as tall as its closed box
            assert entry["height"] == height, entry


def test_game_already_running_stops_the_launcher_before_any_file(launcher, client):
    ready = client / "holder.ready"
    holder = subprocess.Popen([str(WINE_RUN), "--home", str(WINE_HOME), str(BIN / "uiauto.exe"), "hold-mapping",
                               "--name", "ClientRun", "--ms", "120000", "--ready", cf.windows_path(ready)],
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        assert wait_for(ready.exists, 60)
        launcher.start()  # an empty client folder: any file read would bring up a failure message
        box = launcher.message_box()
        assert box["found"] and box["box"]["title"] == "提示" and box["box"]["text"] == "游戏已运行!"
        # Ended; its exit code is not judged, as Wine under the emulator may fault at teardown.
        assert launcher.wait_exit(60)
        assert sorted(p.name for p in client.iterdir()) == ["Image", "holder.ready"]
        assert not any((client / "Image" / "Autopatch").iterdir())
    finally:
        ready.unlink(missing_ok=True)
        holder.wait(timeout=60)


def test_skinned_window_as_the_skin_says(launcher, client):
    write_client(client)
    launcher.start()
    state = launcher.wait_window()
    assert state["message_boxes"] == []
    assert_placed_as_skin(state)

    assert control(state, 1002)["text"] == "2022091302"
    assert control(state, 1003)["text"] == "" and control(state, 1004)["text"] == ""
    assert not control(state, 1006)["enabled"]
    assert control(state, 1005)["enabled"] and control(state, 1007)["enabled"]
    assert control(state, 1008)["check"] == 1
    assert not control(state, 1011)["visible"]
    for bar, back, front in ((1000, "#当前进度条背景色", "#当前进度条前景色"), (1001, "#完成进度条背景色", "#完成进度条前景色")):
        entry = control(state, bar)
        assert (entry["range_low"], entry["range_high"], entry["pos"]) == (0, 100, 0)
        r, g, b = cf.SKIN[back]
        assert entry["back_color"] == r | g << 8 | b << 16
        r, g, b = cf.SKIN[front]
        assert entry["bar_color"] == r | g << 8 | b << 16
    assert state["window"]["has_region"] and not state["window"]["region_empty"]
    assert state["window"]["region_box"] == {"x": 0, "y": 0, "width": 660, "height": 450}
    # The outline's white: rounded corners and the space beside the title tab are cut away.
    probes = {(330, 225): 1, (100, 5): 1, (400, 5): 0, (0, 449): 0, (659, 449): 0, (659, 20): 0, (20, 225): 1}
    hits = launcher.uiauto("inspect", points=";".join("%d,%d" % p for p in probes))["window"]["region_hits"]
    assert hits == list(probes.values())

    # The offered list is the file's list, in the same order.
    lines = (client / "PrintScreenList.txt").read_bytes().split(b"\r\n")
    assert lines[-1] == b""
    listed = [line.split(b"\t") for line in lines[:-1]]
    assert listed and [int(n) for n, _, _ in listed] == list(range(1, len(listed) + 1))
    assert control(state, 1009)["items"] == ["%s*%s" % (w.decode(), h.decode()) for _, w, h in listed]
    assert control(state, 1009)["selection"] == -1

    # The current-file bar at half way shows the skin's colours, not a theme's.
    assert launcher.uiauto("send", id=1000, msg=0x402, wparam=50)["found"]
    shot = client / "shot.bmp"
    assert launcher.uiauto("screenshot", out=cf.windows_path(shot))["found"]
    width, height, rows = cf.read_bmp(shot.read_bytes())
    ARTIFACTS.mkdir(parents=True, exist_ok=True)
    (ARTIFACTS / "launcher_skinned_window.png").write_bytes(cf.png_from_rows(width, height, rows))
    x, y, w, h = cf.SKIN["#当前进度条"]
    assert rows[y + h // 2][x + w // 4] == cf.SKIN["#当前进度条前景色"]
    assert rows[y + h // 2][x + 3 * w // 4] == cf.SKIN["#当前进度条背景色"]
    x, y, w, h = cf.SKIN["#提示消息"]
    assert rows[y + h // 2][x + w // 2] == cf.SKIN["#提示消息颜色"]
    # The picture is half the window's size and drawn scaled: its hill fills the bottom corners.
    assert rows[440][330] == (24, 40, 32)
    assert rows[100][330][2] > rows[100][330][0]  # the sky's blue above

    # The picture is read at every paint: a replaced file shows at the next one.
    (client / "Image" / "Autopatch" / "BackGround.bmp").write_bytes(cf.bmp_24(66, 45, lambda x, y: (200, 120, 10)))
    assert launcher.uiauto("redraw")["found"]
    assert launcher.uiauto("screenshot", out=cf.windows_path(shot))["found"]
    _, _, rows = cf.read_bmp(shot.read_bytes())
    assert rows[100][330] == (200, 120, 10) and rows[250][200] == rows[200][600] == (200, 120, 10)

    assert launcher.uiauto("click", id=1007)["clicked"]  # the close button ends the launcher after its second
    assert launcher.wait_exit(60)


def test_resolution_choice_and_window_mode_are_saved_at_once(launcher, client):
    write_client(client)
    options = client / "AutopatchOption.opt"
    options.write_bytes(b"0\r\n1")
    launcher.start()
    state = launcher.wait_window()
    assert control(state, 1009)["selection"] == 0  # the saved number selects the first entry
    assert control(state, 1008)["check"] == 1  # the saved window mode is not restored
    assert options.read_bytes() == b"0\r\n1"

    launcher.uiauto("select", id=1009, index=0)
    assert options.read_bytes() == b"1\r\n1"
    launcher.uiauto("click", id=1008)
    assert wait_for(lambda: launcher.uiauto("inspect")["controls"] and
                    control(launcher.uiauto("inspect"), 1008)["check"] == 0, 30)
    launcher.uiauto("select", id=1009, index=0)
    assert options.read_bytes() == b"0\r\n1"


def test_saved_number_beyond_the_list_selects_nothing(launcher, client):
    write_client(client)
    (client / "AutopatchOption.opt").write_bytes(b"1\r\n99")
    launcher.start()
    assert control(launcher.wait_window(), 1009)["selection"] == -1
    assert launcher.uiauto("click", id=1006)["clicked"] is False  # the start button is disabled
    time.sleep(2)
    assert (client / "AutopatchOption.opt").read_bytes() == b"1\r\n99"


def test_missing_url_configuration_reports_once_and_goes_on(launcher, client):
    write_client(client, url=False)
    launcher.start()
    box = launcher.message_box()
    assert (box["box"]["title"], box["box"]["text"]) == ("错误", "配置列表加载失败!")
    # Start-up goes on to the update check; with no configured launcher version it differs from
    # this launcher's, so the player is told and the updater is started. The client folder has
    # none, which is the one other message before the launcher ends.
    prompt = launcher.message_box(text="更新功能需要更新，請稍候...")
    assert prompt["box"]["title"] == "提示"
    failed = launcher.message_box(text="更新功能程序啟動失敗!")
    assert failed["box"]["text"] == "更新功能程序啟動失敗!"
    assert launcher.wait_exit(60)


def test_missing_skin_reports_twice_and_places_nothing(launcher, client):
    write_client(client, skin=False)
    launcher.start()
    first = launcher.message_box()
    assert (first["box"]["title"], first["box"]["text"]) == ("错误", "界面配置加载失败!")
    second = launcher.message_box(text="登录器初始化失败!")
    assert second["box"]["title"] == "错误！"
    state = launcher.wait_window()
    assert state["message_boxes"] == []
    assert not state["window"]["has_region"]
    assert all(not entry["visible"] for entry in state["controls"])
    assert control(state, 1002)["text"] == "版本号"  # the template's caption, never replaced
    assert not (client / "PrintScreenList.txt").exists()
    launcher.uiauto("close")
    assert launcher.wait_exit(60)


@pytest.mark.parametrize("where", ["argument", "program path", "nowhere"])
def test_run_client_on_the_command_line_starts_the_game_by_itself(launcher, client, server, where):
    # Seen from outside, as the player sees it: an up-to-date client folder, and either the game
    # starts at once or the start button waits to be clicked.
    from test_launcher_patching import install_democlient, wait_done, write_client as write_patch_client
    (server.root_dir / "MyUpdata.txt").write_bytes(b"")
    write_patch_client(client, server.url)
    install_democlient(client)
    args = ["RunClient"] if where == "argument" else []
    exe_path = None
    if where == "program path":
        folder = client / "RunClientCopy"
        folder.mkdir()
        exe_path = folder / LAUNCHER
        shutil.copy(BIN / LAUNCHER, exe_path)
    try:
        launcher.start(*args, exe_path=exe_path)
        launcher.wait_window()
        state = wait_done(launcher)
        if where == "nowhere":
            assert control(state, 1006)["enabled"]
            assert not (client / "democlient.starts").exists()
        else:
            assert wait_for((client / "democlient.starts").exists, 60)
            assert len((client / "democlient.starts").read_text().split()) == 1
        launcher.uiauto("close")
        assert launcher.wait_exit(60)
    finally:
        launcher.uiauto("kill", exe="democlient.exe")
        launcher.uiauto("wait-exit", exe="democlient.exe", timeout=30000)


def test_western_code_page_still_reads_the_gbk_skin(launcher, client):
    write_client(client)
    assert launcher.uiauto("codepage", locale="C.UTF-8")["acp"] == 1252
    launcher.start(locale="C.UTF-8")
    state = launcher.wait_window()
    assert state["message_boxes"] == []
    assert_placed_as_skin(state)


def test_home_page_button_opens_the_configured_page(launcher, client):
    # The shell opens whatever the page names; a program is what this prefix can surely open.
    write_client(client)
    (client / "Image" / "Autopatch" / "AutoPatchURL.bin").write_bytes(
        cf.url_file(dict(URLS, HomePage="C:\\windows\\notepad.exe")))
    launcher.start()
    launcher.wait_window()
    try:
        assert launcher.uiauto("click", id=1005)["clicked"]
        opened = launcher.uiauto("wait-window", exe="notepad.exe", timeout=60000, wait=120)
        assert opened["found"] and opened["processes"] == 1
    finally:
        launcher.uiauto("kill", exe="notepad.exe")
