"""nginx serving one folder on a free loopback port, with everything it writes under a work dir.

    with NginxServer(root, work_dir) as server:
        urllib.request.urlopen(server.url + "/MyUpdata.txt")
        server.requests()   # [(uri, status, bytes_sent), ...] from its access log

nginx runs in the foreground without a master process, as the invoking user, so stopping it is
stopping one child process of ours.
"""
import os
import shutil
import signal
import socket
import subprocess
import time

NGINX = shutil.which("nginx") or "/usr/sbin/nginx"

_CONFIG = """\
daemon off;
master_process off;
worker_processes 1;
pid {work}/nginx.pid;
error_log {work}/error.log warn;
events {{ worker_connections 128; }}
http {{
    log_format patch '$request_uri\\t$status\\t$body_bytes_sent\\t$msec';
    access_log {work}/access.log patch;
    client_body_temp_path {work}/tmp/body;
    proxy_temp_path {work}/tmp/proxy;
    fastcgi_temp_path {work}/tmp/fastcgi;
    uwsgi_temp_path {work}/tmp/uwsgi;
    scgi_temp_path {work}/tmp/scgi;
    default_type application/octet-stream;
    types {{ text/plain txt; }}
    sendfile on;
    keepalive_timeout 30;
{site}
}}
"""

_SITE = """\
    server {{
        listen 127.0.0.1:{port};
        root {root};
        location / {{ }}
    }}"""


def free_port():
    with socket.socket(socket.AF_INET, socket.SOCK_STREAM) as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def _port_open(port):
    with socket.socket(socket.AF_INET, socket.SOCK_STREAM) as s:
        s.settimeout(0.2)
        return s.connect_ex(("127.0.0.1", port)) == 0


class NginxServer:
    def __init__(self, root, work_dir, port=None, site=None):
        """site: a server block of our own in place of the plain one, formatted with port and root
        (braces doubled), as the operator's sample configuration is."""
        self.site = site or _SITE
        self.root = os.path.abspath(root)
        self.work_dir = os.path.abspath(work_dir)
        self.port = port
        self.process = None

    @property
    def url(self):
        return "http://127.0.0.1:%d" % self.port

    def start(self, timeout=20.0):
        os.makedirs(os.path.join(self.work_dir, "tmp"), exist_ok=True)
        # requests() reports this server's requests only, not an earlier run's in the same folder.
        try:
            os.remove(os.path.join(self.work_dir, "access.log"))
        except FileNotFoundError:
            pass
        conf = os.path.join(self.work_dir, "nginx.conf")
        # A port found free can be taken before nginx binds it: try a few.
        for _ in range(5):
            port = self.port or free_port()
            with open(conf, "w") as f:
                site = self.site.format(root=self.root, port=port)
                f.write(_CONFIG.format(work=self.work_dir, site=site))
            log = open(os.path.join(self.work_dir, "nginx.out"), "ab")
            self.process = subprocess.Popen(
                [NGINX, "-p", self.work_dir, "-e", os.path.join(self.work_dir, "error.log"), "-c", conf],
                stdout=log, stderr=subprocess.STDOUT, start_new_session=True)
            log.close()
            deadline = time.monotonic() + timeout
            while time.monotonic() < deadline and self.process.poll() is None:
                if _port_open(port):
                    self.port = port
                    return self
                time.sleep(0.05)
            self._kill()
            if self.port:
                break
        raise RuntimeError("nginx did not start; see " + os.path.join(self.work_dir, "error.log"))

    def _kill(self):
        if self.process and self.process.poll() is None:
            self.process.send_signal(signal.SIGTERM)
            try:
                self.process.wait(10)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()
        self.process = None

    def stop(self):
        self._kill()

    def requests(self):
        """The requests served so far, oldest first: (uri with query, status, body bytes)."""
        return [entry[:3] for entry in self._log()]

    def request_times(self):
        """When each request so far was served, oldest first: (uri with query, seconds since 1970
        when nginx had sent the answer, to the millisecond)."""
        return [(entry[0], entry[3]) for entry in self._log()]

    def _log(self):
        path = os.path.join(self.work_dir, "access.log")
        if not os.path.exists(path):
            return []
        out = []
        with open(path, encoding="latin-1") as f:
            for line in f:
                parts = line.rstrip("\n").split("\t")
                if len(parts) == 4:
                    out.append((parts[0], int(parts[1]), int(parts[2]), float(parts[3])))
        return out

    def __enter__(self):
        return self.start()

    def __exit__(self, *exc):
        self.stop()
