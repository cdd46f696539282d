"""Ending the launcher at any moment of patching: closed by the player during verification or
during the last file (by the close button, Esc, Enter, Alt+F4 or a close message), or killed
outright. Afterwards every client file holds its old or its new
bytes, never a mixture; no temporary file is left; nothing completes after a close (no game
start, no option file written)."""
import os
import random

import pytest

from conftest import Launcher, wait_for
from servers.fault_server import Fault, Ok, Slow, Stall, _announce, _send_part
from test_launcher_patching import (STAGED_SUFFIX, TIP, digest, install_democlient, local, manifest, wait_receiving,
                                    write_client)

CLOSE = 1007
CHECKING = "文件查驗中..."
MIB = 1024 * 1024


class HeldOpen(Fault):
    """Announces the body and sends it a piece at a time, but never its last byte while the server
    runs: the file is being received for as long as the test needs and cannot complete, whatever
    the pace of the launcher. The reads keep returning, so a launcher told to stop sees it."""
    name = "held_open"

    def __init__(self, body, piece=4096, pause=0.2):
        self.body = body
        self.piece = piece
        self.pause = pause

    def serve(self, handler):
        _announce(handler, len(self.body))
        sent, last = 0, len(self.body) - 1
        while sent < last:
            upto = min(sent + self.piece, last)
            _send_part(handler, self.body[sent:upto])
            sent = upto
            if handler.server.stopping.wait(self.pause):
                return
        handler.server.stopping.wait(600)
        handler.close_connection = True


# The player's ways of ending the window other than its close button, as uiauto sends them: the
# dialog's Cancel and OK keys, Alt+F4 (the system's close command), and a close message.
VK_RETURN, VK_ESCAPE, VK_F4 = 0x0D, 0x1B, 0x73
CLOSE_WAYS = {
    "Esc": ("key", {"vk": VK_ESCAPE}),
    "Enter": ("key", {"vk": VK_RETURN}),
    "Alt+F4": ("key", {"vk": VK_F4, "alt": 1}),
    "WM_CLOSE": ("close", {}),
}


def temporaries(folder):
    return [p for p in folder.rglob("*") if p.name.endswith(STAGED_SUFFIX)]


def close_and_wait(launcher):
    assert launcher.uiauto("click", id=CLOSE)["clicked"]
    assert launcher.wait_exit(90)
    # Wine reports a fault of the program on its way out; a clean end prints none.
    assert "Unhandled" not in launcher.output, launcher.output


def test_close_during_verification_of_a_large_client_ends_cleanly_and_changes_nothing(launcher, client, server):
    # Large files of zeros, sparse on disk: hashing them costs the same as any other content.
    size = 200 * MIB
    entries = []
    zeros_digest = digest(bytes(size))
    big = [client / ("big%d.pak" % index) for index in range(4)]
    for index, path in enumerate(big):
        with open(path, "wb") as f:
            f.truncate(size)
        entries.append(("\\" + path.name, zeros_digest))
    # The last entry is wanted: had verification gone on to its end, a download would be asked for.
    (client / "wanted.dat").write_bytes(b"old")
    entries.append(("\\wanted.dat", b"new"))
    server.set("/wanted.dat", Ok(b"new"))
    (server.root_dir / "MyUpdata.txt").write_bytes(manifest(entries))
    write_client(client, server.url)
    stats = [(p.stat().st_size, p.stat().st_mtime_ns) for p in big]
    launcher.start()
    # Clicked by the watcher itself the moment verification shows, long before it could end.
    caught = launcher.uiauto("wait-text", id=TIP, text=CHECKING, then_click=CLOSE, timeout=60000)
    assert caught["found"], caught
    assert launcher.wait_exit(90)
    assert "Unhandled" not in launcher.output, launcher.output
    assert [entry[0] for entry in server.log] == ["/MyUpdata.txt"]
    assert [(p.stat().st_size, p.stat().st_mtime_ns) for p in big] == stats
    assert (client / "wanted.dat").read_bytes() == b"old"
    assert not temporaries(client)


@pytest.mark.parametrize("run_client", [False, True], ids=["start_button", "RunClient"])
def test_close_during_the_last_file_completes_nothing(launcher, client, server, run_client):
    new = b"L" * 200000
    (client / "last.dat").write_bytes(b"old last")
    server.set("/last.dat", Slow(new, piece=4096, pause=0.5))
    (server.root_dir / "MyUpdata.txt").write_bytes(manifest([("\\last.dat", new)]))
    write_client(client, server.url)
    install_democlient(client)
    # The player's saved choice: window mode on, the second resolution.
    (client / "AutopatchOption.opt").write_bytes(b"1\r\n2")
    options_before = (client / "AutopatchOption.opt").read_bytes()
    if run_client:
        launcher.start("RunClient")
    else:
        launcher.start()
    launcher.wait_window()
    assert wait_receiving(launcher, 1)
    close_and_wait(launcher)
    assert (client / "AutopatchOption.opt").read_bytes() == options_before
    assert (client / "last.dat").read_bytes() == b"old last"
    assert not (client / "democlient.starts").exists() and not (client / "democlient.record").exists()
    assert not temporaries(client)


