"""Runs the manifest fetch tests against our fault server: starts it with the answers the tests
expect, passes its address in QL_FETCH_URL (and a closed port in QL_CLOSED_URL), runs the test
command, then checks what was requested. Usage: fetch_with_server.py COMMAND..."""
import os
import subprocess
import sys

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "..", "..", "tests", "e2e"))
from servers import fault_server, nginx_server  # noqa: E402

GBK_MANIFEST = "\\更新.txt|AA\r\n\\b|BB\r\n".encode("gbk")


def main():
    server = fault_server.FaultServer().start()
    try:
        server.set("/patch/MyUpdata.txt", fault_server.Ok(GBK_MANIFEST))
        server.set("/error/MyUpdata.txt", fault_server.Status(404, b"<html><body>404 Not Found</body></html>"))
        server.set("/nul/MyUpdata.txt", fault_server.Ok(b"\\a|AA\0\\b|BB\n"))
        server.set("/cut/MyUpdata.txt", fault_server.CutOff(b"\\a|AA\r\n" + b"x" * 93, keep=7))
        env = dict(os.environ, QL_FETCH_URL=server.url,
                   QL_CLOSED_URL="http://127.0.0.1:%d" % nginx_server.free_port())
        status = subprocess.call(sys.argv[1:], env=env)
        requested = [(path, query) for path, query, _ in server.log]
        if ("/patch/MyUpdata.txt", "") not in requested:
            print("the manifest was not requested as /patch/MyUpdata.txt without a query: %r" % requested)
            status = status or 1
        return status
    finally:
        server.stop()


if __name__ == "__main__":
    sys.exit(main())
