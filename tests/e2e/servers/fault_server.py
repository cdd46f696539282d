"""A small HTTP server of ours that misbehaves on chosen paths, for the launcher's fault tests.

    server = FaultServer(root=folder).start()
    server.set("/Data/a.pak", Status(404))
    server.set("/Data/b.pak", CutOff(body, keep=1000))   # announces all, sends 1000 bytes, closes
    server.set("/MyUpdata.txt", NoLength(text))
    server.set("/b.bmp", Gate(Ok(body), after="/Data/c.pak"))  # answered once c.pak was sent
    ...
    server.stop()

Paths are matched without their query string. A path without a fault is served from root (or
404 when there is no such file). Every request is logged in server.log as (path, query, fault name).
"""
import http.server
import os
import socket
import struct
import threading
import time
import urllib.parse


class Fault:
    name = "fault"

    def serve(self, handler):
        raise NotImplementedError


def _announce(handler, length, close=False):
    """A 200 head announcing length body bytes."""
    handler.send_response(200)
    handler.send_header("Content-Type", "application/octet-stream")
    handler.send_header("Content-Length", str(length))
    if close:
        handler.send_header("Connection", "close")
    handler.end_headers()


def _send_part(handler, data):
    handler.wfile.write(data)
    handler.wfile.flush()


class Ok(Fault):
    """A plain 200 answer with Content-Length."""
    name = "ok"

    def __init__(self, body, content_type="application/octet-stream"):
        self.body = body
        self.content_type = content_type

    def serve(self, handler):
        handler.send_response(200)
        handler.send_header("Content-Type", self.content_type)
        handler.send_header("Content-Length", str(len(self.body)))
        handler.end_headers()
        _send_part(handler, self.body)


class Status(Fault):
    """Any status with a body, by default an error page (also usable as a fake manifest)."""
    name = "status"

    def __init__(self, code, body=None):
        self.code = code
        self.body = body if body is not None else (
            "<html>\r\n<head><title>%d Error</title></head>\r\n<body>\r\n<center><h1>%d Error</h1></center>\r\n"
            "</body>\r\n</html>\r\n" % (code, code)).encode()

    def serve(self, handler):
        handler.send_response(self.code)
        handler.send_header("Content-Type", "text/html")
        handler.send_header("Content-Length", str(len(self.body)))
        handler.end_headers()
        handler.wfile.write(self.body)


class NoLength(Fault):
    """200 without Content-Length; the body ends when the connection closes."""
    name = "no_length"

    def __init__(self, body):
        self.body = body

    def serve(self, handler):
        handler.send_response(200)
        handler.send_header("Content-Type", "application/octet-stream")
        handler.send_header("Connection", "close")
        handler.end_headers()
        handler.wfile.write(self.body)
        handler.close_connection = True


class CutOff(Fault):
    """Announces the whole body, sends only the first `keep` bytes, then closes cleanly."""
    name = "cut_off"

    def __init__(self, body, keep):
        self.body = body
        self.keep = keep

    def serve(self, handler):
        _announce(handler, len(self.body), close=True)
        _send_part(handler, self.body[:self.keep])
        handler.close_connection = True


class Stall(Fault):
    """Announces the body, sends `keep` bytes, then sends nothing for `seconds` (or until stop)
    and closes without the rest."""
    name = "stall"

    def __init__(self, body, keep, seconds):
        self.body = body
        self.keep = keep
        self.seconds = seconds

    def serve(self, handler):
        _announce(handler, len(self.body))
        _send_part(handler, self.body[:self.keep])
        handler.server.stopping.wait(self.seconds)
        handler.close_connection = True


class Reset(Fault):
    """Announces the body, sends `keep` bytes, then resets the connection (RST, not FIN)."""
    name = "reset"

    def __init__(self, body, keep):
        self.body = body
        self.keep = keep

    def serve(self, handler):
        _announce(handler, len(self.body))
        _send_part(handler, self.body[:self.keep])
        handler.connection.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
        handler.connection.close()
        handler.close_connection = True


class Slow(Fault):
    """The whole body in pieces with a pause between them: a transfer that can be interrupted."""
    name = "slow"

    def __init__(self, body, piece, pause):
        self.body = body
        self.piece = piece
        self.pause = pause

    def serve(self, handler):
        _announce(handler, len(self.body))
        for at in range(0, len(self.body), self.piece):
            _send_part(handler, self.body[at:at + self.piece])
            if handler.server.stopping.wait(self.pause):
                break


class Announced(Fault):
    """200 announcing `length` as given (any text, say one no 32-bit number holds), then the body,
    then close."""
    name = "announced"

    def __init__(self, body, length):
        self.body = body
        self.length = length

    def serve(self, handler):
        handler.send_response(200)
        handler.send_header("Content-Type", "application/octet-stream")
        handler.send_header("Content-Length", str(self.length))
        handler.send_header("Connection", "close")
        handler.end_headers()
        _send_part(handler, self.body)
        handler.close_connection = True


