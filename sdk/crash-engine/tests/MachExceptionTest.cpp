#include "sdk/crash-engine/CECrashReporter.h"
#include "sdk/crash-engine/mach/CECrashMachExceptionPort.h"
#include "sdk/crash-engine/mach/MachExceptionForwarding.h"

#include <gtest/gtest.h>

#include <map>
#include <vector>

namespace {

// Ports with reference counts, registrations per target, and the last exception raised.
class FakeMachPorts : public CECrashMachPorts {
public:
    cecrash_kern_return_t modRefs(cecrash_mach_port_t port, int32_t delta) override
    {
        refs[port] += delta;
        return CECRASH_KERN_SUCCESS;
    }
    cecrash_kern_return_t getExceptionPorts(bool, cecrash_mach_port_t target, uint32_t,
                                            cecrash_mach_exception_port_set* set) override
    {
        if (failure != CECRASH_KERN_SUCCESS)
            return failure;
        *set = registrations[target];
        handOut(*set);
        return CECRASH_KERN_SUCCESS;
    }
    cecrash_kern_return_t swapExceptionPorts(bool, cecrash_mach_port_t target, uint32_t mask, cecrash_mach_port_t port,
                                             int32_t behavior, int32_t flavor, cecrash_mach_exception_port_set* previous) override
    {
        if (failure != CECRASH_KERN_SUCCESS)
            return failure;
        *previous = registrations[target];
        handOut(*previous);
        cecrash_mach_exception_port_set replacement{};
        replacement.count = 1;
        replacement.masks[0] = mask;
        replacement.ports[0] = port;
        replacement.behaviors[0] = behavior;
        replacement.flavors[0] = flavor;
        registrations[target] = replacement;
        return CECRASH_KERN_SUCCESS;
    }
    cecrash_kern_return_t threadGetState(cecrash_mach_port_t, int32_t flavor, uint32_t* state, uint32_t* count) override
    {
        if (stateFailure != CECRASH_KERN_SUCCESS)
            return stateFailure;
        state[0] = static_cast<uint32_t>(flavor);
        state[1] = 0xabcd;
        *count = 2;
        return CECRASH_KERN_SUCCESS;
    }
    cecrash_kern_return_t raise(const cecrash_mach_raise& request) override
    {
        raised = request;
        codes64 = request.codes64 != nullptr ? std::vector<int64_t>(request.codes64, request.codes64 + request.code_count)
                                             : std::vector<int64_t>{};
        codes32 = request.codes32 != nullptr ? std::vector<int32_t>(request.codes32, request.codes32 + request.code_count)
                                             : std::vector<int32_t>{};
        state = request.state != nullptr ? std::vector<uint32_t>(request.state, request.state + request.state_count)
                                         : std::vector<uint32_t>{};
        return 42;
    }

    // The kernel hands one send right to the caller with each registration it reports.
    void handOut(const cecrash_mach_exception_port_set& set)
    {
        for (uint32_t i = 0; i < set.count; ++i) {
            if (set.ports[i] != CECRASH_MACH_PORT_NULL && set.ports[i] != CECRASH_MACH_PORT_DEAD)
                refs[set.ports[i]] += 1;
        }
    }

