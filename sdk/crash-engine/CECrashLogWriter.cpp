#include "sdk/crash-engine/CECrashLogWriter.h"

#include "sdk/crash-engine/CECrashHostInfo.h"
#include "sdk/crash-engine/CECrashProcessInfo.h"
#include "sdk/crash-engine/FrameCursor.h"
#include "sdk/crash-engine/linux/SystemFacts.h"

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <sched.h>

namespace {

// Report field numbers.
enum : uint32_t {
    kReportSystemInfo = 1,
    kReportApplicationInfo = 2,
    kReportThreads = 3,
    kReportBinaryImages = 4,
    kReportException = 5,
    kReportSignal = 6,
    kReportProcessInfo = 7,
    kReportMachineInfo = 8,
    kReportReportInfo = 9,
    kReportCustomData = 10,
};

constexpr uint32_t kOperatingSystemMacOSX = 0;
constexpr uint32_t kArchitectureX86_64 = 1;
constexpr uint32_t kTypeEncodingMach = 1;

// Protocol buffers wire types.
constexpr uint32_t kWireVarint = 0;
constexpr uint32_t kWire64 = 1;
constexpr uint32_t kWireLengthDelimited = 2;
constexpr uint32_t kWire32 = 5;

// A failed check is a programming error: say which, with write(2) only, and stop.
#define CECRASH_ASSERT(condition)                                                           \
    do {                                                                                    \
        if (!(condition)) {                                                                 \
            const char message[] = "[CECrashReporter] Assertion failed: " #condition "\n";  \
            cecrash_async_write_fully(2, message, sizeof(message) - 1);                     \
            abort();                                                                        \
        }                                                                                   \
    } while (0)

struct SignalName {
    int32_t signo;
    const char* name;
};

const SignalName kSignalNames[] = {
    {1, "SIGHUP"}, {2, "SIGINT"}, {3, "SIGQUIT"}, {4, "SIGILL"}, {5, "SIGTRAP"}, {6, "SIGABRT"},
    {6, "SIGIOT"}, {7, "SIGEMT"}, {8, "SIGFPE"}, {9, "SIGKILL"}, {10, "SIGBUS"}, {11, "SIGSEGV"},
    {12, "SIGSYS"}, {13, "SIGPIPE"}, {14, "SIGALRM"}, {15, "SIGTERM"}, {16, "SIGURG"}, {17, "SIGSTOP"},
    {18, "SIGTSTP"}, {19, "SIGCONT"}, {20, "SIGCHLD"}, {21, "SIGTTIN"}, {22, "SIGTTOU"}, {23, "SIGIO"},
    {24, "SIGXCPU"}, {25, "SIGXFSZ"}, {26, "SIGVTALRM"}, {27, "SIGPROF"}, {28, "SIGWINCH"},
    {29, "SIGINFO"}, {30, "SIGUSR1"}, {31, "SIGUSR2"},
};

struct SignalCode {
    int32_t signo;
    int32_t code;
    const char* name;
};

const SignalCode kSignalCodes[] = {
    {4, 0, "ILL_NOOP"}, {4, 1, "ILL_ILLOPC"}, {4, 2, "ILL_ILLTRP"}, {4, 3, "ILL_PRVOPC"},
    {4, 4, "ILL_ILLOPN"}, {4, 5, "ILL_ILLADR"}, {4, 6, "ILL_PRVREG"}, {4, 7, "ILL_COPROC"},
    {4, 8, "ILL_BADSTK"},
    {8, 0, "FPE_NOOP"}, {8, 1, "FPE_FLTDIV"}, {8, 2, "FPE_FLTOVF"}, {8, 3, "FPE_FLTUND"},
    {8, 4, "FPE_FLTRES"}, {8, 5, "FPE_FLTINV"}, {8, 6, "FPE_FLTSUB"}, {8, 7, "FPE_INTDIV"},
    {8, 8, "FPE_INTOVF"},
    {11, 0, "SEGV_NOOP"}, {11, 1, "SEGV_MAPERR"}, {11, 2, "SEGV_ACCERR"},
    {10, 0, "BUS_NOOP"}, {10, 1, "BUS_ADRALN"}, {10, 2, "BUS_ADRERR"}, {10, 3, "BUS_OBJERR"},
    {5, 0, "#0"}, {5, 1, "TRAP_BRKPT"}, {5, 2, "TRAP_TRACE"},
    {6, 0, "#0"},
};

// Async-signal-safe.
size_t encodeVarint(uint8_t* out, uint64_t value)
{
    size_t length = 0;
    while (value >= 0x80) {
        out[length++] = static_cast<uint8_t>(value | 0x80);
        value >>= 7;
    }
    out[length++] = static_cast<uint8_t>(value);
    return length;
}

// Async-signal-safe.
size_t encodeFixed(uint8_t* out, uint64_t value, size_t width)
{
    for (size_t i = 0; i < width; ++i)
        out[i] = static_cast<uint8_t>(value >> (8 * i));
    return width;
}

// Async-signal-safe.
size_t stringLength(const char* text)
{
    size_t length = 0;
    while (text[length] != '\0')
        ++length;
    return length;
}

// Everything one write needs besides the writer.
struct WriteContext {
    cecrash_log_writer_t* writer;
    cecrash_async_image_list* images;
    const cecrash_async_thread_state* currentState;
    cecrash_thread_t currentThread;
    // This write stopped the other threads. When another report holds them, their registers
    // are that report's and may change as soon as it lets them go.
    bool threadsHeld;
    int64_t timestamp;
};

// Writes a nested message: its key and length, then the body (already sized).
// Async-signal-safe.
template <typename Body>
size_t writeMessage(cecrash_async_output_file* file, uint32_t field, Body body)
{
    const uint32_t size = static_cast<uint32_t>(body(nullptr));
    size_t written = cecrash_writer_encode_field(file, field, CECRASH_FIELD_MESSAGE, &size);
    if (file != nullptr)
        body(file);
    return written + size;
}

// Async-signal-safe.
size_t writeString(cecrash_async_output_file* file, uint32_t field, const char* text)
{
    return cecrash_writer_encode_field(file, field, CECRASH_FIELD_STRING, text != nullptr ? text : "");
}

// Async-signal-safe.
size_t writeU32(cecrash_async_output_file* file, uint32_t field, uint32_t value, int type = CECRASH_FIELD_UINT32)
{
    return cecrash_writer_encode_field(file, field, type, &value);
}

// Async-signal-safe.
size_t writeU64(cecrash_async_output_file* file, uint32_t field, uint64_t value)
{
    return cecrash_writer_encode_field(file, field, CECRASH_FIELD_UINT64, &value);
}

// Async-signal-safe.
size_t writeBool(cecrash_async_output_file* file, uint32_t field, bool value)
{
    return cecrash_writer_encode_field(file, field, CECRASH_FIELD_BOOL, &value);
}

// Async-signal-safe.
size_t writeBytes(cecrash_async_output_file* file, uint32_t field, const void* data, size_t length)
{
    const cecrash_writer_bytes bytes{length, data};
    return cecrash_writer_encode_field(file, field, CECRASH_FIELD_BYTES, &bytes);
}

// Async-signal-safe.
size_t writeProcessor(cecrash_async_output_file* file, uint32_t field, uint64_t type, uint64_t subtype)
{
    return writeMessage(file, field, [&](cecrash_async_output_file* out) {
        return writeU32(out, 1, kTypeEncodingMach, CECRASH_FIELD_ENUM) + writeU64(out, 2, type) + writeU64(out, 3, subtype);
    });
}

// Async-signal-safe.
size_t writeReportInfo(cecrash_async_output_file* file, const WriteContext& context)
{
    return writeBool(file, 1, context.writer->user_requested) + writeBytes(file, 2, context.writer->report_uuid, 16);
}

// Async-signal-safe.
size_t writeSystemInfo(cecrash_async_output_file* file, const WriteContext& context)
{
    const cecrash_log_writer_t* writer = context.writer;
    size_t size = writeU32(file, 1, kOperatingSystemMacOSX, CECRASH_FIELD_ENUM);
    size += writeString(file, 2, writer->os_version);
    if (writer->os_build != nullptr)
        size += writeString(file, 5, writer->os_build);
    size += writeU32(file, 3, kArchitectureX86_64, CECRASH_FIELD_ENUM);
    size += cecrash_writer_encode_field(file, 4, CECRASH_FIELD_INT64, &context.timestamp);
    return size;
}

// Async-signal-safe.
size_t writeMachineInfo(cecrash_async_output_file* file, const WriteContext& context)
{
    const cecrash_log_writer_t* writer = context.writer;
    size_t size = 0;
    if (writer->model != nullptr)
        size += writeString(file, 1, writer->model);
    size += writeProcessor(file, 2, writer->cpu_type, writer->cpu_subtype);
    size += writeU32(file, 3, writer->physical_cpu_count);
    size += writeU32(file, 4, writer->logical_cpu_count);
    return size;
}

// Async-signal-safe.
size_t writeApplicationInfo(cecrash_async_output_file* file, const WriteContext& context)
{
    const cecrash_log_writer_t* writer = context.writer;
    return writeString(file, 1, writer->app_identifier) + writeString(file, 2, writer->app_version)
        + writeString(file, 3, writer->app_marketing_version);
}

// Async-signal-safe.
size_t writeProcessInfo(cecrash_async_output_file* file, const WriteContext& context)
{
    const cecrash_log_writer_t* writer = context.writer;
    size_t size = writeString(file, 1, writer->process_name);
    size += writeU32(file, 2, writer->process_id);
    // The path keeps its terminating NUL, as the length the system reported for it.
    size += writeBytes(file, 3, writer->process_path != nullptr ? writer->process_path : "", writer->process_path_length);
    size += writeString(file, 4, writer->parent_process_name);
    size += writeU32(file, 5, writer->parent_process_id);
    size += writeBool(file, 6, writer->native);
    size += writeU64(file, 7, writer->process_start_time);
    return size;
}

// Async-signal-safe.
size_t writeFrame(cecrash_async_output_file* file, uint64_t pc)
{
    return writeU64(file, 3, pc);
}

// Async-signal-safe.
size_t writeThread(cecrash_async_output_file* file, const WriteContext& context, cecrash_thread_t thread,
                   uint32_t number, bool crashed)
{
    size_t size = writeU32(file, 1, number) + writeBool(file, 3, crashed);
    cecrash_async_thread_state state;
    if (thread == context.currentThread && context.currentState != nullptr)
        cecrash_async_thread_state_copy(&state, context.currentState);
    else if (!context.threadsHeld || cecrash_async_thread_get_state(thread, &state) != CECRASH_ESUCCESS)
        return size;
    cecrash_async_frame_cursor cursor;
    if (cecrash_async_frame_cursor_init(&cursor, context.images, &state) != CECRASH_ESUCCESS)
        return size;
    for (uint32_t frame = 0; frame < CECRASH_MAX_FRAMES; ++frame) {
        if (cecrash_async_frame_cursor_next(&cursor) != CECRASH_FRAME_ESUCCESS)
            break;
        if (frame == 0 && crashed) {
            const size_t count = cecrash_async_frame_cursor_get_regcount(&cursor);
            for (uint32_t reg = 0; reg < count; ++reg) {
                size += writeMessage(file, 4, [&](cecrash_async_output_file* out) {
                    uint64_t value = 0;
                    if (cecrash_async_frame_cursor_get_reg(&cursor, reg, &value) != CECRASH_FRAME_ESUCCESS)
                        value = 0;
                    return writeString(out, 1, cecrash_async_frame_cursor_get_regname(&cursor, reg)) + writeU64(out, 2, value);
                });
            }
        }
        uint64_t pc = 0;
        if (cecrash_async_frame_cursor_get_reg(&cursor, CECRASH_REG_IP, &pc) != CECRASH_FRAME_ESUCCESS)
            break;
        size += writeMessage(file, 2, [&](cecrash_async_output_file* out) { return writeFrame(out, pc); });
    }
    cecrash_async_frame_cursor_free(&cursor);
    return size;
}

// Async-signal-safe.
size_t writeImage(cecrash_async_output_file* file, const cecrash_async_image* image)
{
    size_t size = writeU64(file, 2, image->text_size);
    size += writeU64(file, 1, image->header_addr);
    size += writeString(file, 3, image->name);
    if (image->has_uuid)
        size += writeBytes(file, 4, image->uuid, 16);
    size += writeProcessor(file, 5, image->cpu_type, image->cpu_subtype);
    return size;
}

// Async-signal-safe.
size_t writeException(cecrash_async_output_file* file, const WriteContext& context)
{
    const auto& exception = context.writer->uncaught_exception;
    CECRASH_ASSERT(exception.has_exception);
    size_t size = writeString(file, 1, exception.name) + writeString(file, 2, exception.reason);
    const size_t count = exception.callstack_count < CECRASH_MAX_FRAMES ? exception.callstack_count : CECRASH_MAX_FRAMES;
    for (size_t i = 0; i < count; ++i) {
        const uint64_t pc = exception.callstack[i];
        size += writeMessage(file, 3, [&](cecrash_async_output_file* out) { return writeFrame(out, pc); });
    }
    return size;
}

// Async-signal-safe.
size_t writeSignal(cecrash_async_output_file* file, const cecrash_log_signal_info* info)
{
    char nameBuffer[16];
    char codeBuffer[16];
    const cecrash_log_bsd_signal_info* bsd = info->bsd_info;
    size_t size = writeString(file, 1, cecrash_writer_signal_name(bsd->signo, nameBuffer));
    size += writeString(file, 2, cecrash_writer_signal_code_name(bsd->signo, bsd->code, codeBuffer));
    size += writeU64(file, 3, bsd->address);
    if (const cecrash_log_mach_signal_info* mach = info->mach_info) {
        size += writeMessage(file, 4, [&](cecrash_async_output_file* out) {
            size_t body = writeU64(out, 1, mach->type);
            for (size_t i = 0; i < mach->code_count; ++i)
                body += writeU64(out, 2, mach->code[i]);
            return body;
        });
    }
    return size;
}

char* copyString(const std::string& text)
{
    return strdup(text.c_str());
}

}  // namespace

