"""How a Wine run ended, and whether the i386 emulator may be blamed for it.

A program ended by an exception it did not handle has failed, whatever its exit status says
(Wine's debugger ends it with status 0).

Under the emulator Wine now and then dies by itself, but "qemu: uncaught target signal 11" is
also how a genuine crash of our own program shows. So a death is credited to the emulator only
when it cannot be ours:

  start-up   the program's own code never ran: one of Wine's loader or server lines or the host C
             library's aborts, a signal before a test program printed its first line ("[quenlor]
             test program started", or GoogleTest's "[==========] Running"), or a start the Wine
             runner ended because that line did not come in time;
  helper     a signal in a process that is not under test (the UI watcher, cmd, wineboot, ...);
  teardown   after the program reported every case passed: one of Wine's own loader or server
             lines, or a bare signal that Wine never saw as an exception. A fault of ours there
             (a thread outliving its fixture, a COM release) is a page fault in the program's own
             code, which Wine reports as unhandled before anything else dies; a process that has
             had a second thread and handled any exception, with none of our code in it, dies
             at its exit under the emulator with the bare signal alone.

A signal inside a program under test after its start is ours, and so is every run in which Wine
reported an unhandled exception: Wine's plumbing and the emulator die in its wake (a "wine client
error" and a signal 11 follow a page fault of ours while the debugger starts). On a machine that runs 32-bit code
natively nothing is excused.

    wine_deaths.py PROGRAM OUTPUT_FILE STATUS EMULATED
        prints "unhandled<TAB>LINE" for a run ended by an unhandled exception, "KIND<TAB>LINE" for
        a failed run (STATUS not 0) the emulator may be blamed for (EMULATED 1), nothing otherwise
"""
import os
import re
import sys

SIGNAL = re.compile(r"^qemu: uncaught target signal (4|5|6|7|11) ")
# Wine's loader and server failing: nothing a program's own code prints or causes in them.
# The host C library's own aborts belong here too: a stack-protector or fortify check failing, or
# its heap refusing a block. They come from Linux code, Wine's unix side or the emulator itself;
# our programs are Windows code built without a stack protector, allocating from Windows heaps,
# and never call into the host C library. Like every plumbing line, one is credited to the
# emulator only at start-up, in a helper or after every case passed; mid-run it fails the run,
# since a wild write of ours could still have set it off.
HOST_LIBC_ABORT = (r"^\*\*\* (stack smashing|buffer overflow) detected \*\*\*|^Fatal glibc error: "
                   r"|^(malloc|free|realloc|munmap_chunk|malloc_consolidate)\(\): |^double free or corruption"
                   r"|^corrupted (size|double-linked list)")
WINE_PLUMBING = re.compile(r"^wine: could not load|^wine: failed to (start|initialize|map)|^wine client error"
                           r"|^wineserver: .*(failed|error)|^preloader: .*failed"
                           r"|^libgcc_s\.so\.1 must be installed for pthread_exit to work|" + HOST_LIBC_ABORT)
# The Wine runner's line for a test program that never printed its first line: the start hung in
# Wine or the emulator, before any code of the program ran (cmake/wine/wine-run.sh).
STARTUP_HUNG = re.compile(r"^wine-run: no first line within \d+ s")
# Wine's report of a program ended by an exception it did not handle, and its debugger's.
UNHANDLED = re.compile(r"^wine: Unhandled |^Unhandled exception: ", re.M)
# A test program's first line (cmake/support/test_program_started.cpp), GoogleTest's first line
# of a run, and its summary of a run in which every case passed.
STARTED_LINE = "[quenlor] test program started"
PROGRAM_STARTED = re.compile(r"^%s$|^\[==========\] Running " % re.escape(STARTED_LINE), re.M)
ALL_PASSED = re.compile(r"^\[  PASSED  \] \d+ tests?\.", re.M)
ANY_FAILED = re.compile(r"^\[  FAILED  \]", re.M)
# Processes the tests start to drive or watch the programs under test, never under test themselves.
HELPERS = {"uiauto.exe", "cmd", "cmd.exe", "wineboot", "wineboot.exe", "reg", "reg.exe"}


def classify(program, output):
    """(kind, line) for a failed run the emulator may be blamed for, else (None, line or None)."""
    output = output.replace("\r", "")
    lines = output.splitlines()
    plumbing = next((line for line in lines if WINE_PLUMBING.search(line) or STARTUP_HUNG.search(line)), None)
    signal = next((line for line in lines if SIGNAL.search(line)), None)
    line = plumbing or signal
    if line is None:
        return None, None
    if UNHANDLED.search(output):
        return None, line
    started = PROGRAM_STARTED.search(output) is not None
    if os.path.basename(program).lower() in HELPERS:
        return "helper", line
    if not started and not _prints_first_line_after_start(program):
        # A program without a first line of its own: only Wine's plumbing proves it never ran.
        return ("start-up", plumbing) if plumbing else (None, signal)
    if not started:
        return "start-up", line
    passed = ALL_PASSED.search(output)
    if passed and not ANY_FAILED.search(output) and line in output[passed.end():].splitlines():
        return "teardown", line
    return None, line


def _prints_first_line_after_start(program):
    """Test programs print their first line as soon as their own code runs."""
    name = os.path.basename(program).lower()
    return name.endswith(("_test.exe", "_tests.exe"))


def unhandled_exception(output):
    """Wine's line saying the program ended by an unhandled exception, or None."""
    match = UNHANDLED.search(output.replace("\r", ""))
    return output.replace("\r", "")[match.start():].splitlines()[0] if match else None


def judge(program, output, status, emulated):
    """("unhandled", line), (kind, line) for a death the emulator may be blamed for, or None."""
    unhandled = unhandled_exception(output)
    if unhandled:
        return "unhandled", unhandled
    if status == 0 or not emulated:
        return None
    kind, line = classify(program, output)
    return (kind, line) if kind else None


def main(argv):
    if len(argv) != 5:
        print(__doc__)
        return 2
    with open(argv[2], encoding="utf-8", errors="replace") as f:
        verdict = judge(argv[1], f.read(), int(argv[3]), argv[4] == "1")
    if verdict:
        print("%s\t%s" % verdict)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
