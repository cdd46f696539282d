"""Sample client folders for patch tests and the demo.

make_sample(base) creates
    base/client/   the installed client: a few files in folders
    base/server/   the patch server's folder: the same files with some of them newer, one new
                   file in a sub-folder, and MyUpdata.txt made by `qlconfig manifest`
and returns a Sample telling which manifest paths the launcher should find wanting.

write_url_config(client, ...) adds the launcher's scrambled ".\\Image\\Autopatch\\AutoPatchURL.bin"
(through `qlconfig scramble`), pointing it at a patch server.
"""
import os
import random
import shutil
import subprocess
import tempfile

REPO = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", "..", ".."))
LAUNCHER_VERSION = "2022091302"


def find_qlconfig():
    """The operator tool: $QLCONFIG, else a native build of this checkout."""
    explicit = os.environ.get("QLCONFIG")
    if explicit:
        return explicit
    for preset in ("native", "bench"):
        candidate = os.path.join(REPO, "build", preset, "bin", "qlconfig")
        if os.path.exists(candidate):
            return candidate
    raise FileNotFoundError("qlconfig not built: cmake --build build/native --target qlconfig")


def _qlconfig(*args):
    env = dict(os.environ)
    # The native build runs with sanitizers; keep their output off the tool's.
    env.setdefault("ASAN_OPTIONS", "detect_leaks=0")
    return subprocess.run([find_qlconfig(), *args], capture_output=True, text=True, env=env)


def _bytes(seed, size):
    rng = random.Random(seed)
    return bytes(rng.getrandbits(8) for _ in range(size))


def _write(root, manifest_path, data):
    full = os.path.join(root, *manifest_path.strip("\\").split("\\"))
    os.makedirs(os.path.dirname(full), exist_ok=True)
    with open(full, "wb") as f:
        f.write(data)
    return full


class Sample:
    def __init__(self, base, client, server, files, changed, added):
        self.base = base
        self.client = client            # the installed client folder
        self.server = server            # the patch server's folder (serve this)
        self.files = files              # manifest path -> newest content
        self.changed = changed          # manifest paths whose client copy is older
        self.added = added              # manifest paths the client does not have
        self.manifest = os.path.join(server, "MyUpdata.txt")

    @property
    def wanted(self):
        """Manifest paths the launcher must download, in manifest (sorted) order."""
        return sorted(self.changed + self.added)

    def client_file(self, manifest_path):
        return os.path.join(self.client, *manifest_path.strip("\\").split("\\"))


def make_sample(base, file_size=64 * 1024, seed=1):
    """A client of five files; two changed on the server and one new in a new sub-folder."""
    client = os.path.join(base, "client")
    server = os.path.join(base, "server")
    for folder in (client, server):
        shutil.rmtree(folder, ignore_errors=True)
        os.makedirs(folder)
    original = {
        "\\readme.txt": b"Quenlor client\r\n",
        "\\Data\\map01.pak": _bytes(seed, file_size),
        "\\Data\\map02.pak": _bytes(seed + 1, file_size + 1536),
        "\\Data\\Sound\\theme.ogg": _bytes(seed + 2, file_size // 2),
        "\\Image\\Autopatch\\note.bmp": _bytes(seed + 3, 1023),
    }
    changed = ["\\Data\\map02.pak", "\\Image\\Autopatch\\note.bmp"]
    added = ["\\Data\\Patch\\map03.pak"]
    newest = dict(original)
    newest["\\Data\\map02.pak"] = _bytes(seed + 10, file_size + 3000)
    newest["\\Image\\Autopatch\\note.bmp"] = _bytes(seed + 11, 2048)
    newest["\\Data\\Patch\\map03.pak"] = _bytes(seed + 12, file_size * 2)
    for path, data in original.items():
        _write(client, path, data)
    for path, data in newest.items():
        _write(server, path, data)
    result = _qlconfig("manifest", server, os.path.join(server, "MyUpdata.txt"))
    if result.returncode != 0:
        raise RuntimeError("qlconfig manifest failed: " + result.stdout + result.stderr)
    return Sample(base, client, server, newest, changed, added)


def verify(folder, manifest):
    """(exit status, report) of `qlconfig verify`."""
    result = _qlconfig("verify", folder, manifest)
    return result.returncode, result.stdout


def write_url_config(client, up_url, exe_name="democlient.exe", line="Line1", lunch_ver=LAUNCHER_VERSION,
                     up_luch_url="", lunch_name="QuenlorLauncher.exe", gg_url="about:blank", home_page="about:blank"):
    """Writes the launcher's URL configuration (values are single words, UTF-8 here, GBK in the file)."""
    pairs = [("*UpUrl", up_url), ("*HomePage", home_page), ("*PayUrl", home_page), ("*QQ", "0"),
             ("*Line", line), ("*ExeName", exe_name), ("*LunchVer", lunch_ver), ("*GGUrl", gg_url),
             ("*UpLuchUrl", up_luch_url or up_url), ("*LunchName", lunch_name)]
    text = "".join("%s %s\n" % (key, value) for key, value in pairs if value != "")
    folder = os.path.join(client, "Image", "Autopatch")
    os.makedirs(folder, exist_ok=True)
    with tempfile.NamedTemporaryFile("w", suffix=".txt", delete=False, encoding="utf-8") as f:
        f.write(text)
        source = f.name
    try:
        result = _qlconfig("scramble", source, os.path.join(folder, "AutoPatchURL.bin"))
    finally:
        os.unlink(source)
    if result.returncode != 0:
        raise RuntimeError("qlconfig scramble failed: " + result.stderr)
    return os.path.join(folder, "AutoPatchURL.bin")
