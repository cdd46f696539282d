#!/usr/bin/python3
"""FTP peers for the layer's tests, on loopback ports picked by the system.

  ftp_servers.py start DIR   fill DIR/root, start the servers in the background, write
                             DIR/ports ("<standard port> <scripted port>") and DIR/pid
  ftp_servers.py stop DIR    end the background process

The standard peer is pyftpdlib (user "quenlor", password "secret"). The scripted peer is ours and
misbehaves on purpose; the user name picks the fault:
  unix, dos   LIST in that format, no MLST offered
  noepsv      EPSV refused, so the client must fall back to PASV
  drop        RETR sends half the file, cuts the data connection and answers 426
  droplie     RETR sends half the file, cuts the data connection and still answers 226
  stall       RETR sends 1000 bytes and then nothing
  stallpass   the password is never answered
  bad         every password is refused
  hugereply   FEAT is answered by a "211-" reply that never ends
  shortreply  FEAT's "211-" reply stops after two lines and the connection closes
  longline    PWD is answered by one line that never ends
  endlesslist LIST sends listing lines for ever (until the client goes away)
  badpasv     EPSV and PASV answers whose port cannot be read
  badepsv     EPSV answers whose port cannot be read; PASV is right
  split       every reply after USER goes out one byte at a time
  junksize    SIZE is answered "213 junk"
  trickle     the replies to REST, RETR and LIST go out one byte every two seconds
  portthief   in active mode a stranger (from 127.0.0.2) reaches the client's data port first
              and offers junk; the server's own connection follows
  hugefinal   RETR sends the file, then a final "226-" reply that never ends
  idledrop    after each whole file sent the control connection is closed, as an idle time-out does
"""
import os
import signal
import socket
import socketserver
import sys
import threading
import time

MIB = 1024 * 1024


def content(size):
    # Same formula as the test program: a byte depends on its position, so shifts show up.
    return bytes(((i * 131) + (i >> 9)) & 0xFF for i in range(size))


def fill_root(root):
    os.makedirs(root, exist_ok=True)
    files = {"empty.bin": 0, "b1023.bin": 1023, "b1024.bin": 1024, "b1025.bin": 1025,
             "big.bin": 5 * MIB + 7, "name with spaces.txt": 77}
    pattern = content(5 * MIB + 7)
    for name, size in files.items():
        with open(os.path.join(root, name), "wb") as f:
            f.write(pattern[:size])
    os.makedirs(os.path.join(root, "empty"), exist_ok=True)
    os.makedirs(os.path.join(root, "one"), exist_ok=True)
    with open(os.path.join(root, "one", "only.txt"), "wb") as f:
        f.write(b"0123456789")
    many = os.path.join(root, "many")
    os.makedirs(many, exist_ok=True)
    for i in range(40):
        with open(os.path.join(many, "file%02d.dat" % i), "wb") as f:
            f.write(b"x" * (i + 1))
    with open(os.path.join(many, "a b  c.dat"), "wb") as f:
        f.write(b"y" * 100)
    os.makedirs(os.path.join(many, "sub dir"), exist_ok=True)
    # Listings whose every entry must count: an empty file and a folder among three, and a
    # folder that holds folders only.
    three = os.path.join(root, "three")
    os.makedirs(os.path.join(three, "b folder"), exist_ok=True)
    for name, size in (("a empty.txt", 0), ("c data.bin", 3000)):
        with open(os.path.join(three, name), "wb") as f:
            f.write(pattern[:size])
    for sub in ("x", "y"):
        os.makedirs(os.path.join(root, "folders", sub), exist_ok=True)


UNIX_LIST = (b"total 12\r\n"
             b"-rw-r--r--    1 owner    group        1234 Jan 02 10:00 name with spaces.txt\r\n"
             b"drwxr-xr-x    2 owner    group        4096 Mar 15  2021 sub dir\r\n"
             b"lrwxrwxrwx    1 owner    group           7 Feb 03 11:11 link name -> target\r\n"
             b"-rw-r--r--    1 owner    group  5000000000 Dec 31  2020 huge.iso\r\n")
DOS_LIST = (b"01-02-23  10:15AM       <DIR>          sub dir\r\n"
            b"12-31-99  11:59PM                 1234 name with spaces.txt\r\n"
            b"07-04-21  01:02PM                    0 zero.txt\r\n")


