"""Running the Windows build's programs from the demo and measurement scripts: one Wine prefix
of their own (not the tests'), the launcher in a client folder, and uiauto to watch it."""
import json
import os
import subprocess
from pathlib import Path

ROOT = Path(__file__).resolve().parents[1]
BIN = ROOT / "build" / "windows" / "bin"
# The launcher's x86-64 measuring build (preset windows64), run in a 64-bit prefix.
BIN64 = ROOT / "build" / "windows64" / "bin"
RUN = ROOT / "cmake" / "wine" / "wine-run.sh"
TIP = 1003


def wine_home(default):
    """The scripts' own prefix, or the one QUENLOR_WINE_HOME names (the README smoke test reuses
    the test prefix instead of booting one more)."""
    return Path(os.environ.get("QUENLOR_WINE_HOME") or default)


class WineSession:
    """One prefix and the build folder whose programs (uiauto among them) run in it. A 64-bit
    session (bin=BIN64) runs the x86-64 measuring build in a 64-bit prefix."""

    def __init__(self, home, bin=BIN):
        self.home = Path(home)
        self.bin = Path(bin)
        self.env = dict(os.environ, WINE_RUN_ARCH="win64" if self.bin == BIN64 else "win32")

    def command(self, args):
        return [str(RUN), "--home", str(self.home)] + [str(a) for a in args]

    def run(self, args, cwd, timeout=120):
        return subprocess.run(self.command(args), cwd=cwd, env=self.env, capture_output=True, text=True, timeout=timeout)

    def start(self, args, cwd, stdout=subprocess.DEVNULL):
        return subprocess.Popen(self.command(args), cwd=cwd, env=self.env, stdout=stdout,
                                stderr=subprocess.DEVNULL, text=True)

    def uiauto(self, command, cwd, wait=120, **options):
        args = [self.bin / "uiauto.exe", command, "--exe", "QuenlorLauncher.exe"]
        for name, value in options.items():
            args += ["--" + name.replace("_", "-"), str(value)]
        out = self.run(args, cwd, timeout=wait).stdout
        lines = [line for line in out.splitlines() if line.startswith("{")]
        return json.loads(lines[-1]) if lines else {}

    def boot(self):
        subprocess.run(self.command(["--boot"]), env=self.env, check=True, timeout=1200)

    def stop(self):
        subprocess.run(self.command(["--stop"]), env=self.env, timeout=120)


def control_text(state, control_id=TIP):
    for entry in state.get("controls", []):
        if entry["id"] == control_id:
            return entry["text"]
    return ""