size_t cecrash_writer_encode_field(cecrash_async_output_file* file, uint32_t field, int type, const void* value)
{
    if (type < 0 || type > CECRASH_FIELD_MESSAGE)
        abort();
    uint32_t wire = kWireVarint;
    switch (type) {
    case CECRASH_FIELD_SFIXED64:
    case CECRASH_FIELD_FIXED64:
    case CECRASH_FIELD_DOUBLE:
        wire = kWire64;
        break;
    case CECRASH_FIELD_SFIXED32:
    case CECRASH_FIELD_FIXED32:
    case CECRASH_FIELD_FLOAT:
        wire = kWire32;
        break;
    case CECRASH_FIELD_STRING:
    case CECRASH_FIELD_BYTES:
    case CECRASH_FIELD_MESSAGE:
        wire = kWireLengthDelimited;
        break;
    default:
        break;
    }
    uint8_t scratch[20];
    size_t length = encodeVarint(scratch, (uint64_t{field} << 3) | wire);
    const void* payload = nullptr;
    size_t payloadLength = 0;
    switch (type) {
    case CECRASH_FIELD_INT32: {
        // A negative value is sign-extended and takes ten bytes.
        const int64_t extended = *static_cast<const int32_t*>(value);
        length += encodeVarint(scratch + length, static_cast<uint64_t>(extended));
        break;
    }
    case CECRASH_FIELD_SINT32: {
        const int32_t n = *static_cast<const int32_t*>(value);
        const uint32_t zigzag = (static_cast<uint32_t>(n) << 1) ^ static_cast<uint32_t>(n >> 31);
        length += encodeVarint(scratch + length, zigzag);
        break;
    }
    case CECRASH_FIELD_UINT32:
    case CECRASH_FIELD_ENUM:
        length += encodeVarint(scratch + length, *static_cast<const uint32_t*>(value));
        break;
    case CECRASH_FIELD_INT64:
    case CECRASH_FIELD_UINT64:
        length += encodeVarint(scratch + length, *static_cast<const uint64_t*>(value));
        break;
    case CECRASH_FIELD_SINT64: {
        const int64_t n = *static_cast<const int64_t*>(value);
        const uint64_t zigzag = (static_cast<uint64_t>(n) << 1) ^ static_cast<uint64_t>(n >> 63);
        length += encodeVarint(scratch + length, zigzag);
        break;
    }
    case CECRASH_FIELD_BOOL:
        scratch[length++] = *static_cast<const bool*>(value) ? 1 : 0;
        break;
    case CECRASH_FIELD_SFIXED64:
    case CECRASH_FIELD_FIXED64:
    case CECRASH_FIELD_DOUBLE: {
        uint64_t bits = 0;
        cecrash_async_copy_bytes(&bits, value, 8);
        length += encodeFixed(scratch + length, bits, 8);
        break;
    }
    case CECRASH_FIELD_SFIXED32:
    case CECRASH_FIELD_FIXED32:
    case CECRASH_FIELD_FLOAT: {
        uint32_t bits = 0;
        cecrash_async_copy_bytes(&bits, value, 4);
        length += encodeFixed(scratch + length, bits, 4);
        break;
    }
    case CECRASH_FIELD_STRING:
        payload = value;
        payloadLength = stringLength(static_cast<const char*>(value));
        length += encodeVarint(scratch + length, payloadLength);
        break;
    case CECRASH_FIELD_BYTES: {
        const auto* bytes = static_cast<const cecrash_writer_bytes*>(value);
        payload = bytes->data;
        payloadLength = bytes->length;
        length += encodeVarint(scratch + length, payloadLength);
        break;
    }
    case CECRASH_FIELD_MESSAGE:
        length += encodeVarint(scratch + length, *static_cast<const uint32_t*>(value));
        break;
    default:
        break;
    }
    if (file != nullptr) {
        cecrash_async_output_file_append(file, scratch, length);
        if (payloadLength > 0)
            cecrash_async_output_file_append(file, payload, payloadLength);
    }
    return length + payloadLength;
}

