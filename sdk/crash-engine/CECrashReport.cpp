#include "sdk/crash-engine/CECrashReport.h"

#include "cecrash.pb-c.h"

#include <cstring>
#include <iterator>

namespace {

constexpr char kMagic[7] = {'c', 'e', 'c', 'r', 'a', 's', 'h'};
constexpr size_t kHeaderSize = 8;
constexpr uint8_t kVersion = 1;
// A Mach exception carries fewer codes than this.
constexpr size_t kMaxMachCodes = 256;
// 64-bit ARM with pointer authentication keeps the address in the low 36 bits.
constexpr uint64_t kArm64CpuType = 0x100000c;
constexpr uint64_t kArm64eSubtype = 2;
constexpr uint64_t kArm64AddressMask = 0xfffffffffULL;

// Messages are shown as they stand: the application has no translations for the engine.
std::string localized(const std::string& text)
{
    return text;
}

struct Unpacked {
    Cecrash__CrashReport* message = nullptr;
    ~Unpacked()
    {
        if (message != nullptr)
            cecrash__crash_report__free_unpacked(message, nullptr);
    }
};

}  // namespace

// The section steps; each answers false with *error set on the first problem.
class CECrashReportDecoder {
public:
    CECrashReportDecoder(CECrashError* error) : error_(error) {}

    bool fail(const std::string& message, bool localize = true)
    {
        cecrash_make_error(error_, CECrashReporterErrorCrashReportInvalid, localize ? localized(message) : message);
        return false;
    }

    bool decodeCrashData(std::span<const uint8_t> data, Unpacked& out)
    {
        if (data.size() <= kHeaderSize)
            return fail("Could not decode truncated crash log");
        if (std::memcmp(data.data(), kMagic, sizeof(kMagic)) != 0)
            return fail("Could not decode invalid crash log header");
        if (data[7] != kVersion) {
            std::string message = localized("Could not decode unsupported crash report version: %d");
            message.replace(message.find("%d"), 2, std::to_string(data[7]));
            return fail(message, false);
        }
        out.message = cecrash__crash_report__unpack(nullptr, data.size() - kHeaderSize, data.data() + kHeaderSize);
        if (out.message == nullptr)
            return fail("An unknown error occured decoding the crash report");
        return true;
    }

    bool extractProcessorInfo(const Cecrash__CrashReport__Processor* processor, CECrashReportProcessorInfo& out)
    {
        if (processor == nullptr)
            return fail("Crash report is missing processor info section");
        out.typeEncoding = processor->has_encoding ? processor->encoding : 0;
        out.type = processor->type;
        out.subtype = processor->subtype;
        return true;
    }

    bool synthesizeProcessorInfoFromArchitecture(int architecture, CECrashReportProcessorInfo& out)
    {
        struct Row {
            uint64_t type;
            uint64_t subtype;
        };
        static const Row kRows[] = {{7, 3}, {0x1000007, 3}, {12, 6}, {18, 0}, {0x1000012, 0}, {12, 9}};
        if (architecture < 0 || architecture >= static_cast<int>(std::size(kRows)))
            return fail("Crash report has an unknown architecture");
        out = {1, kRows[architecture].type, kRows[architecture].subtype};
        return true;
    }

    bool extractSystemInfo(const Cecrash__CrashReport__SystemInfo* system,
                           const std::optional<CECrashReportProcessorInfo>& processor, CECrashReportSystemInfo& out)
    {
        if (system == nullptr)
            return fail("Crash report is missing System Information section");
        if (system->os_version == nullptr)
            return fail("Crash report is missing System Information OS version field");
        out.operatingSystem = system->has_operating_system ? system->operating_system : 3;
        out.operatingSystemVersion = system->os_version;
        if (system->os_build != nullptr)
            out.operatingSystemBuild = system->os_build;
        out.architecture = system->architecture;
        if (system->timestamp != 0)
            out.timestamp = system->timestamp;
        if (processor) {
            out.processorInfo = processor;
        } else {
            CECrashReportProcessorInfo synthesized;
            if (!synthesizeProcessorInfoFromArchitecture(system->architecture, synthesized))
                return false;
            out.processorInfo = synthesized;
        }
        return true;
    }

    bool extractMachineInfo(const Cecrash__CrashReport__MachineInfo* machine, CECrashReportMachineInfo& out)
    {
        if (machine == nullptr)
            return fail("Crash report is missing Machine Information section");
        if (machine->model != nullptr)
            out.modelName = machine->model;
        if (machine->processor != nullptr) {
            CECrashReportProcessorInfo processor;
            if (!extractProcessorInfo(machine->processor, processor))
                return false;
            out.processorInfo = processor;
        }
        out.processorCount = machine->processor_count;
        out.logicalProcessorCount = machine->logical_processor_count;
        return true;
    }

