// One exception-port registration (server port, mask, behaviour, flavour), installed on a task
// or thread in place of the ones in force, and the set of registrations that were in force,
// kept both as objects and as a plain record that crash-time code can read.
#pragma once

#include "sdk/crash-engine/CECrashError.h"
#include "sdk/crash-engine/mach/CECrashMachPorts.h"

#include <memory>
#include <optional>
#include <vector>

// Domain of an underlying kernel return code.
inline constexpr const char* CECrashMachErrorDomain = "MachErrorDomain";

class CECrashMachExceptionPortSet;

class CECrashMachExceptionPort {
public:
    // A valid port (neither null nor dead) gains a send-right reference for the object's life.
    CECrashMachExceptionPort(CECrashMachPorts& ports, cecrash_mach_port_t serverPort, uint32_t mask, int32_t behavior,
                             int32_t flavor);
    ~CECrashMachExceptionPort();
    CECrashMachExceptionPort(const CECrashMachExceptionPort&) = delete;
    CECrashMachExceptionPort& operator=(const CECrashMachExceptionPort&) = delete;

    // The registrations of a task or thread for a mask; nullopt with code 1 and the kernel code.
    static std::optional<CECrashMachExceptionPortSet> exceptionPortsForTask(CECrashMachPorts& ports, cecrash_mach_port_t task,
                                                                            uint32_t mask, CECrashError* error = nullptr);
    static std::optional<CECrashMachExceptionPortSet> exceptionPortsForThread(CECrashMachPorts& ports,
                                                                              cecrash_mach_port_t thread, uint32_t mask,
                                                                              CECrashError* error = nullptr);

    // Installs this registration; the ones it replaces go to previous when it is given.
    bool registerForTask(cecrash_mach_port_t task, std::optional<CECrashMachExceptionPortSet>* previous,
                         CECrashError* error = nullptr);
    bool registerForThread(cecrash_mach_port_t thread, std::optional<CECrashMachExceptionPortSet>* previous,
                           CECrashError* error = nullptr);

    cecrash_mach_port_t server_port() const { return _port; }
    uint32_t mask() const { return _mask; }
    int32_t behavior() const { return _behavior; }
    int32_t flavor() const { return _flavor; }

private:
    bool registerFor(bool isTask, cecrash_mach_port_t target, std::optional<CECrashMachExceptionPortSet>* previous,
                     CECrashError* error);

    CECrashMachPorts& _ports;
    uint32_t _mask;
    cecrash_mach_port_t _port;
    int32_t _behavior;
    int32_t _flavor;
};

class CECrashMachExceptionPortSet {
public:
    // More than EXC_TYPES_COUNT ports is a programming error (CECrashReporterException).
    explicit CECrashMachExceptionPortSet(std::vector<std::shared_ptr<CECrashMachExceptionPort>> set);
    // Takes over the kernel's answer: each entry becomes a port object, and the reference the
    // kernel handed out with it is dropped (the object holds its own).
    CECrashMachExceptionPortSet(CECrashMachPorts& ports, const cecrash_mach_exception_port_set& record);

    const std::vector<std::shared_ptr<CECrashMachExceptionPort>>& set() const { return _state_set; }
    cecrash_mach_exception_port_set asyncSafeRepresentation() const { return _asyncSafeRepresentation; }
    auto begin() const { return _state_set.begin(); }
    auto end() const { return _state_set.end(); }

private:
    std::vector<std::shared_ptr<CECrashMachExceptionPort>> _state_set;
    cecrash_mach_exception_port_set _asyncSafeRepresentation{};
};