const char* cecrash_writer_signal_name(int32_t signo, char (&fallback)[16])
{
    for (const SignalName& entry : kSignalNames) {
        if (entry.signo == signo)
            return entry.name;
    }
    cecrash_async_format_int(fallback, sizeof(fallback), "#", signo);
    return fallback;
}

const char* cecrash_writer_signal_code_name(int32_t signo, int32_t code, char (&fallback)[16])
{
    for (const SignalCode& entry : kSignalCodes) {
        if (entry.signo == signo && entry.code == code)
            return entry.name;
    }
    cecrash_async_format_int(fallback, sizeof(fallback), "#", code);
    return fallback;
}

cecrash_error_t cecrash_log_writer_prepare(cecrash_log_writer_t* writer, const char* app_identifier,
                                           const char* app_version, const char* app_marketing_version,
                                           uint32_t symbolication_strategy, bool user_requested)
{
    memset(writer, 0, sizeof(*writer));
    writer->symbolication_strategy = symbolication_strategy;
    writer->user_requested = user_requested;
    cecrash_random_bytes(writer->report_uuid, sizeof(writer->report_uuid));
    // A version 4 (random) UUID.
    writer->report_uuid[6] = static_cast<uint8_t>((writer->report_uuid[6] & 0x0f) | 0x40);
    writer->report_uuid[8] = static_cast<uint8_t>((writer->report_uuid[8] & 0x3f) | 0x80);

    writer->app_identifier = strdup(app_identifier);
    writer->app_version = strdup(app_version);
    if (app_marketing_version != nullptr)
        writer->app_marketing_version = strdup(app_marketing_version);

    const std::shared_ptr<CECrashProcessInfo> process = CECrashProcessInfo::currentProcessInfo();
    if (!process)
        return CECRASH_EINVAL;
    writer->process_id = static_cast<uint32_t>(process->processID());
    if (process->processName())
        writer->process_name = copyString(*process->processName());
    writer->process_start_time = static_cast<uint64_t>(process->startTime().seconds);

    const std::string path = cecrash_executable_path();
    if (!path.empty()) {
        writer->process_path_length = path.size() + 1;
        writer->process_path = copyString(path);
    }

    writer->parent_process_id = static_cast<uint32_t>(process->parentProcessID());
    if (const auto parent = CECrashProcessInfo::initWithProcessID(process->parentProcessID()); parent && parent->processName())
        writer->parent_process_name = copyString(*parent->processName());

    if (const std::optional<std::string> model = cecrash_hardware_model())
        writer->model = copyString(*model);
    writer->cpu_type = CECRASH_CPU_TYPE_X86_64;
    writer->cpu_subtype = CECRASH_CPU_SUBTYPE_X86_ALL;
    writer->physical_cpu_count = cecrash_physical_processor_count();
    writer->logical_cpu_count = cecrash_logical_processor_count();
    // Every process runs natively here.
    writer->native = true;

    if (const std::optional<std::string> build = cecrash_kernel_version())
        writer->os_build = copyString(*build);

    std::string version = "0.0";
    if (const std::shared_ptr<CECrashHostInfo> host = CECrashHostInfo::currentHostInfo()) {
        const CECrashHostInfoVersion numbers = host->darwinVersion();
        version = std::to_string(numbers.major);
        version.append(".").append(std::to_string(numbers.minor));
        if (numbers.revision > 0)
            version.append(".").append(std::to_string(numbers.revision));
    }
    writer->os_version = copyString(version);

    std::atomic_thread_fence(std::memory_order_seq_cst);
    return CECRASH_ESUCCESS;
}

