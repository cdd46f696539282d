"""What a client folder holds for the launcher, written by the tests' own code: the scrambled
configuration files (an encoder of our own, independent of the project's tool) and a background
picture."""
import struct
import sys
import zlib
from pathlib import Path

# The BMP writer of the launcher's own artwork script; the pictures, like the files, are ours.
sys.path.insert(0, str(Path(__file__).resolve().parents[2] / "launcher" / "art"))
from make_artwork import bmp_24  # noqa: E402

KEY = b"Rq7!vM2#pL9&zT4^wK8*nB3~hG6$cF1%"


def windows_path(path):
    """The name a program under Wine gives a file of this machine (its Z: drive is /)."""
    return "Z:" + str(path).replace("/", "\\")


def scramble(plain: bytes, divisor: int = 7, reserved: int = 0x51AB, length=None) -> bytes:
    """A configuration file: header (reserved, divisor, length), two padding bytes, the body with
    every byte raised by key[(j + 1) % 32] ^ (j % 256) and, at multiples of the divisor, by the
    divisor too, then two padding bytes."""
    body = bytearray(plain)
    for j in range(len(body)):
        shift = KEY[(j + 1) % len(KEY)] ^ (j & 0xFF)
        if divisor and j % divisor == 0:
            shift += divisor
        body[j] = (body[j] + shift) & 0xFF
    size = len(body) if length is None else length
    return struct.pack("<III", reserved, divisor, size) + b"\x00\x00" + bytes(body) + b"\x00\x00"


def config_text(lines) -> bytes:
    """Lines of (already GBK) words joined with CR LF, as the launcher's files are written."""
    return b"\r\n".join(line.encode("gbk") if isinstance(line, str) else line for line in lines) + b"\r\n"


# A skin whose every control has its own place, so a control at the wrong place is noticed.
SKIN = {
    "#主界面": (100, 50, 660, 450),
    "#开始按钮": (540, 392, 90, 27),
    "#注册按钮": (1, 2, 3, 4),
    "#官网按钮": (440, 392, 90, 27),
    "#关闭按钮": (596, 28, 46, 20),
    "#窗口模式": (40, 398, 16, 16),
    "#当前进度条": (40, 340, 380, 12),
    "#当前进度条背景色": (20, 30, 60),
    "#当前进度条前景色": (80, 220, 120),
    "#完成进度条": (40, 362, 380, 12),
    "#完成进度条背景色": (20, 30, 60),
    "#完成进度条前景色": (240, 180, 40),
    "#分辨率选择": (64, 396, 120, 160),
    "#提示消息": (40, 296, 380, 16),
    "#下载提示": (40, 316, 380, 16),
    "#版本号": (540, 64, 100, 16),
    "#公告": (40, 80, 380, 200),
    "#公告背景色": (255, 255, 255),
    "#字体颜色": (255, 255, 255),
    "#版本号颜色": (40, 60, 110),
    "#提示消息颜色": (30, 45, 90),
    "#下载提示颜色": (30, 45, 90),
}
FONT = (90, "宋体")

# Control ids of the main dialog and the skin section that places each.
PLACED = {
    1006: "#开始按钮",
    1005: "#官网按钮",
    1007: "#关闭按钮",
    1008: "#窗口模式",
    1000: "#当前进度条",
    1001: "#完成进度条",
    1009: "#分辨率选择",
    1003: "#提示消息",
    1004: "#下载提示",
    1002: "#版本号",
}


def skin_file(skin=None, font=FONT) -> bytes:
    skin = SKIN if skin is None else skin
    lines = ["%s %s" % (section, " ".join(str(v) for v in values)) for section, values in skin.items()]
    if font:
        lines.append("#字体 %d %s" % font)
    return scramble(config_text(lines), divisor=5)


def url_file(values: dict) -> bytes:
    return scramble(config_text(["*%s %s" % (k, v) for k, v in values.items()]), divisor=3)


def background_bmp(width=330, height=225) -> bytes:
    """Half the window's size, so the launcher has to scale it: a dusk sky over a dark hill."""
    def pixel(x, y):
        hill = y > height * 0.72 - 18 * ((x / width - 0.5) ** 2) * 4
        if hill:
            return (24, 40, 32)
        t = y / height
        return (int(40 + 150 * t), int(50 + 60 * t), int(120 - 40 * t))
    return bmp_24(width, height, pixel)


def read_bmp(data: bytes):
    """(width, height, rows of (r, g, b) from the top) of a 24-bit bottom-up BMP."""
    offset, = struct.unpack_from("<I", data, 10)
    width, height, _, bits = struct.unpack_from("<iiHH", data, 18)
    assert bits == 24
    stride = (width * 3 + 3) & ~3
    rows = []
    for y in range(abs(height)):
        source = height - 1 - y if height > 0 else y
        start = offset + source * stride
        line = data[start:start + 3 * width]
        rows.append([(line[i + 2], line[i + 1], line[i]) for i in range(0, len(line), 3)])
    return width, abs(height), rows


def png_from_rows(width, height, rows) -> bytes:
    raw = b"".join(b"\x00" + bytes(c for pixel in row for c in pixel) for row in rows)

    def chunk(kind, payload):
        return struct.pack(">I", len(payload)) + kind + payload + struct.pack(">I", zlib.crc32(kind + payload))
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(raw, 6)) + chunk(b"IEND", b""))
