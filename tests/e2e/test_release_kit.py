"""The release kit as its audiences get it: the archive the package target writes, unpacked into an
empty folder. Players' client/ holds exactly the shipped binaries with their checksums; programs
build and link against sdk/ alone and run under Wine; operator/ holds qlconfig for both systems."""
import hashlib
import re
import shutil
import subprocess
import zipfile
from pathlib import Path

import pytest

from conftest import BIN, BUILD, ROOT, WORK, wine_run
from test_ftp_component import PEERS, content, windows_path

CLIENT_BINARIES = {"QuenlorLauncher.exe", "Renovek.exe", "Nimbrel.dll", "GevrastSSE.dll"}
PROBE = ROOT / "tests" / "e2e" / "release_kit" / "gevrast_probe.c"
BIG = 5 * 1024 * 1024 + 7


def project_version():
    return re.search(r"project\(Quenlor VERSION ([0-9.]+)", (ROOT / "CMakeLists.txt").read_text()).group(1)


def run(args, **options):
    result = subprocess.run([str(a) for a in args], capture_output=True, text=True, timeout=600, **options)
    assert result.returncode == 0, "%s\n%s\n%s" % (" ".join(map(str, args)), result.stdout[-3000:], result.stderr[-3000:])
    return result.stdout


@pytest.fixture(scope="module")
def kit():
    """The archive unpacked into a folder of its own, with the file modes it was made with."""
    archive = BUILD / "package" / ("Quenlor-%s-win32.zip" % project_version())
    assert archive.exists(), "no %s: build the package target first" % archive
    folder = WORK / "release-kit"
    shutil.rmtree(folder, ignore_errors=True)
    folder.mkdir(parents=True)
    with zipfile.ZipFile(archive) as packed:
        for entry in packed.infolist():
            path = Path(packed.extract(entry, folder))
            mode = entry.external_attr >> 16
            if mode and not entry.is_dir():
                path.chmod(mode & 0o777)
    tops = list(folder.iterdir())
    assert [top.name for top in tops] == [archive.stem], tops
    return tops[0]


def test_the_kit_has_one_folder_per_audience(kit):
    assert sorted(p.name for p in kit.iterdir()) == ["client", "operator", "sdk"]


def test_client_holds_exactly_the_shipped_binaries_and_their_checksums(kit):
    client = kit / "client"
    assert {p.name for p in client.iterdir()} == CLIENT_BINARIES | {"checksums.txt"}
    listed = {}
    for line in (client / "checksums.txt").read_text().splitlines():
        md5, size, name = line.split()
        listed[name] = (md5, int(size))
    assert set(listed) == CLIENT_BINARIES
    for name in CLIENT_BINARIES:
        data = (client / name).read_bytes()
        assert listed[name] == (hashlib.md5(data).hexdigest(), len(data)), name
        assert data == (BIN / name).read_bytes(), "%s differs from the build's" % name
        # Each carries its version resource, with the file and product versions filled in.
        assert "VS_VERSION_INFO".encode("utf-16-le") in data, name
        for key in ("FileVersion", "ProductVersion", "OriginalFilename"):
            assert (key + "\0").encode("utf-16-le") in data, (name, key)
        assert name.encode("utf-16-le") in data, name


def test_sdk_holds_every_header_and_the_export_list_the_dll_has(kit):
    sdk = kit / "sdk"
    source = ROOT / "enginelib" / "include"
    assert sorted(p.name for p in (sdk / "include" / "gevrast").iterdir()) == \
        sorted(p.name for p in (source / "gevrast").glob("*.h"))
    assert (sdk / "include" / "GevrastSSE.h").read_bytes() == (source / "GevrastSSE.h").read_bytes()
    assert (sdk / "include" / "Nimbrel.h").read_bytes() == (ROOT / "ftpcomponent" / "include" / "Nimbrel.h").read_bytes()
    for page in ("README.md", "GevrastSSE.md", "Nimbrel.md"):
        assert (sdk / page).stat().st_size > 0, page
    # The .def names what the repository's own list says the DLL exports, decorations and all.
    kept = {line.strip() for line in (ROOT / "enginelib" / "GevrastSSE.exports").read_text().splitlines()
            if line.strip() and not line.startswith("#")}
    lines = (sdk / "lib" / "GevrastSSE.def").read_text().splitlines()
    assert lines[:2] == ["LIBRARY GevrastSSE.dll", "EXPORTS"]
    assert sorted(line.strip() for line in lines[2:]) == sorted(kept)


