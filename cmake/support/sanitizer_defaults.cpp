// Linked into every native program when 32-bit code runs through qemu's user-mode emulator:
// LeakSanitizer stops the world with ptrace, which the emulator cannot offer, and would hang at
// exit. Address and undefined-behaviour checks stay on.
extern "C" const char* __asan_default_options() { return "detect_leaks=0"; }
