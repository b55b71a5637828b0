#include "sdk/crash-engine/mach/CECrashMachExceptionPort.h"

#include "sdk/crash-engine/CECrashLog.h"
#include "sdk/crash-engine/CECrashReporter.h"

#include <string>

namespace {

bool isValid(cecrash_mach_port_t port)
{
    return port != CECRASH_MACH_PORT_NULL && port != CECRASH_MACH_PORT_DEAD;
}

void makeMachError(CECrashError* error, cecrash_kern_return_t code, const std::string& description)
{
    auto underlying = std::make_shared<CECrashError>(CECrashError{CECrashMachErrorDomain, code, {}, nullptr});
    cecrash_make_error(error, CECrashReporterErrorOperatingSystem, description, std::move(underlying));
}

std::optional<CECrashMachExceptionPortSet> portsFor(CECrashMachPorts& ports, bool isTask, cecrash_mach_port_t target,
                                                    uint32_t mask, CECrashError* error)
{
    cecrash_mach_exception_port_set record{};
    record.count = CECRASH_EXC_TYPES_COUNT;
    const cecrash_kern_return_t result = ports.getExceptionPorts(isTask, target, mask, &record);
    if (result != CECRASH_KERN_SUCCESS) {
        makeMachError(error, result, isTask ? "Failed to fetch mach exception ports" : "");
        return std::nullopt;
    }
    return CECrashMachExceptionPortSet(ports, record);
}

}  // namespace

CECrashMachExceptionPort::CECrashMachExceptionPort(CECrashMachPorts& ports, cecrash_mach_port_t serverPort, uint32_t mask,
                                                   int32_t behavior, int32_t flavor)
    : _ports(ports), _mask(mask), _port(serverPort), _behavior(behavior), _flavor(flavor)
{
    if (!isValid(_port))
        return;
    if (const cecrash_kern_return_t result = _ports.modRefs(_port, 1); result != CECRASH_KERN_SUCCESS)
        CECrashLog("[CECrashReporter] Unexpected error incrementing mach port reference: " + std::to_string(result));
}

CECrashMachExceptionPort::~CECrashMachExceptionPort()
{
    if (!isValid(_port))
        return;
    if (const cecrash_kern_return_t result = _ports.modRefs(_port, -1); result != CECRASH_KERN_SUCCESS)
        CECrashLog("[CECrashReporter] Unexpected error decrementing mach port reference: " + std::to_string(result));
}

std::optional<CECrashMachExceptionPortSet> CECrashMachExceptionPort::exceptionPortsForTask(CECrashMachPorts& ports,
                                                                                           cecrash_mach_port_t task,
                                                                                           uint32_t mask, CECrashError* error)
{
    return portsFor(ports, true, task, mask, error);
}

std::optional<CECrashMachExceptionPortSet> CECrashMachExceptionPort::exceptionPortsForThread(CECrashMachPorts& ports,
                                                                                             cecrash_mach_port_t thread,
                                                                                             uint32_t mask,
                                                                                             CECrashError* error)
{
    return portsFor(ports, false, thread, mask, error);
}

bool CECrashMachExceptionPort::registerForTask(cecrash_mach_port_t task, std::optional<CECrashMachExceptionPortSet>* previous,
                                               CECrashError* error)
{
    return registerFor(true, task, previous, error);
}

bool CECrashMachExceptionPort::registerForThread(cecrash_mach_port_t thread,
                                                 std::optional<CECrashMachExceptionPortSet>* previous, CECrashError* error)
{
    return registerFor(false, thread, previous, error);
}

bool CECrashMachExceptionPort::registerFor(bool isTask, cecrash_mach_port_t target,
                                           std::optional<CECrashMachExceptionPortSet>* previous, CECrashError* error)
{
    cecrash_mach_exception_port_set replaced{};
    replaced.count = CECRASH_EXC_TYPES_COUNT;
    const cecrash_kern_return_t result = _ports.swapExceptionPorts(isTask, target, _mask, _port, _behavior, _flavor, &replaced);
    if (result != CECRASH_KERN_SUCCESS) {
        makeMachError(error, result, "Failed to swap mach exception ports");
        return false;
    }
    // The kernel's references are taken over either way, so none leaks when no one asks.
    CECrashMachExceptionPortSet set(_ports, replaced);
    if (previous != nullptr)
        previous->emplace(std::move(set));
    return true;
}

CECrashMachExceptionPortSet::CECrashMachExceptionPortSet(std::vector<std::shared_ptr<CECrashMachExceptionPort>> set)
    : _state_set(std::move(set))
{
    if (_state_set.size() > CECRASH_EXC_TYPES_COUNT)
        throw CECrashReporterException("Set size of " + std::to_string(_state_set.size()) + " exceeds EXC_TYPES_COUNT ("
                                       + std::to_string(CECRASH_EXC_TYPES_COUNT) + ")");
    for (size_t i = 0; i < _state_set.size(); ++i) {
        const CECrashMachExceptionPort& port = *_state_set[i];
        _asyncSafeRepresentation.masks[i] = port.mask();
        _asyncSafeRepresentation.ports[i] = port.server_port();
        _asyncSafeRepresentation.behaviors[i] = port.behavior();
        _asyncSafeRepresentation.flavors[i] = port.flavor();
    }
    _asyncSafeRepresentation.count = static_cast<uint32_t>(_state_set.size());
}

CECrashMachExceptionPortSet::CECrashMachExceptionPortSet(CECrashMachPorts& ports, const cecrash_mach_exception_port_set& record)
    : _asyncSafeRepresentation(record)
{
    if (record.count > CECRASH_EXC_TYPES_COUNT)
        throw CECrashReporterException("Count of " + std::to_string(record.count) + " exceeds EXC_TYPES_COUNT ("
                                       + std::to_string(CECRASH_EXC_TYPES_COUNT) + ")");
    for (uint32_t i = 0; i < record.count; ++i) {
        _state_set.push_back(std::make_shared<CECrashMachExceptionPort>(ports, record.ports[i], record.masks[i],
                                                                        record.behaviors[i], record.flavors[i]));
        if (!isValid(record.ports[i]))
            continue;
        if (const cecrash_kern_return_t result = ports.modRefs(record.ports[i], -1); result != CECRASH_KERN_SUCCESS)
            CECrashLog("[CECrashReporter] Unexpected error decrementing mach port reference: " + std::to_string(result));
    }
}