cecrash_error_t cecrash_log_writer_set_exception(cecrash_log_writer_t* writer, const CECrashUncaughtException& exception)
{
    CECRASH_ASSERT(writer->uncaught_exception.has_exception == false);
    auto& record = writer->uncaught_exception;
    record.name = copyString(exception.name);
    record.reason = copyString(exception.reason.value_or(""));
    const size_t count = exception.callStackReturnAddresses.size();
    if (count > 0) {
        record.callstack = static_cast<uint64_t*>(malloc(count * sizeof(uint64_t)));
        for (size_t i = 0; i < count; ++i)
            record.callstack[i] = exception.callStackReturnAddresses[i];
        record.callstack_count = count;
    }
    record.has_exception = true;
    std::atomic_thread_fence(std::memory_order_seq_cst);
    return CECRASH_ESUCCESS;
}

cecrash_error_t cecrash_log_writer_store_custom_data(cecrash_log_writer_t* writer, const std::vector<uint8_t>* data)
{
    cecrash_custom_data* block = nullptr;
    if (data != nullptr) {
        block = static_cast<cecrash_custom_data*>(malloc(sizeof(cecrash_custom_data) + data->size()));
        if (block == nullptr)
            return CECRASH_ENOMEM;
        auto* bytes = reinterpret_cast<uint8_t*>(block + 1);
        if (!data->empty())
            memcpy(bytes, data->data(), data->size());
        block->length = data->size();
        block->bytes = bytes;
    }
    cecrash_custom_data* previous = std::atomic_ref(writer->custom_data).exchange(block);
    while (std::atomic_ref(writer->custom_data_readers).load() != 0)
        sched_yield();
    free(previous);
    return CECRASH_ESUCCESS;
}