def def_exports(kit):
    return [line.strip() for line in (kit / "sdk" / "lib" / "GevrastSSE.def").read_text().splitlines()[2:]]


def import_name(symbol, name_type):
    """The name the loader is asked for, as a short import member's name type derives it."""
    bare = symbol[1:] if symbol[:1] in ("?", "@", "_") else symbol
    if name_type == "name":
        return symbol
    if name_type == "noprefix":
        return bare
    if name_type == "undecorate":
        return bare.split("@")[0]
    raise AssertionError("name type %r" % name_type)


def archive_machines(raw):
    """(kind, machine) of every member of an import library but the archive's own tables."""
    assert raw.startswith(b"!<arch>\n")
    at, found = 8, []
    while at + 60 <= len(raw):
        name, size = raw[at:at + 16].strip(), int(raw[at + 48:at + 58])
        data = raw[at + 60:at + 60 + size]
        at += 60 + size + (size & 1)
        if name in (b"/", b"//"):
            continue
        if data[:4] == b"\x00\x00\xff\xff":
            found.append(("import", int.from_bytes(data[6:8], "little")))
        else:
            found.append(("object", int.from_bytes(data[0:2], "little")))
    return found


def test_microsoft_import_library_asks_for_every_export_by_its_decorated_name(kit):
    library = kit / "sdk" / "lib" / "GevrastSSE.lib"
    report = run(["llvm-readobj-14", library])
    members = {}
    for block in report.split("\nFile: ")[1:]:
        if "Format: COFF-import-file" not in block:
            continue
        name_type = re.search(r"Name type: (\w+)", block).group(1)
        symbols = re.findall(r"Symbol: (\S+)", block)
        code = [s for s in symbols if not s.startswith("__imp_")]
        assert len(code) == 1 and "__imp_" + code[0] in symbols, block
        assert block.startswith("GevrastSSE.dll\n"), block
        members[import_name(code[0], name_type)] = code[0]
    exports = def_exports(kit)
    assert sorted(members) == sorted(exports)
    # A stdcall export "_Name@N" is the C symbol _Name@N, as a 32-bit compiler names the call.
    assert members["_QSortIntASC@8"] == "_QSortIntASC@8"
    assert members["BeginAnalyze"] == "_BeginAnalyze"
    # Machine i386 in every member: the short import records and the objects alike.
    machines = archive_machines(library.read_bytes())
    assert machines.count(("import", 0x14C)) == len(exports)
    assert {machine for _, machine in machines} == {0x14C}
    assert "COFF-i386" in report and "x86-64" not in report
    nm = run(["llvm-nm-14", library])
    for export in exports:
        assert "__imp_" + members[export] in nm, export


@pytest.fixture
def scratch(kit, request):
    folder = kit.parent / request.node.name
    shutil.rmtree(folder, ignore_errors=True)
    folder.mkdir()
    shutil.copy(kit / "client" / "GevrastSSE.dll", folder)
    return folder


def imported_names(program):
    dump = run(["i686-w64-mingw32-objdump", "-p", program])
    table = dump.split("DLL Name: GevrastSSE.dll", 1)
    assert len(table) == 2, "no imports of GevrastSSE.dll"
    return set(re.findall(r"^\s+[0-9a-f]+\s+\d+\s+(\S+)$", table[1].split("DLL Name:", 1)[0], re.M))


def test_program_linked_through_the_mingw_import_library_calls_the_dll(wine, kit, scratch):
    sdk = kit / "sdk"
    program = scratch / "probe_mingw.exe"
    run(["i686-w64-mingw32-gcc", "-O1", "-Wall", "-Werror", "-I", sdk / "include", PROBE,
         "-L", sdk / "lib", "-lGevrastSSE", "-static-libgcc", "-o", program])
    assert {"_QSortIntASC@8", "_VECTOR3Length@4", "BeginAnalyze"} <= imported_names(program)
    result = wine_run([program], cwd=scratch, timeout=300)
    assert result.returncode == 0, (result.returncode, result.stdout[-2000:], result.stderr[-2000:])