    bool extractApplicationInfo(const Cecrash__CrashReport__ApplicationInfo* application, CECrashReportApplicationInfo& out)
    {
        if (application == nullptr)
            return fail("Crash report is missing Application Information section");
        if (application->identifier == nullptr)
            return fail("Crash report is missing Application Information app identifier field");
        if (application->version == nullptr)
            return fail("Crash report is missing Application Information app version field");
        out.applicationIdentifier = application->identifier;
        out.applicationVersion = application->version;
        if (application->marketing_version != nullptr)
            out.applicationMarketingVersion = application->marketing_version;
        return true;
    }

    bool extractProcessInfo(const Cecrash__CrashReport__ProcessInfo* process, CECrashReportProcessInfo& out)
    {
        if (process == nullptr)
            return fail("Crash report is missing Process Information section");
        if (process->process_name != nullptr)
            out.processName = process->process_name;
        out.processID = process->process_id;
        if (process->process_path != nullptr)
            out.processPath = process->process_path;
        if (process->has_start_time)
            out.processStartTime = static_cast<int64_t>(process->start_time);
        if (process->parent_process_name != nullptr)
            out.parentProcessName = process->parent_process_name;
        out.parentProcessID = process->parent_process_id;
        out.native = process->native;
        return true;
    }

    bool extractSymbolInfo(const Cecrash__CrashReport__Symbol* symbol, CECrashReportSymbolInfo& out)
    {
        if (symbol == nullptr)
            return fail("Crash report is missing symbol information");
        out.symbolName = symbol->name != nullptr ? symbol->name : "";
        out.startAddress = symbol->start_address;
        out.endAddress = symbol->has_end_address ? symbol->end_address : 0;
        return true;
    }

    bool extractStackFrameInfo(const Cecrash__CrashReport__Thread__StackFrame* frame, CECrashReportStackFrameInfo& out)
    {
        if (frame == nullptr)
            return fail("Crash report is missing stack frame information");
        if (frame->symbol != nullptr) {
            CECrashReportSymbolInfo symbol;
            if (!extractSymbolInfo(frame->symbol, symbol))
                return false;
            out.symbolInfo = symbol;
        }
        out.instructionPointer = frame->pc;
        if (maskArm64Pointers_)
            out.instructionPointer &= kArm64AddressMask;
        return true;
    }

    bool extractFrames(size_t count, Cecrash__CrashReport__Thread__StackFrame** frames,
                       std::vector<CECrashReportStackFrameInfo>& out)
    {
        for (size_t i = 0; i < count; ++i) {
            CECrashReportStackFrameInfo frame;
            if (!extractStackFrameInfo(frames[i], frame))
                return false;
            out.push_back(std::move(frame));
        }
        return true;
    }

    bool extractThreadInfo(const Cecrash__CrashReport__Thread* thread, CECrashReportThreadInfo& out)
    {
        if (!extractFrames(thread->n_frames, thread->frames, out.stackFrames))
            return false;
        for (size_t i = 0; i < thread->n_registers; ++i) {
            const Cecrash__CrashReport__Thread__RegisterValue* reg = thread->registers[i];
            if (reg->name == nullptr)
                return fail("Missing register name in register value", false);
            out.registers.push_back({reg->name, reg->value});
        }
        out.threadNumber = thread->thread_number;
        out.crashed = thread->crashed;
        return true;
    }

    bool extractImageInfo(const Cecrash__CrashReport__BinaryImage* image, CECrashReportBinaryImageInfo& out)
    {
        if (image->name == nullptr)
            return fail("Missing image name in image record", false);
        out.imageBaseAddress = image->base_address;
        out.imageSize = image->size;
        out.imageName = image->name;
        if (image->has_uuid && image->uuid.len != 0) {
            static const char kDigits[] = "0123456789abcdef";
            std::string text;
            for (size_t i = 0; i < image->uuid.len; ++i) {
                text += kDigits[image->uuid.data[i] >> 4];
                text += kDigits[image->uuid.data[i] & 0x0f];
            }
            out.hasImageUUID = true;
            out.imageUUID = text;
        }
        if (image->code_type != nullptr) {
            CECrashReportProcessorInfo processor;
            if (!extractProcessorInfo(image->code_type, processor))
                return false;
            out.codeType = processor;
        }
        return true;
    }

    bool extractExceptionInfo(const Cecrash__CrashReport__Exception* exception, CECrashReportExceptionInfo& out)
    {
        if (exception == nullptr)
            return fail("Crash report is missing Exception Information section");
        if (exception->name == nullptr)
            return fail("Crash report is missing exception name field");
        if (exception->reason == nullptr)
            return fail("Crash report is missing exception reason field");
        out.exceptionName = exception->name;
        out.exceptionReason = exception->reason;
        if (exception->n_frames > 0) {
            std::vector<CECrashReportStackFrameInfo> frames;
            if (!extractFrames(exception->n_frames, exception->frames, frames))
                return false;
            out.stackFrames = std::move(frames);
        }
        return true;
    }