class ScriptedHandler(socketserver.StreamRequestHandler):
    def send(self, line):
        wire = line.encode() + b"\r\n"
        if self.user == "trickle" and self.verb in ("REST", "RETR", "LIST"):
            for i in range(len(wire)):
                self.wfile.write(wire[i:i + 1])
                self.wfile.flush()
                time.sleep(2)
            return
        if self.user == "split":
            for i in range(len(wire)):
                self.wfile.write(wire[i:i + 1])
                self.wfile.flush()
                time.sleep(0.002)
            return
        self.wfile.write(wire)
        self.wfile.flush()

    def send_endless(self, head, line):
        # Until the client gives up and closes: it must, at its own limit.
        try:
            self.wfile.write(head)
            while True:
                self.wfile.write(line)
                self.wfile.flush()
        except OSError:
            pass

    def open_data(self):
        if self.pasv is not None:
            self.pasv.settimeout(10)
            conn, _ = self.pasv.accept()
            self.pasv.close()
            self.pasv = None
            return conn
        return socket.create_connection(self.port_target, timeout=10)

    def handle(self):
        root = self.server.root
        self.user, self.pasv, self.port_target, self.rest, self.verb = "", None, None, 0, ""
        self.connection.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        self.send("220 scripted peer ready")
        for raw in self.rfile:
            line = raw.decode("latin-1").rstrip("\r\n")
            verb, _, arg = line.partition(" ")
            verb = self.verb = verb.upper()
            if verb == "USER":
                self.user = arg
                self.send("331 password please")
            elif verb == "PASS":
                if self.user == "stallpass":
                    time.sleep(60)
                    return
                self.send("530 refused" if self.user == "bad" else "230 in")
            elif verb == "FEAT":
                if self.user == "hugereply":
                    self.send_endless(b"211-Features:\r\n", b" FEATURE-THAT-NEVER-ENDS\r\n")
                    return
                if self.user == "shortreply":
                    self.send("211-Features:\r\n SIZE")
                    return
                self.send("211-Features:\r\n SIZE\r\n REST STREAM\r\n211 End")
            elif verb == "TYPE":
                self.send("200 type set")
            elif verb == "PWD":
                if self.user == "longline":
                    self.send_endless(b'257 "/', b"x" * 4096)
                    return
                self.send('257 "/" is current')
            elif verb == "CWD":
                self.send("250 ok")
            elif verb == "NOOP":
                self.send("200 noop")
            elif verb == "EPSV":
                if self.user == "noepsv":
                    self.send("500 EPSV not understood")
                    continue
                if self.user in ("badpasv", "badepsv"):
                    self.send("229 Entering Extended Passive Mode (|||6x5|)")
                    continue
                self.pasv = socket.create_server(("127.0.0.1", 0))
                self.send("229 Entering Extended Passive Mode (|||%d|)" % self.pasv.getsockname()[1])
            elif verb == "PASV":
                if self.user == "badpasv":
                    self.send("227 Entering Passive Mode (127,0,0,1,300,-7)")
                    continue
                self.pasv = socket.create_server(("127.0.0.1", 0))
                p = self.pasv.getsockname()[1]
                # A wrong address on purpose: the client must use the control connection's peer.
                self.send("227 Entering Passive Mode (10,1,2,3,%d,%d)" % (p >> 8, p & 0xFF))
            elif verb == "PORT":
                n = [int(x) for x in arg.split(",")]
                self.port_target = ("%d.%d.%d.%d" % tuple(n[:4]), n[4] * 256 + n[5])
                if self.user == "portthief":
                    self.thief = socket.create_connection(self.port_target, timeout=10,
                                                          source_address=("127.0.0.2", 0))
                    self.thief.sendall(b"stolen " * 100)
                self.send("200 port ok")
            elif verb == "SIZE":
                path = os.path.join(root, arg.lstrip("/"))
                if self.user == "junksize":
                    self.send("213 junk")
                    continue
                self.send("213 %d" % os.path.getsize(path) if os.path.isfile(path) else "550 no such file")
            elif verb == "REST":
                self.rest = int(arg)
                self.send("350 restarting at %d; send STORE or RETRIEVE to go on from there" % self.rest)
            elif verb == "LIST":
                self.send("150 listing")
                data = self.open_data()
                if self.user == "endlesslist":
                    line = b"-rw-r--r--    1 owner    group        1234 Jan 02 10:00 again.txt\r\n" * 64
                    try:
                        while True:
                            data.sendall(line)
                    except OSError:
                        data.close()
                        self.send("426 listing cut off")
                        continue
                data.sendall(DOS_LIST if self.user == "dos" else UNIX_LIST)
                data.close()
                self.send("226 done")
            elif verb == "RETR":
                if self.retr(os.path.join(root, arg.lstrip("/"))) and self.user == "idledrop":
                    return
            elif verb == "ABOR":
                self.send("225 nothing to abort")
            elif verb == "QUIT":
                self.send("221 bye")
                return
            else:
                self.send("502 not implemented")

    def retr(self, path):
        """True when the whole file went out."""
        if not os.path.isfile(path):
            self.send("550 no such file")
            return False
        with open(path, "rb") as f:
            body = f.read()[self.rest:]
        self.rest = 0
        self.send("150 sending")
        data = self.open_data()
        if self.user in ("drop", "droplie"):
            data.sendall(body[:len(body) // 2])
            data.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, b"\x01\x00\x00\x00\x00\x00\x00\x00")
            data.close()
            self.send("426 connection cut" if self.user == "drop" else "226 done")
        elif self.user == "hugefinal":
            data.sendall(body)
            data.close()
            self.send_endless(b"226-Transfer complete, and then some:\r\n", b" more words\r\n")
        elif self.user == "stall":
            data.sendall(body[:1000])
            time.sleep(30)
            data.close()
        else:
            data.sendall(body)
            data.close()
            self.send("226 done")
            return True
        return False


class ScriptedServer(socketserver.ThreadingTCPServer):
    daemon_threads = True
    allow_reuse_address = True


def serve(state):
    from pyftpdlib.authorizers import DummyAuthorizer
    from pyftpdlib.handlers import FTPHandler
    from pyftpdlib.servers import FTPServer
    import logging
    logging.basicConfig(level=logging.WARNING)

    root = os.path.join(state, "root")
    authorizer = DummyAuthorizer()
    authorizer.add_user("quenlor", "secret", root, perm="elr")
    handler = FTPHandler
    handler.authorizer = authorizer
    handler.passive_ports = None
    standard = FTPServer(("127.0.0.1", 0), handler)
    scripted = ScriptedServer(("127.0.0.1", 0), ScriptedHandler)
    scripted.root = root
    threading.Thread(target=scripted.serve_forever, daemon=True).start()
    ports = "%d %d\n" % (standard.socket.getsockname()[1], scripted.server_address[1])
    tmp = os.path.join(state, "ports.tmp")
    with open(tmp, "w") as f:
        f.write(ports)
    os.replace(tmp, os.path.join(state, "ports"))
    standard.serve_forever(timeout=0.5)


def start(state):
    os.makedirs(state, exist_ok=True)
    stop(state)
    fill_root(os.path.join(state, "root"))
    log = open(os.path.join(state, "servers.log"), "w")
    import subprocess
    child = subprocess.Popen([sys.executable, os.path.abspath(__file__), "serve", state],
                             stdout=log, stderr=log, stdin=subprocess.DEVNULL, start_new_session=True)
    with open(os.path.join(state, "pid"), "w") as f:
        f.write(str(child.pid))
    for _ in range(300):
        if os.path.exists(os.path.join(state, "ports")):
            print("FTP peers on", open(os.path.join(state, "ports")).read().strip())
            return 0
        if child.poll() is not None:
            break
        time.sleep(0.1)
    print("FTP peers did not start; see", os.path.join(state, "servers.log"))
    return 1


def stop(state):
    for name in ("ports",):
        try:
            os.remove(os.path.join(state, name))
        except FileNotFoundError:
            pass
    try:
        pid = int(open(os.path.join(state, "pid")).read())
    except (FileNotFoundError, ValueError):
        return 0
    try:
        os.killpg(pid, signal.SIGTERM)
        for _ in range(50):
            os.kill(pid, 0)
            time.sleep(0.1)
        os.killpg(pid, signal.SIGKILL)
    except ProcessLookupError:
        pass
    os.remove(os.path.join(state, "pid"))
    return 0


if __name__ == "__main__":
    action, state = sys.argv[1], os.path.abspath(sys.argv[2])
    sys.exit({"start": start, "stop": stop, "serve": lambda s: serve(s) or 0}[action](state))
