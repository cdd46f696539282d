"""What the player sees of a download's progress: the current bar and the download text end every
file at its full length with nothing missing, whether the file came in one piece or in hundreds,
and the run ends with both bars full and "完成". The file after the one looked at is held back by
the server until the test has read the window, so every look sees a file's final state."""
import hashlib

from conftest import control, wait_for
from servers.fault_server import Held, Ok
from test_launcher_patching import CURRENT_BAR, DOWNLOAD, TIP, TOTAL_BAR, manifest, wait_done, write_client

SMALL_COUNT = 40


def progress_text(name, length, missing):
    return "文件:%s 大小:%d KB 剩余:%d KB " % (name, length // 1024, missing >> 10)


def body(seed, length):
    block = hashlib.sha256(b"%d" % seed).digest()
    return (block * (length // len(block) + 1))[:length]


def bar(state, bar_id):
    entry = control(state, bar_id)
    return entry["range_low"], entry["range_high"], entry["pos"]


def state_when_asked_for(launcher, server, held_name):
    """The window once the launcher has asked for a held file: the file before it has ended, the
    held one has begun (its count and the overall bar are set before the request) and nothing
    moves until the test releases it."""
    assert wait_for(lambda: any(path == "/" + held_name for path, _, _ in server.log), 300), server.log
    return launcher.uiauto("inspect")


def test_bars_and_texts_end_each_file_full_for_many_small_files_and_one_large(launcher, client, server):
    large = ("big.pak", body(0, 3 * 1024 * 1024 + 517))  # hundreds of pieces
    smalls = [("s%02d.pak" % i, body(i + 1, 1000 + 97 * i)) for i in range(SMALL_COUNT)]
    files = smalls + [large]  # fetched from the back: the large file first, then s39 .. s00
    total = len(files)
    for name, data in files:
        server.set("/" + name, Ok(data))
    # Held: the file after the large one, and the last small file (s01 is fetched before s00).
    after_large = Held(Ok(smalls[-1][1]))
    server.set("/" + smalls[-1][0], after_large)
    last_small = Held(Ok(smalls[0][1]))
    server.set("/" + smalls[0][0], last_small)
    (server.root_dir / "MyUpdata.txt").write_bytes(manifest([("\\" + name, data) for name, data in files]))
    write_client(client, server.url)
    launcher.start()
    launcher.wait_window()
    try:
        name, data = large
        state = state_when_asked_for(launcher, server, smalls[-1][0])
        assert control(state, DOWNLOAD)["text"] == progress_text(name, len(data), 0)
        assert bar(state, CURRENT_BAR) == (0, len(data), len(data))
        assert bar(state, TOTAL_BAR) == (0, total, 2)  # the next file has begun, held by the server
        assert control(state, TIP)["text"] == "需下載數[%d]" % (total - 1)
        after_large.release()

        name, data = smalls[1]
        state = state_when_asked_for(launcher, server, smalls[0][0])
        assert control(state, DOWNLOAD)["text"] == progress_text(name, len(data), 0)
        assert bar(state, CURRENT_BAR) == (0, len(data), len(data))
        assert bar(state, TOTAL_BAR) == (0, total, total)
        assert control(state, TIP)["text"] == "需下載數[1]"
    finally:
        after_large.release()
        last_small.release()

    state = wait_done(launcher, 300)
    assert control(state, DOWNLOAD)["text"] == "完成"
    assert bar(state, CURRENT_BAR) == (0, 1, 1)
    assert bar(state, TOTAL_BAR) == (0, total, total)
    for name, data in files:
        assert (client / name).read_bytes() == data, name
