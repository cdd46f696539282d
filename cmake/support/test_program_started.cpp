// Linked into every Windows test program: its first action, before any test's own static
// objects, is one flushed line saying the program's own code runs. The Wine runner watches for
// it (a program whose binary holds this line is watched), so that a run which never printed it
// is known to have hung or died in Wine's or the emulator's start-up, and one that printed it
// and then hung is a fault of the program's own.
#include <cstdio>

namespace {

__attribute__((constructor(101))) void say_the_program_started() {
  std::fputs("[quenlor] test program started\n", stdout);
  std::fflush(stdout);
}

}  // namespace
