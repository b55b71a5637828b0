// The crash-time report writer and its protocol buffers field encoder. Preparation gathers,
// at enable time, everything about the application, process, machine and system into plain
// strings and numbers; the write, at crash time, suspends the other threads and streams the
// report through the output file, encoding each message twice (a size pass without a file,
// then the write) so that nothing is buffered whole.
//
// File layout: the 7 bytes "cecrash", the version byte 1, then one unframed CrashReport
// message (cecrash.proto).
#pragma once

#include "sdk/crash-engine/AsyncOutputFile.h"
#include "sdk/crash-engine/ImageList.h"
#include "sdk/crash-engine/ThreadState.h"
#include "sdk/crash-engine/linux/ThreadControl.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

constexpr char CECRASH_REPORT_MAGIC[7] = {'c', 'e', 'c', 'r', 'a', 's', 'h'};
constexpr uint8_t CECRASH_REPORT_VERSION = 1;
// Frames written per thread and per exception at most.
constexpr uint32_t CECRASH_MAX_FRAMES = 512;

// An uncaught exception as the engine records it: name, reason and the throw's call stack.
struct CECrashUncaughtException {
    std::string name;
    std::optional<std::string> reason;
    std::vector<uint64_t> callStackReturnAddresses;
};

// Caller data stored in every report: the bytes follow the record in one allocation.
struct cecrash_custom_data {
    size_t length;
    const uint8_t* bytes;
};

struct cecrash_log_writer_t {
    // Bit 0 symbol tables, bit 1 class metadata; 0 writes no symbols.
    uint32_t symbolication_strategy;
    bool user_requested;
    uint8_t report_uuid[16];
    char* os_version;
    char* os_build;
    // Null when the model could not be read.
    char* model;
    uint64_t cpu_type;
    uint64_t cpu_subtype;
    uint32_t physical_cpu_count;
    uint32_t logical_cpu_count;
    char* app_identifier;
    char* app_version;
    // Null when the application has none.
    char* app_marketing_version;
    char* process_name;
    uint32_t process_id;
    // The executable path with its terminating NUL; length 0 when unknown.
    char* process_path;
    size_t process_path_length;
    uint64_t process_start_time;
    char* parent_process_name;
    uint32_t parent_process_id;
    bool native;
    struct {
        bool has_exception;
        char* name;
        char* reason;
        uint64_t* callstack;
        size_t callstack_count;
    } uncaught_exception;
    // Published whole through one pointer, so a crash on any thread sees the old or the new
    // data, never a mix; see cecrash_log_writer_store_custom_data.
    cecrash_custom_data* custom_data;
    // Crash-time writes reading custom_data now; a replaced block is freed only at 0.
    uint32_t custom_data_readers;
};

// The fatal signal in report numbering.
struct cecrash_log_bsd_signal_info {
    int32_t signo;
    int32_t code;
    uint64_t address;
};

// The exception behind the signal when one was delivered that way; never on Linux.
struct cecrash_log_mach_signal_info {
    uint64_t type;
    const uint64_t* code;
    size_t code_count;
};

struct cecrash_log_signal_info {
    const cecrash_log_bsd_signal_info* bsd_info;
    const cecrash_log_mach_signal_info* mach_info;
};

// Fills the writer; 5 when the current process cannot be described. Not crash-time.
cecrash_error_t cecrash_log_writer_prepare(cecrash_log_writer_t* writer, const char* app_identifier,
                                           const char* app_version, const char* app_marketing_version,
                                           uint32_t symbolication_strategy, bool user_requested);
// Records the first uncaught exception; a second one is a programming error. Not crash-time.
cecrash_error_t cecrash_log_writer_set_exception(cecrash_log_writer_t* writer, const CECrashUncaughtException& exception);
// Replaces the caller data stored in every report; null clears it. A crash writing a report
// meanwhile reads the old data or the new one whole: the old block is freed only once no write
// reads it (a crash write ends the process, so the wait cannot outlive it). Not crash-time.
cecrash_error_t cecrash_log_writer_store_custom_data(cecrash_log_writer_t* writer, const std::vector<uint8_t>* data);
// Async-signal-safe. Writes the whole report. current_state is the calling thread's registers
// when the calling thread is to be in the report (the crashed thread of a signal), else null.
// Answers 0 whatever the file did: the caller learns of failures from flush and close.
cecrash_error_t cecrash_log_writer_write_report(cecrash_log_writer_t* writer, cecrash_thread_t crashed_thread,
                                                cecrash_async_image_list* image_list, cecrash_async_output_file* file,
                                                const cecrash_log_signal_info* signal_info,
                                                const cecrash_async_thread_state* current_state);
// Async-signal-safe. Called after every write.
cecrash_error_t cecrash_log_writer_finish(cecrash_log_writer_t* writer);
// Frees everything the writer owns. Not crash-time.
void cecrash_log_writer_release(cecrash_log_writer_t* writer);

// Field types of the encoder: the protobuf-c type codes.
enum cecrash_writer_field_type : int {
    CECRASH_FIELD_INT32 = 0,
    CECRASH_FIELD_SINT32 = 1,
    CECRASH_FIELD_SFIXED32 = 2,
    CECRASH_FIELD_INT64 = 3,
    CECRASH_FIELD_SINT64 = 4,
    CECRASH_FIELD_SFIXED64 = 5,
    CECRASH_FIELD_UINT32 = 6,
    CECRASH_FIELD_FIXED32 = 7,
    CECRASH_FIELD_UINT64 = 8,
    CECRASH_FIELD_FIXED64 = 9,
    CECRASH_FIELD_FLOAT = 10,
    CECRASH_FIELD_DOUBLE = 11,
    CECRASH_FIELD_BOOL = 12,
    CECRASH_FIELD_ENUM = 13,
    CECRASH_FIELD_STRING = 14,
    CECRASH_FIELD_BYTES = 15,
    CECRASH_FIELD_MESSAGE = 16,
};

// The value of a bytes field.
struct cecrash_writer_bytes {
    size_t length;
    const void* data;
};

// Async-signal-safe. Encodes one field and answers its size in bytes; with a file it also
// writes it. value points at the field's value: the number of its type, a bool, a
// NUL-terminated string, a cecrash_writer_bytes, or for a message the uint32_t body size (the
// caller writes the body next). A type above 16 aborts.
size_t cecrash_writer_encode_field(cecrash_async_output_file* file, uint32_t field, int type, const void* value);

// Async-signal-safe. The name of a signal (report numbering) and of its code; a miss is "#"
// and the number, written into the 16-byte fallback buffer.
const char* cecrash_writer_signal_name(int32_t signo, char (&fallback)[16]);
const char* cecrash_writer_signal_code_name(int32_t signo, int32_t code, char (&fallback)[16]);