def test_program_linked_by_the_microsoft_linker_calls_the_dll(wine, kit, scratch):
    sdk = kit / "sdk"
    obj = scratch / "probe.obj"
    run(["clang-14", "--target=i686-pc-windows-msvc", "-ffreestanding", "-O1", "-Wall", "-Werror",
         "-DPROBE_WITHOUT_CRT", "-I", sdk / "include", "-c", PROBE, "-o", obj])
    # The one system function the probe needs, as a Microsoft-format import library of its own.
    (scratch / "kernel32.def").write_text("LIBRARY kernel32.dll\nEXPORTS\nExitProcess@4\n")
    run(["llvm-dlltool-14", "-m", "i386", "-k", "-d", scratch / "kernel32.def", "-l", scratch / "kernel32.lib"])
    program = scratch / "probe_msvc.exe"
    run(["lld-link-14", "/nologo", "/machine:x86", "/subsystem:console", "/entry:probe_start", "/nodefaultlib",
         obj, sdk / "lib" / "GevrastSSE.lib", scratch / "kernel32.lib", "/out:%s" % program])
    assert {"_CrossProduct@12", "_DotProduct@8", "EndAnalyze"} <= imported_names(program)
    result = wine_run([program], cwd=scratch, timeout=300)
    assert result.returncode == 0, (result.returncode, result.stdout[-2000:], result.stderr[-2000:])


@pytest.fixture(scope="module")
def ftp_peer(wine):
    state = WORK / "release-kit-ftp"
    started = subprocess.run(["/usr/bin/python3", str(PEERS), "start", str(state)], capture_output=True, text=True)
    assert started.returncode == 0, started.stdout + started.stderr
    yield int((state / "ports").read_text().split()[0])
    subprocess.run(["/usr/bin/python3", str(PEERS), "stop", str(state)], capture_output=True)


def test_sample_client_builds_from_the_sdk_alone_and_downloads(kit, ftp_peer, scratch):
    # The SDK copied away from the kit: nothing outside it can be reached by a relative path.
    sdk = scratch / "sdk"
    shutil.copytree(kit / "sdk", sdk)
    build = scratch / "build"
    run(["cmake", "-S", sdk / "samples" / "ftpget", "-B", build, "-DCMAKE_SYSTEM_NAME=Windows",
         "-DCMAKE_CXX_COMPILER=i686-w64-mingw32-g++-posix", "-DCMAKE_BUILD_TYPE=Release"])
    run(["cmake", "--build", build])
    program = build / "ftpget.exe"
    assert program.exists()
    # The component comes from the kit's client folder.
    result = wine_run([program, "--dll", windows_path(kit / "client" / "Nimbrel.dll"), "--user", "quenlor",
                       "--password", "secret", "127.0.0.1:%d" % ftp_peer, "list", "*",
                       "get", "big.bin", windows_path(scratch / "big.bin")], timeout=300)
    lines = result.stdout.splitlines()
    assert result.returncode == 0, lines
    assert "get 1 success bytes %d" % BIG in lines
    assert (scratch / "big.bin").read_bytes() == content(BIG)


def test_operator_has_qlconfig_for_windows_and_linux(kit):
    operator = kit / "operator"
    assert (operator / "qlconfig.exe").read_bytes() == (BIN / "qlconfig.exe").read_bytes()
    linux = operator / "qlconfig"
    assert linux.stat().st_mode & 0o111, "the Linux qlconfig is not executable"
    assert "ELF 64-bit" in run(["file", linux])
    usage = subprocess.run([str(linux)], capture_output=True, text=True, timeout=60)
    assert "usage: qlconfig" in usage.stdout + usage.stderr
    # A round trip through the scrambled configuration form.
    text, scrambled, back = (kit.parent / name for name in ("url.txt", "url.bin", "url-back.txt"))
    text.write_bytes(b"[Url]\r\nLunchVer=7\r\n")
    run([linux, "scramble", text, scrambled])
    assert scrambled.read_bytes() != text.read_bytes()
    run([linux, "unscramble", scrambled, back])
    assert back.read_bytes() == text.read_bytes()
    # Everything kept for operators in the repository is there too.
    kept = ROOT / "kit" / "operator"
    if kept.is_dir():
        for path in kept.rglob("*"):
            if path.is_file():
                assert (operator / path.relative_to(kept)).read_bytes() == path.read_bytes(), path


def test_install_lays_out_the_same_tree_as_the_archive(kit):
    prefix = WORK / "release-kit-install"
    shutil.rmtree(prefix, ignore_errors=True)
    run(["cmake", "--install", BUILD, "--prefix", prefix])

    def tree(top):
        return {str(p.relative_to(top)): p.read_bytes() for p in top.rglob("*") if p.is_file()}

    installed, packed = tree(prefix), tree(kit)
    assert sorted(installed) == sorted(packed)
    assert installed == packed