    bool extractSignalInfo(const Cecrash__CrashReport__Signal* signal, CECrashReportSignalInfo& out)
    {
        if (signal == nullptr)
            return fail("Crash report is missing Signal Information section");
        if (signal->name == nullptr)
            return fail("Crash report is missing signal name field");
        if (signal->code == nullptr)
            return fail("Crash report is missing signal code field");
        out = {signal->name, signal->code, signal->address};
        return true;
    }

    bool extractMachExceptionInfo(const Cecrash__CrashReport__Signal__MachException* mach,
                                  CECrashReportMachExceptionInfo& out)
    {
        if (mach == nullptr)
            return fail("Crash report is missing Mach Exception Information section");
        if (mach->n_codes >= kMaxMachCodes)
            return fail("Crash report includes too many Mach Exception codes");
        out.type = mach->type;
        out.codes.assign(mach->codes, mach->codes + mach->n_codes);
        return true;
    }

    bool build(std::span<const uint8_t> data, CECrashReport& report)
    {
        Unpacked unpacked;
        if (!decodeCrashData(data, unpacked))
            return false;
        const Cecrash__CrashReport* message = unpacked.message;

        if (message->report_info != nullptr && message->report_info->has_uuid) {
            if (message->report_info->uuid.len != 16)
                return fail("Report UUID value is not a standard 16 bytes");
            std::array<uint8_t, 16> uuid{};
            std::memcpy(uuid.data(), message->report_info->uuid.data, 16);
            report._uuid = uuid;
        }
        if (message->machine_info != nullptr) {
            CECrashReportMachineInfo machine;
            if (!extractMachineInfo(message->machine_info, machine))
                return false;
            report._machineInfo = machine;
            maskArm64Pointers_ = machine.processorInfo && machine.processorInfo->type == kArm64CpuType
                && machine.processorInfo->subtype == kArm64eSubtype;
        }
        if (!extractSystemInfo(message->system_info,
                               report._machineInfo ? report._machineInfo->processorInfo : std::nullopt, report._systemInfo))
            return false;
        if (!extractApplicationInfo(message->application_info, report._applicationInfo))
            return false;
        if (message->process_info != nullptr) {
            CECrashReportProcessInfo process;
            if (!extractProcessInfo(message->process_info, process))
                return false;
            report._processInfo = process;
        }
        if (!extractSignalInfo(message->signal, report._signalInfo))
            return false;
        if (message->signal->mach_exception != nullptr) {
            CECrashReportMachExceptionInfo mach;
            if (!extractMachExceptionInfo(message->signal->mach_exception, mach))
                return false;
            report._machExceptionInfo = mach;
        }
        if (message->n_threads == 0)
            return fail("Crash report is missing thread state information");
        for (size_t i = 0; i < message->n_threads; ++i) {
            CECrashReportThreadInfo thread;
            if (!extractThreadInfo(message->threads[i], thread))
                return false;
            report._threads.push_back(std::move(thread));
        }
        if (message->n_binary_images == 0)
            return fail("Crash report is missing binary image information");
        for (size_t i = 0; i < message->n_binary_images; ++i) {
            CECrashReportBinaryImageInfo image;
            if (!extractImageInfo(message->binary_images[i], image))
                return false;
            report._images.push_back(std::move(image));
        }
        if (message->exception != nullptr) {
            CECrashReportExceptionInfo exception;
            if (!extractExceptionInfo(message->exception, exception))
                return false;
            report._exceptionInfo = std::move(exception);
        }
        if (message->has_custom_data)
            report._customData = std::vector<uint8_t>(message->custom_data.data, message->custom_data.data + message->custom_data.len);
        return true;
    }

private:
    CECrashError* error_;
    bool maskArm64Pointers_ = false;
};

std::unique_ptr<CECrashReport> CECrashReport::initWithData(std::span<const uint8_t> data, CECrashError* error)
{
    std::unique_ptr<CECrashReport> report(new CECrashReport);
    CECrashReportDecoder decoder(error);
    if (!decoder.build(data, *report))
        return nullptr;
    return report;
}

const CECrashReportBinaryImageInfo* CECrashReport::imageForAddress(uint64_t address) const
{
    for (const CECrashReportBinaryImageInfo& image : _images) {
        if (image.imageBaseAddress <= address && address - image.imageBaseAddress < image.imageSize)
            return &image;
    }
    return nullptr;
}
