// Built into every test executable of a sanitizer build. These are the runtimes' defaults for
// the process; ASAN_OPTIONS and UBSAN_OPTIONS in the environment still override them. They sit
// in the binary because ctest cannot pass several environment variables through test discovery
// here, and because a binary run by hand, or a child it forks, should behave the same.

extern "C" {

// Leaks fail the run; a report ends the process with an error status, not an abort.
const char* __asan_default_options()
{
    return "detect_leaks=1:abort_on_error=0";
}

// OpenSSL frees its global and per-thread state from exit hooks, which can run after the leak
// check when a thread is still ending with the process; its allocations carry no frame of ours
// (the library keeps no frame pointers), so a report of one could not be traced to our code.
const char* __lsan_default_suppressions()
{
    return "leak:libcrypto.so\n";
}

// Undefined behaviour stops the process with the stack that reached it.
const char* __ubsan_default_options()
{
    return "print_stacktrace=1:halt_on_error=1";
}

}