cecrash_error_t cecrash_log_writer_write_report(cecrash_log_writer_t* writer, cecrash_thread_t crashed_thread,
                                                cecrash_async_image_list* image_list, cecrash_async_output_file* file,
                                                const cecrash_log_signal_info* signal_info,
                                                const cecrash_async_thread_state* current_state)
{
    cecrash_thread_list threads;
    const cecrash_thread_t self = cecrash_async_current_thread();
    // Without a thread list (no descriptor left for it, say) the calling thread is still known;
    // a report with no thread at all could not be read back.
    if (!cecrash_async_thread_list(&threads)) {
        threads.count = 1;
        threads.threads[0] = self;
    }
    const bool suspended = cecrash_async_threads_suspend(&threads, self);

    timespec now{};
    const int64_t timestamp = clock_gettime(CLOCK_REALTIME, &now) == 0 ? now.tv_sec : 0;
    const WriteContext context{writer, image_list, current_state, self, suspended, timestamp};

    cecrash_async_output_file_append(file, CECRASH_REPORT_MAGIC, sizeof(CECRASH_REPORT_MAGIC));
    cecrash_async_output_file_append(file, &CECRASH_REPORT_VERSION, 1);

    writeMessage(file, kReportReportInfo, [&](cecrash_async_output_file* out) { return writeReportInfo(out, context); });
    writeMessage(file, kReportSystemInfo, [&](cecrash_async_output_file* out) { return writeSystemInfo(out, context); });
    writeMessage(file, kReportMachineInfo, [&](cecrash_async_output_file* out) { return writeMachineInfo(out, context); });
    writeMessage(file, kReportApplicationInfo, [&](cecrash_async_output_file* out) { return writeApplicationInfo(out, context); });
    writeMessage(file, kReportProcessInfo, [&](cecrash_async_output_file* out) { return writeProcessInfo(out, context); });

    uint32_t written = 0;
    for (uint32_t i = 0; i < threads.count; ++i) {
        const cecrash_thread_t thread = threads.threads[i];
        if (thread == self && current_state == nullptr)
            continue;
        const bool crashed = thread == crashed_thread;
        writeMessage(file, kReportThreads, [&](cecrash_async_output_file* out) {
            return writeThread(out, context, thread, written, crashed);
        });
        ++written;
    }

    if (image_list != nullptr) {
        cecrash_async_image_list_set_reading(image_list, true);
        for (cecrash_async_image* image = cecrash_async_image_list_next(image_list, nullptr); image != nullptr;
             image = cecrash_async_image_list_next(image_list, image)) {
            writeMessage(file, kReportBinaryImages, [&](cecrash_async_output_file* out) { return writeImage(out, image); });
        }
        cecrash_async_image_list_set_reading(image_list, false);
    }

    if (writer->uncaught_exception.has_exception)
        writeMessage(file, kReportException, [&](cecrash_async_output_file* out) { return writeException(out, context); });
    writeMessage(file, kReportSignal, [&](cecrash_async_output_file* out) { return writeSignal(out, signal_info); });
    std::atomic_ref(writer->custom_data_readers).fetch_add(1);
    if (const cecrash_custom_data* custom = std::atomic_ref(writer->custom_data).load()) {
        const cecrash_writer_bytes data{custom->length, custom->bytes};
        cecrash_writer_encode_field(file, kReportCustomData, CECRASH_FIELD_BYTES, &data);
    }
    std::atomic_ref(writer->custom_data_readers).fetch_sub(1);

    if (suspended)
        cecrash_async_threads_resume();
    return CECRASH_ESUCCESS;
}

cecrash_error_t cecrash_log_writer_finish(cecrash_log_writer_t*)
{
    return CECRASH_ESUCCESS;
}

void cecrash_log_writer_release(cecrash_log_writer_t* writer)
{
    free(writer->os_version);
    free(writer->os_build);
    free(writer->model);
    free(writer->app_identifier);
    free(writer->app_version);
    free(writer->app_marketing_version);
    free(writer->process_name);
    free(writer->process_path);
    free(writer->parent_process_name);
    if (writer->uncaught_exception.has_exception) {
        free(writer->uncaught_exception.name);
        free(writer->uncaught_exception.reason);
        free(writer->uncaught_exception.callstack);
    }
    free(writer->custom_data);
    memset(writer, 0, sizeof(*writer));
}
