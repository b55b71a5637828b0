// Translation of Linux signal numbers and codes into the numbering reports are written in
// (the original platform's), so that a report reads the same whatever the host.
#pragma once

#include <cstdint>

// Report signal numbers of the crash signals.
constexpr int32_t CECRASH_SIGNAL_SIGILL = 4;
constexpr int32_t CECRASH_SIGNAL_SIGTRAP = 5;
constexpr int32_t CECRASH_SIGNAL_SIGABRT = 6;
constexpr int32_t CECRASH_SIGNAL_SIGFPE = 8;
constexpr int32_t CECRASH_SIGNAL_SIGBUS = 10;
constexpr int32_t CECRASH_SIGNAL_SIGSEGV = 11;
constexpr int32_t CECRASH_SIGNAL_TRAP_TRACE = 2;

// Async-signal-safe. The report number of a Linux signal. Signals without a counterpart
// (SIGSTKFLT, SIGPWR, the real-time signals) become the negated Linux number, which no name
// matches, so a report shows "#-16" rather than a wrong name.
int32_t cecrash_signal_number_from_host(int host_signal);
// Async-signal-safe. The report code of a Linux si_code for that Linux signal. Codes sent by
// kill, raise or tgkill (zero or below) become 0; a breakpoint's SIGTRAP is TRAP_BRKPT.
int32_t cecrash_signal_code_from_host(int host_signal, int host_code);
