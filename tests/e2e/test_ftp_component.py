"""The FTP component as a game client uses it: the sample client ftpget.exe creates it through the
registered class and drives it through a hidden message window, against pyftpdlib and our
scripted faulty peer on loopback. Every downloaded file is compared byte for byte."""
import os
import re
import shutil
import socket
import subprocess
import sys

import pytest

from client_files import windows_path
from conftest import BIN, ROOT, WORK, wine_run

PEERS = ROOT / "ftpcomponent" / "asyncftp" / "tests" / "ftp_servers.py"
BIG = 5 * 1024 * 1024 + 7


def content(size):
    return bytes(((i * 131) + (i >> 9)) & 0xFF for i in range(size))


@pytest.fixture(scope="module")
def peers(wine):
    state = WORK / "ftp-peers"
    started = subprocess.run(["/usr/bin/python3", str(PEERS), "start", str(state)], capture_output=True, text=True)
    assert started.returncode == 0, started.stdout + started.stderr
    standard, scripted = (int(p) for p in (state / "ports").read_text().split())
    dll = windows_path(BIN / "Nimbrel.dll")
    assert wine_run(["regsvr32", "/s", dll]).returncode == 0
    yield standard, scripted
    wine_run(["regsvr32", "/s", "/u", dll])
    subprocess.run(["/usr/bin/python3", str(PEERS), "stop", str(state)], capture_output=True)


@pytest.fixture
def folder(request):
    path = WORK / ("ftp-" + request.node.name)
    shutil.rmtree(path, ignore_errors=True)
    path.mkdir(parents=True)
    return path


def ftpget(port, *steps, user="quenlor", password="secret", options=()):
    result = wine_run([BIN / "ftpget.exe", "--user", user, "--password", password, *options,
                       "127.0.0.1:%d" % port, *steps], timeout=300)
    lines = result.stdout.splitlines()
    return result.returncode, lines


def line(lines, prefix):
    found = [entry for entry in lines if entry.startswith(prefix)]
    assert found, "no %r in %r" % (prefix, lines)
    return found[0]


def traffic(lines):
    """Every posted message delivered exactly one result: none lost, no storm."""
    messages, completions, progress = (int(x) for x in re.match(
        r"messages (\d+) completions (\d+) progress (\d+)", lines[-1]).groups())
    assert messages == completions + progress, lines[-1]
    return completions, progress


def test_directories_and_listings_count_every_entry(peers):
    code, lines = ftpget(peers[0], "pwd", "list", "empty/*", "list", "one/*", "list", "three/*",
                         "list", "folders/*", "cd", "many/sub dir", "pwd")
    assert code == 0, lines
    assert line(lines, "connect") == "connect 1 success"
    pwds = [entry for entry in lines if entry.startswith("pwd")]
    assert pwds == ['pwd 1 success path "/"', 'pwd 1 success path "/many/sub dir"']
    counts = [entry for entry in lines if entry.startswith("list")]
    assert counts == ["list 1 success found 0", "list 1 success found 1", "list 1 success found 3",
                      "list 1 success found 2"]
    entries = [entry for entry in lines if entry.startswith("entry")]
    assert "entry file 10 only.txt" in entries
    assert {"entry file 0 a empty.txt", "entry dir 0 b folder", "entry file 3000 c data.bin"} <= set(entries)
    assert {"entry dir 0 x", "entry dir 0 y"} <= set(entries)
    assert traffic(lines) == (8, 0)


def test_log_in_refused_server_and_missing_folder_end_with_status_5(peers):
    code, lines = ftpget(peers[1], "pwd", user="bad", password="wrong")
    assert code == 1 and line(lines, "connect") == "connect 5 failed-connection-closed"
    assert "pwd skipped: not connected" in lines
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        closed = s.getsockname()[1]
    code, lines = ftpget(closed)
    assert code == 1 and line(lines, "connect").startswith("connect 5")
    code, lines = ftpget(peers[0], "cd", "/no such folder", "pwd")
    assert code == 1
    assert line(lines, "cd ") == "cd 5 failed-connection-closed"
    assert "pwd skipped: not connected" in lines


def test_downloads_arrive_whole_and_a_missing_file_keeps_the_connection(peers, folder):
    (folder / "b1025.bin").write_bytes(b"x" * 9000)  # replaced entirely
    code, lines = ftpget(peers[0], "get", "b1024.bin", windows_path(folder / "b1024.bin"),
                         "get", "empty.bin", windows_path(folder / "empty.bin"),
                         "get", "no such file", windows_path(folder / "missing.bin"),
                         "get", "b1025.bin", windows_path(folder / "b1025.bin"),
                         "get", "big.bin", windows_path(folder / "big.bin"))
    assert code == 1, lines  # one operation did not succeed
    gets = [entry for entry in lines if entry.startswith("get ")]
    assert gets == ["get 1 success bytes 1024", "get 1 success bytes 0", "get 4 remote-file-not-opened bytes 0",
                    "get 1 success bytes 1025", "get 1 success bytes %d" % BIG]
    assert (folder / "b1024.bin").read_bytes() == content(1024)
    assert (folder / "empty.bin").exists() and (folder / "empty.bin").read_bytes() == b""
    assert not (folder / "missing.bin").exists()
    assert (folder / "b1025.bin").read_bytes() == content(1025)
    assert (folder / "big.bin").read_bytes() == content(BIG)
    big = lines[lines.index("get 1 success bytes 1025") + 1:]
    progress = [int(entry.split()[1]) for entry in big if entry.startswith("progress")]
    assert progress and progress == sorted(progress) and progress[-1] <= BIG
    traffic(lines)


