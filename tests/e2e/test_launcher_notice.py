"""The notice page in the launcher's window under Wine, where no notice page can load: the HTML
engine is not installed, and the Wine runner leaves the browser control out (see the README's
notes). The view must then exist, hidden at the skin's rectangle with the window's picture showing
through, while patching goes on as it does without a notice page."""
import time

import client_files as cf
from conftest import control
from servers.fault_server import Ok
from test_launcher_patching import DOWNLOAD, START, TIP, local, manifest, write_client

NOTICE = 138
PAGE = b"<html><body style='background:#00ff00'><p>notice</p></body></html>"


def watch_until_done(launcher, timeout=180):
    """Every window state seen from the first inspection until the tip shows "完成"."""
    states = []
    end = time.time() + timeout
    while time.time() < end:
        state = launcher.uiauto("inspect")
        if state.get("found") and any(c["id"] == TIP for c in state["controls"]):
            states.append(state)
            if control(state, TIP)["text"] == "完成":
                return states
        time.sleep(0.3)
    raise AssertionError("patching did not complete: %r" % (states[-1:] or None))


def patch_with_notice(launcher, client, server, gg_url, skin=None):
    files = {"\\Data\\new.pak": bytes(range(256)) * 64}
    (client / "Data").mkdir()
    server.set("/Data/new.pak", Ok(files["\\Data\\new.pak"]))
    (server.root_dir / "MyUpdata.txt").write_bytes(manifest(files.items()))
    write_client(client, server.url, extra={"GGUrl": gg_url} if gg_url is not None else None)
    if skin is not None:
        (client / "Image" / "Autopatch" / "AutoPatchDlg.bin").write_bytes(cf.skin_file(skin))
    # One colour for the whole picture, so what shows through the notice's place is known.
    (client / "Image" / "Autopatch" / "BackGround.bmp").write_bytes(cf.bmp_24(66, 45, lambda x, y: (200, 120, 10)))
    launcher.start()
    launcher.wait_window()
    states = watch_until_done(launcher)
    assert control(states[-1], START)["enabled"] and control(states[-1], DOWNLOAD)["text"] == "完成"
    assert local(client, "\\Data\\new.pak").read_bytes() == files["\\Data\\new.pak"]
    return states


def test_notice_view_stays_hidden_at_its_rectangle_while_the_page_cannot_load(launcher, client, server):
    server.set("/notice/gg.html", Ok(PAGE, content_type="text/html"))
    states = patch_with_notice(launcher, client, server, server.url + "/notice/gg.html")
    # Seen again after patching: a late page event must not show it either.
    time.sleep(2)
    states.append(launcher.uiauto("inspect"))
    x, y, width, height = cf.SKIN["#公告"]
    for state in states:
        view = control(state, NOTICE)
        assert not view["visible"], view
        assert (view["x"], view["y"], view["width"], view["height"]) == (x, y, width, height), view

    # Without a browser nothing asks for the page; the launcher's own requests are unchanged.
    assert [entry[0] for entry in server.log] == ["/MyUpdata.txt", "/Data/new.pak"]

    # Where the view would be, the window's own picture shows.
    shot = client / "shot.bmp"
    assert launcher.uiauto("screenshot", out=cf.windows_path(shot))["found"]
    _, _, rows = cf.read_bmp(shot.read_bytes())
    for px, py in ((x + 1, y + 1), (x + width // 2, y + height // 2), (x + width - 2, y + height - 2)):
        assert rows[py][px] == (200, 120, 10), (px, py, rows[py][px])


def test_without_notice_address_or_section_the_view_has_no_area_and_patching_goes_on(launcher, client, server):
    skin = {section: values for section, values in cf.SKIN.items() if section != "#公告"}
    states = patch_with_notice(launcher, client, server, None, skin=skin)
    for state in states:
        view = control(state, NOTICE)
        assert not view["visible"], view
        assert (view["x"], view["y"], view["width"], view["height"]) == (0, 0, 0, 0), view
    assert [entry[0] for entry in server.log] == ["/MyUpdata.txt", "/Data/new.pak"]