def test_close_while_a_read_is_blocked_leaves_no_temporary_file(launcher, client, server):
    """The server sends part of the file, then nothing: the transfer thread sits in a read that
    outlasts every wait of the close path, and the process ends around it."""
    new = b"B" * 300000
    (client / "blocked.dat").write_bytes(b"old blocked")
    server.set("/blocked.dat", Stall(new, keep=20000, seconds=120))
    (server.root_dir / "MyUpdata.txt").write_bytes(manifest([("\\blocked.dat", new)]))
    write_client(client, server.url)
    launcher.start()
    launcher.wait_window()
    staged = client / ("blocked.dat" + STAGED_SUFFIX)
    assert wait_for(staged.exists, 120)
    close_and_wait(launcher)
    assert (client / "blocked.dat").read_bytes() == b"old blocked"
    assert wait_for(lambda: not temporaries(client), 10), temporaries(client)


def test_hard_kills_at_random_moments_leave_every_file_old_or_new(wine, client, server):
    # A round costs about twenty seconds under the emulator: the suite kills at eight moments; the
    # stress command (QUENLOR_KILL_ROUNDS, QUENLOR_KILL_SEED) at as many as it is asked for.
    rounds = int(os.environ.get("QUENLOR_KILL_ROUNDS", "8"))
    rng = random.Random(int(os.environ.get("QUENLOR_KILL_SEED", "15")))
    names = ["Data\\one.pak", "Data\\two.pak", "three.pak", "four.pak"]
    old = {name: bytes([index]) * (3 * MIB + index) for index, name in enumerate(names)}
    new = {name: bytes([0x80 + index]) * (4 * MIB - index) for index, name in enumerate(names)}
    (client / "Data").mkdir()
    for name in names:
        server.set("/" + name.replace("\\", "/"), Ok(new[name]))
    (server.root_dir / "MyUpdata.txt").write_bytes(manifest([("\\" + name, new[name]) for name in names]))
    write_client(client, server.url)
    moments = []
    for round_number in range(rounds):
        # Each round starts from a mixture, so there is always something to verify and fetch.
        for name in names:
            local(client, "\\" + name).write_bytes(old[name] if rng.random() < 0.7 else new[name])
        delay = rng.uniform(0.0, 8.0)
        moments.append(round(delay, 2))
        driver = Launcher(client)
        try:
            driver.start()
            driver.wait_window()
            wait_for(lambda: False, delay)
            driver.uiauto("kill")
            assert driver.wait_exit(60)
        finally:
            driver.stop()
        # The system removes a temporary file with its last handle, as the killed process ends.
        assert wait_for(lambda: not temporaries(client), 10), (round_number, moments, temporaries(client))
        for name in names:
            content = local(client, "\\" + name).read_bytes()
            assert content in (old[name], new[name]), (round_number, moments, name, len(content))


@pytest.mark.parametrize("way", list(CLOSE_WAYS))
def test_every_way_of_closing_during_the_last_file_under_run_client_starts_nothing(launcher, client, server, way):
    new = b"K" * (4 * MIB)
    (client / "last.dat").write_bytes(b"old last")
    server.set("/last.dat", HeldOpen(new))
    (server.root_dir / "MyUpdata.txt").write_bytes(manifest([("\\last.dat", new)]))
    write_client(client, server.url)
    install_democlient(client)
    (client / "AutopatchOption.opt").write_bytes(b"1\r\n2")
    launcher.start("RunClient")
    launcher.wait_window()
    assert wait_receiving(launcher, 1)
    # Both option files as they stand once the window is up (the screen list is written at start).
    options = {name: (client / name).read_bytes() for name in ("AutopatchOption.opt", "PrintScreenList.txt")}
    command, arguments = CLOSE_WAYS[way]
    sent = launcher.uiauto(command, **arguments)
    assert sent["found"], sent
    assert launcher.wait_exit(90), (way, sent)
    assert "Unhandled" not in launcher.output, launcher.output
    assert {name: (client / name).read_bytes() for name in options} == options
    assert (client / "last.dat").read_bytes() == b"old last"
    assert not (client / "democlient.starts").exists() and not (client / "democlient.record").exists()
    assert wait_for(lambda: not temporaries(client), 10), temporaries(client)