def test_resume_continues_whole_kilobytes(peers, folder):
    (folder / "big.bin").write_bytes(b"M" * 4096 + b"g" * 904)  # REST 4096: the marked part stays
    (folder / "b1025.bin").write_bytes(b"g" * 1023)  # below 1024: written from byte 0
    code, lines = ftpget(peers[0], "get", "big.bin", windows_path(folder / "big.bin"),
                         "get", "b1025.bin", windows_path(folder / "b1025.bin"),
                         "get", "b1023.bin", windows_path(folder / "new.bin"), options=["--resume"])
    assert code == 0, lines
    assert (folder / "big.bin").read_bytes() == b"M" * 4096 + content(BIG)[4096:]
    first = [int(entry.split()[1]) for entry in lines if entry.startswith("progress")][0]
    assert first > 4096
    assert (folder / "b1025.bin").read_bytes() == content(1025)
    assert (folder / "new.bin").read_bytes() == content(1023)


def test_cut_off_transfer_ends_with_status_5(peers, folder):
    code, lines = ftpget(peers[1], "get", "big.bin", windows_path(folder / "cut.bin"), "pwd", user="drop",
                         password="x")
    assert code == 1
    assert line(lines, "get ").startswith("get 5 failed-connection-closed")
    assert "pwd skipped: not connected" in lines
    data = (folder / "cut.bin").read_bytes()
    assert data == content(BIG)[:len(data)]


def test_full_local_disk_ends_with_status_8(peers, folder):
    disk = folder / "disk"
    disk.mkdir()
    mounted = subprocess.run(["mount", "-t", "tmpfs", "-o", "size=512k", "tmpfs", str(disk)], capture_output=True)
    if mounted.returncode != 0:
        pytest.skip("a small tmpfs cannot be mounted here: %s" % mounted.stderr.decode(errors="replace"))
    try:
        code, lines = ftpget(peers[0], "get", "big.bin", windows_path(disk / "big.bin"))
        assert code == 1
        assert line(lines, "get ").startswith("get 8 local-write-failed")
        data = (disk / "big.bin").read_bytes()
        assert len(data) <= 512 * 1024 and data == content(BIG)[:len(data)]
    finally:
        subprocess.run(["umount", "-l", str(disk)], capture_output=True)


def test_disconnect_and_close_during_a_download(peers, folder):
    code, lines = ftpget(peers[0], "get", "big.bin", windows_path(folder / "big.bin"), "quiet", "1500",
                         options=["--disconnect-at", "1"])
    assert code == 0, lines
    at = int(re.search(r"disconnect at (\d+): 0", "\n".join(lines)).group(1))
    assert line(lines, "get ").startswith("get 7 disconnected")
    assert "quiet 0 messages" in lines  # late callbacks post nothing
    data = (folder / "big.bin").read_bytes()
    assert len(data) <= at + 0x20000 and data == content(BIG)[:len(data)]

    code, lines = ftpget(peers[0], "get", "big.bin", windows_path(folder / "closed.bin"), options=["--close-at", "1"])
    assert code == 0, lines
    assert re.search(r"^close at \d+: 0$", "\n".join(lines), re.M)
    data = (folder / "closed.bin").read_bytes()
    assert data == content(BIG)[:len(data)]


def test_an_idle_connection_the_server_dropped_is_reported_dead_and_the_next_connect_works(peers, folder):
    # The peer closes the control connection after each file: the second get must not read as a
    # missing file (4) but as a lost connection (5); a fresh ftpget connects and gets it.
    code, lines = ftpget(peers[1], "get", "b1025.bin", windows_path(folder / "a.bin"),
                         "get", "b1024.bin", windows_path(folder / "b.bin"), user="idledrop", password="x")
    assert code == 1, lines
    gets = [entry for entry in lines if entry.startswith("get ")]
    assert gets == ["get 1 success bytes 1025", "get 5 failed-connection-closed bytes 0"]
    code, lines = ftpget(peers[1], "get", "b1024.bin", windows_path(folder / "b.bin"), user="idledrop", password="x")
    assert code == 0, lines
    assert (folder / "b.bin").read_bytes() == content(1024)


def test_an_option_without_its_value_is_named_and_exits_2(wine):
    for option in ("--user", "--timeout", "--dll"):
        result = wine_run([BIN / "ftpget.exe", option])
        said = result.stdout + result.stderr  # the runner passes the program's two streams as one
        assert result.returncode == 2, said
        assert "option %s needs a value" % option in said
        assert "unknown option" not in said