class Overrun(Fault):
    """Announces the body's length, then sends `extra` bytes after the body, then closes."""
    name = "overrun"

    def __init__(self, body, extra):
        self.body = body
        self.extra = extra

    def serve(self, handler):
        _announce(handler, len(self.body), close=True)
        _send_part(handler, self.body + self.extra)
        handler.close_connection = True


class HoldRest(Fault):
    """Announces the body, sends its first `keep` bytes, and sends the rest only once the server
    has sent the whole answer to the path `after` (or stops): a download kept running until
    another one was answered, whatever the clock says."""
    name = "hold_rest"

    def __init__(self, body, keep, after):
        self.body = body
        self.keep = keep
        self.after = after

    def serve(self, handler):
        server = handler.server
        _announce(handler, len(self.body))
        _send_part(handler, self.body[:self.keep])
        with server.sent_changed:
            server.sent_changed.wait_for(lambda: self.after in server.sent or server.stopping.is_set(), 300)
        _send_part(handler, self.body[self.keep:])


class Gate(Fault):
    """Holds the answer until the server has sent the whole answer to another path (or stops), so
    a test orders two downloads by what the server did, not by the clock."""

    def __init__(self, inner, after):
        self.inner = inner
        self.after = after
        self.name = inner.name

    def serve(self, handler):
        server = handler.server
        with server.sent_changed:
            server.sent_changed.wait_for(lambda: self.after in server.sent or server.stopping.is_set(), 300)
        self.inner.serve(handler)


class Held(Fault):
    """Holds the answer until the test calls release() (or the server stops): the window's state
    left by the file before stands still, however slow the machine, until the test has read it."""

    def __init__(self, inner):
        self.inner = inner
        self.name = inner.name
        self.released = threading.Event()

    def release(self):
        self.released.set()

    def serve(self, handler):
        server = handler.server
        while not self.released.wait(0.1):
            if server.stopping.is_set():
                break
        self.inner.serve(handler)


class Late(Fault):
    """Holds the answer for `seconds` (or until stop) before giving it, so the launcher's text for
    the file stands far longer than a watcher's poll, whatever becomes of the file then."""

    def __init__(self, inner, seconds):
        self.inner = inner
        self.seconds = seconds
        self.name = inner.name

    def serve(self, handler):
        handler.server.stopping.wait(self.seconds)
        self.inner.serve(handler)


class Raw(Fault):
    """Exactly these bytes as the whole answer (status line and headers included), then close."""
    name = "raw"

    def __init__(self, data):
        self.data = data

    def serve(self, handler):
        _send_part(handler, self.data)
        handler.close_connection = True


class _Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, *args):
        pass

    def do_GET(self):
        parsed = urllib.parse.urlsplit(self.path)
        path = urllib.parse.unquote(parsed.path, encoding="latin-1")
        fault = self.server.faults.get(path)
        if fault is None:
            fault = self._from_root(path)
        with self.server.lock:
            self.server.log.append((path, parsed.query, fault.name))
        try:
            fault.serve(self)
        except (BrokenPipeError, ConnectionResetError):
            self.close_connection = True
            return
        with self.server.sent_changed:
            self.server.sent.add(path)
            self.server.sent_changed.notify_all()

    def _from_root(self, path):
        root = self.server.root
        if root:
            full = os.path.realpath(os.path.join(root, path.lstrip("/")))
            if full.startswith(os.path.realpath(root) + os.sep) and os.path.isfile(full):
                with open(full, "rb") as f:
                    return Ok(f.read())
        return Status(404)


class _Server(http.server.ThreadingHTTPServer):
    daemon_threads = True
    allow_reuse_address = True


class FaultServer:
    def __init__(self, root=None):
        self._server = _Server(("127.0.0.1", 0), _Handler)
        self._server.root = os.path.abspath(root) if root else None
        self._server.faults = {}
        self._server.log = []
        self._server.lock = threading.Lock()
        self._server.stopping = threading.Event()
        self._server.sent = set()  # paths whose whole answer has been sent
        self._server.sent_changed = threading.Condition()
        self._thread = None

    @property
    def port(self):
        return self._server.server_address[1]

    @property
    def url(self):
        return "http://127.0.0.1:%d" % self.port

    @property
    def log(self):
        with self._server.lock:
            return list(self._server.log)

    def set(self, path, fault):
        """path as requested, e.g. "/Data/a.pak" (the bytes of a GBK name as latin-1)."""
        self._server.faults[path] = fault

    def start(self):
        self._thread = threading.Thread(target=self._server.serve_forever, kwargs={"poll_interval": 0.1}, daemon=True)
        self._thread.start()
        return self

    def stop(self):
        self._server.stopping.set()
        with self._server.sent_changed:
            self._server.sent_changed.notify_all()
        self._server.shutdown()
        self._server.server_close()
        if self._thread:
            self._thread.join(5)

    def __enter__(self):
        return self.start()

    def __exit__(self, *exc):
        self.stop()
