"""The patch-server test kit works: nginx serves a sample patch folder, the fault server fails as
asked, and the sample's manifest is what the operator tool and the launcher's rules expect."""
import hashlib
import http.client
import os
import socket
import sys
import urllib.error
import urllib.request

import pytest

sys.path.insert(0, os.path.dirname(__file__))
from conftest import wait_for  # noqa: E402
from servers import fault_server, nginx_server, sample_client  # noqa: E402


def fetch(url, timeout=10):
    with urllib.request.urlopen(url, timeout=timeout) as response:
        return response.status, dict(response.headers), response.read()


@pytest.fixture
def sample(tmp_path):
    return sample_client.make_sample(str(tmp_path / "sample"))


def test_sample_manifest_lists_every_server_file_and_the_client_lacks_the_wanted_ones(sample):
    with open(sample.manifest, "rb") as f:
        manifest = f.read()
    lines = manifest.split(b"\r\n")
    assert lines[-1] == b"" and all(b"\n" not in line for line in lines)
    records = dict(line.split(b"|") for line in lines[:-1])
    assert len(records) == len(sample.files)
    for path, data in sample.files.items():
        assert records[path.encode("gbk")] == hashlib.md5(data).hexdigest().upper().encode()
    assert sample_client.verify(sample.server, sample.manifest)[0] == 0
    status, report = sample_client.verify(sample.client, sample.manifest)
    assert status == 2
    assert "differs \\Data\\map02.pak" in report and "missing \\Data\\Patch\\map03.pak" in report
    assert "6 entries: 3 match, 2 differ, 1 missing, 0 refused" in report


def test_nginx_serves_the_patch_folder_and_logs_each_request(sample, tmp_path):
    server = nginx_server.NginxServer(sample.server, str(tmp_path / "nginx"))
    with server:
        status, headers, body = fetch(server.url + "/MyUpdata.txt")
        assert status == 200 and int(headers["Content-Length"]) == len(body)
        with open(sample.manifest, "rb") as f:
            assert body == f.read()
        _, _, data = fetch(server.url + "/Data/Patch/map03.pak?abc=1765245600")
        assert data == sample.files["\\Data\\Patch\\map03.pak"]
        with pytest.raises(urllib.error.HTTPError) as missing:
            fetch(server.url + "/Data/nothing.pak")
        assert missing.value.code == 404
        # nginx writes a request's log line only after sending its answer: wait for the 404's.
        assert wait_for(lambda: len(server.requests()) >= 3, 10), server.requests()
        served = server.requests()
        assert [uri for uri, _, _ in served] == [
            "/MyUpdata.txt", "/Data/Patch/map03.pak?abc=1765245600", "/Data/nothing.pak"]
        assert [status for _, status, _ in served] == [200, 200, 404]
        port = server.port
    # Stopped: nothing listens any more and the process is gone.
    with socket.socket() as s:
        assert s.connect_ex(("127.0.0.1", port)) != 0
    assert server.process is None


def test_fault_server_misbehaves_per_path(tmp_path):
    root = tmp_path / "root"
    root.mkdir()
    (root / "plain.bin").write_bytes(b"x" * 5000)
    body = bytes(range(256)) * 100
    with fault_server.FaultServer(root=str(root)) as server:
        server.set("/missing.bin", fault_server.Status(404))
        server.set("/MyUpdata.txt", fault_server.Status(404))
        server.set("/nolength.bin", fault_server.NoLength(body))
        server.set("/cut.bin", fault_server.CutOff(body, keep=1000))
        server.set("/stall.bin", fault_server.Stall(body, keep=100, seconds=30))
        server.set("/reset.bin", fault_server.Reset(body, keep=2000))

        assert fetch(server.url + "/plain.bin?abc=1")[2] == b"x" * 5000
        with pytest.raises(urllib.error.HTTPError) as error:
            fetch(server.url + "/missing.bin")
        assert error.value.code == 404
        page = error.value.read()
        assert b"404" in page and b"|" not in page  # an error page never holds a manifest entry

        status, headers, data = fetch(server.url + "/nolength.bin")
        assert status == 200 and "Content-Length" not in headers and data == body

        with pytest.raises(http.client.IncompleteRead) as cut:
            fetch(server.url + "/cut.bin")
        assert len(cut.value.partial) == 1000

        with pytest.raises((socket.timeout, TimeoutError)):
            fetch(server.url + "/stall.bin", timeout=1)

        with pytest.raises((ConnectionResetError, http.client.IncompleteRead)):
            fetch(server.url + "/reset.bin")

        assert [(path, query, fault) for path, query, fault in server.log][:2] == [
            ("/plain.bin", "abc=1", "ok"), ("/missing.bin", "", "status")]


def test_url_config_reads_back_through_the_operator_tool(sample, tmp_path):
    path = sample_client.write_url_config(sample.client, "http://127.0.0.1:8080/patch", line="电信一区")
    out = tmp_path / "url.txt"
    result = sample_client._qlconfig("unscramble", path, str(out))
    assert result.returncode == 0, result.stderr
    text = out.read_bytes().decode("utf-8")
    assert "*UpUrl http://127.0.0.1:8080/patch\r\n" in text
    assert "*Line 电信一区\r\n" in text and "*LunchVer 2022091302\r\n" in text