    std::map<cecrash_mach_port_t, int> refs;
    std::map<cecrash_mach_port_t, cecrash_mach_exception_port_set> registrations;
    cecrash_kern_return_t failure = CECRASH_KERN_SUCCESS;
    cecrash_kern_return_t stateFailure = CECRASH_KERN_SUCCESS;
    std::optional<cecrash_mach_raise> raised;
    std::vector<int64_t> codes64;
    std::vector<int32_t> codes32;
    std::vector<uint32_t> state;
};

TEST(MachExceptionMappingTest, ExceptionsMapToTheirSignals)
{
    struct Case {
        int32_t type;
        int64_t code;
        bool mapped;
        int32_t signo;
        int32_t signalCode;
    };
    const Case cases[] = {
        {CECRASH_EXC_BAD_ACCESS, CECRASH_KERN_INVALID_ADDRESS, true, 11, 1},
        {CECRASH_EXC_BAD_ACCESS, CECRASH_KERN_PROTECTION_FAILURE, true, 10, 2},
        {CECRASH_EXC_BAD_ACCESS, 9, true, 10, 2},
        {CECRASH_EXC_BAD_INSTRUCTION, 1, true, 4, 0},
        {CECRASH_EXC_ARITHMETIC, 1, true, 8, 0},
        {CECRASH_EXC_EMULATION, 1, true, 7, 0},
        {CECRASH_EXC_SOFTWARE, CECRASH_EXC_UNIX_BAD_SYSCALL, true, 12, 0},
        {CECRASH_EXC_SOFTWARE, CECRASH_EXC_UNIX_BAD_PIPE, true, 13, 0},
        {CECRASH_EXC_SOFTWARE, CECRASH_EXC_UNIX_ABORT, true, 6, 0},
        {CECRASH_EXC_SOFTWARE, CECRASH_EXC_SOFT_SIGNAL, true, 9, 0},
        {CECRASH_EXC_SOFTWARE, 0x10004, true, 6, 0},
        {CECRASH_EXC_BREAKPOINT, 1, true, 5, 1},
        {CECRASH_EXC_GUARD, 1, false, 0, 0},
        {0, 1, false, 0, 0},
    };
    for (const Case& c : cases) {
        const int64_t codes[] = {c.code, 0x1234};
        cecrash_mach_signal_record record{-1, -1, 0};
        EXPECT_EQ(cecrash_mach_exception_map_to_signal(c.type, codes, 2, &record), c.mapped) << c.type << "/" << c.code;
        if (c.mapped) {
            EXPECT_EQ(record.signo, c.signo) << c.type << "/" << c.code;
            EXPECT_EQ(record.code, c.signalCode) << c.type << "/" << c.code;
            EXPECT_EQ(record.address, 0x1234u);
        }
    }
    const int64_t one[] = {CECRASH_KERN_INVALID_ADDRESS};
    cecrash_mach_signal_record record{-1, -1, 0};
    EXPECT_FALSE(cecrash_mach_exception_map_to_signal(CECRASH_EXC_BAD_ACCESS, one, 1, &record));
    EXPECT_EQ(record.signo, -1);
}

cecrash_mach_exception_port_set registrations(std::initializer_list<std::array<int64_t, 4>> entries)
{
    cecrash_mach_exception_port_set set{};
    for (const auto& entry : entries) {
        set.masks[set.count] = static_cast<uint32_t>(entry[0]);
        set.ports[set.count] = static_cast<cecrash_mach_port_t>(entry[1]);
        set.behaviors[set.count] = static_cast<int32_t>(entry[2]);
        set.flavors[set.count] = static_cast<int32_t>(entry[3]);
        ++set.count;
    }
    return set;
}

TEST(MachExceptionForwardingTest, TheFirstCoveringRegistrationReceivesTheFormItAskedFor)
{
    const uint32_t badAccess = 1u << CECRASH_EXC_BAD_ACCESS;
    const int64_t codes[] = {0x1'0000'0001, 0x7fff'0000'1234};
    FakeMachPorts ports;

    // A dead port and a port for other exceptions are passed over.
    const cecrash_mach_exception_port_set identity = registrations({
        {badAccess, CECRASH_MACH_PORT_DEAD, CECRASH_EXCEPTION_DEFAULT, 7},
        {1u << CECRASH_EXC_BREAKPOINT, 70, CECRASH_EXCEPTION_DEFAULT, 7},
        {badAccess, 80, CECRASH_EXCEPTION_STATE_IDENTITY, 4},
    });
    EXPECT_EQ(cecrash_mach_exception_forward(&ports, 1, 2, CECRASH_EXC_BAD_ACCESS, codes, 2, &identity), 42);
    ASSERT_TRUE(ports.raised);
    EXPECT_EQ(ports.raised->port, 80u);
    EXPECT_EQ(ports.raised->behavior, CECRASH_EXCEPTION_STATE_IDENTITY);
    EXPECT_FALSE(ports.raised->wide_codes);
    EXPECT_EQ(ports.codes32, (std::vector<int32_t>{1, 0x1234}));
    EXPECT_EQ(ports.raised->thread, 2u);
    EXPECT_EQ(ports.raised->task, 1u);
    EXPECT_EQ(ports.raised->flavor, 4);
    EXPECT_EQ(ports.state, (std::vector<uint32_t>{4, 0xabcd}));

    const cecrash_mach_exception_port_set wide = registrations(
        {{badAccess, 81, CECRASH_EXCEPTION_DEFAULT | CECRASH_MACH_EXCEPTION_CODES, 7}});
    EXPECT_EQ(cecrash_mach_exception_forward(&ports, 1, 2, CECRASH_EXC_BAD_ACCESS, codes, 2, &wide), 42);
    EXPECT_TRUE(ports.raised->wide_codes);
    EXPECT_EQ(ports.codes64, (std::vector<int64_t>(codes, codes + 2)));
    EXPECT_TRUE(ports.state.empty());

    // The state form names no thread or task.
    const cecrash_mach_exception_port_set stateOnly = registrations({{badAccess, 82, CECRASH_EXCEPTION_STATE, 9}});
    EXPECT_EQ(cecrash_mach_exception_forward(&ports, 1, 2, CECRASH_EXC_BAD_ACCESS, codes, 2, &stateOnly), 42);
    EXPECT_EQ(ports.raised->thread, 0u);
    EXPECT_EQ(ports.state, (std::vector<uint32_t>{9, 0xabcd}));

    const cecrash_mach_exception_port_set unknown = registrations({{badAccess, 83, 4, 7}});
    EXPECT_EQ(cecrash_mach_exception_forward(&ports, 1, 2, CECRASH_EXC_BAD_ACCESS, codes, 2, &unknown), CECRASH_KERN_FAILURE);
    EXPECT_EQ(cecrash_mach_exception_forward(&ports, 1, 2, CECRASH_EXC_ARITHMETIC, codes, 2, &identity), CECRASH_KERN_FAILURE);
    ports.stateFailure = 17;
    EXPECT_EQ(cecrash_mach_exception_forward(&ports, 1, 2, CECRASH_EXC_BAD_ACCESS, codes, 2, &identity), 17);
}

TEST(MachExceptionPortTest, RegistrationsHoldTheirReferencesAndHandBackThePreviousOnes)
{
    FakeMachPorts ports;
    ports.registrations[5] = registrations({{0x2, 60, CECRASH_EXCEPTION_DEFAULT, 7}, {0x4, CECRASH_MACH_PORT_DEAD, 1, 7}});
    {
        CECrashMachExceptionPort port(ports, 90, 0x2, CECRASH_EXCEPTION_DEFAULT | CECRASH_MACH_EXCEPTION_CODES, 7);
        EXPECT_EQ(ports.refs[90], 1);
        std::optional<CECrashMachExceptionPortSet> previous;
        ASSERT_TRUE(port.registerForTask(5, &previous));
        ASSERT_TRUE(previous);
        ASSERT_EQ(previous->set().size(), 2u);
        EXPECT_EQ(previous->asyncSafeRepresentation().ports[0], 60u);
        EXPECT_EQ(previous->asyncSafeRepresentation().count, 2u);
        // The set's object holds one reference; the one the kernel handed out is dropped.
        EXPECT_EQ(ports.refs[60], 1);
        EXPECT_EQ(ports.refs.count(CECRASH_MACH_PORT_DEAD), 0u);

        // Without a place for them the previous registrations still give their references back.
        ASSERT_TRUE(port.registerForThread(6, nullptr));
        std::optional<CECrashMachExceptionPortSet> current = CECrashMachExceptionPort::exceptionPortsForTask(ports, 5, 0x2);
        ASSERT_TRUE(current);
        EXPECT_EQ(current->asyncSafeRepresentation().ports[0], 90u);
        EXPECT_EQ(ports.refs[90], 2);
    }
    EXPECT_EQ(ports.refs[90], 0);
    EXPECT_EQ(ports.refs[60], 0);

    ports.failure = 3;
    CECrashMachExceptionPort port(ports, 91, 0x2, CECRASH_EXCEPTION_DEFAULT, 7);
    CECrashError error;
    EXPECT_FALSE(port.registerForTask(5, nullptr, &error));
    EXPECT_EQ(error.code, CECrashReporterErrorOperatingSystem);
    EXPECT_EQ(error.description, "Failed to swap mach exception ports");
    ASSERT_NE(error.underlying, nullptr);
    EXPECT_EQ(error.underlying->domain, CECrashMachErrorDomain);
    EXPECT_EQ(error.underlying->code, 3);
    EXPECT_FALSE(CECrashMachExceptionPort::exceptionPortsForTask(ports, 5, 0x2, &error));
    EXPECT_EQ(error.description, "Failed to fetch mach exception ports");
}

TEST(MachExceptionPortTest, SetsBeyondTheRegistrationCountAreProgrammingErrors)
{
    FakeMachPorts ports;
    std::vector<std::shared_ptr<CECrashMachExceptionPort>> many;
    for (cecrash_mach_port_t i = 0; i < 15; ++i)
        many.push_back(std::make_shared<CECrashMachExceptionPort>(ports, 100 + i, 1u << i, CECRASH_EXCEPTION_DEFAULT, 7));
    EXPECT_THROW(CECrashMachExceptionPortSet{many}, CECrashReporterException);
    many.pop_back();
    const CECrashMachExceptionPortSet fourteen(many);
    EXPECT_EQ(fourteen.asyncSafeRepresentation().count, 14u);
    EXPECT_EQ(fourteen.asyncSafeRepresentation().masks[13], 1u << 13);

    cecrash_mach_exception_port_set record{};
    record.count = 15;
    EXPECT_THROW(CECrashMachExceptionPortSet(ports, record), CECrashReporterException);
}

}  // namespace
