#include "sdk/crashes/Model/ZEExceptionModel.h"

#include <cxxabi.h>
#include <dlfcn.h>
#include <execinfo.h>

#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <typeinfo>

namespace ze {

std::string ZEDemangle(const char* mangledName)
{
    if (!mangledName) {
        return {};
    }
    int status = 0;
    char* demangled = abi::__cxa_demangle(mangledName, nullptr, nullptr, &status);
    std::string result = status == 0 && demangled ? demangled : mangledName;
    std::free(demangled);
    return result;
}

std::vector<std::string> ZEExceptionModel::currentCallStackSymbols()
{
    void* addresses[128];
    const int count = ::backtrace(addresses, 128);
    std::vector<std::string> lines;
    // Entry 0 is this function.
    for (int index = 1; index < count; ++index) {
        Dl_info info{};
        const bool found = ::dladdr(addresses[index], &info) != 0;
        std::string module = found && info.dli_fname ? info.dli_fname : "???";
        if (const auto slash = module.rfind('/'); slash != std::string::npos) {
            module = module.substr(slash + 1);
        }
        const auto address = reinterpret_cast<std::uintptr_t>(addresses[index]);
        const auto base = reinterpret_cast<std::uintptr_t>(found && info.dli_saddr ? info.dli_saddr : info.dli_fbase);
        const std::string symbol = found && info.dli_sname ? info.dli_sname : "0x" + [&] {
            char text[32];
            std::snprintf(text, sizeof text, "%" PRIxPTR, base);
            return std::string(text);
        }();
        char line[64];
        std::snprintf(line, sizeof line, "%-4d", index - 1);
        char tail[64];
        std::snprintf(tail, sizeof tail, " 0x%016" PRIxPTR " ", address);
        lines.push_back(std::string(line) + module + tail + symbol + " + " + std::to_string(address - base));
    }
    return lines;
}

ZEStackFrames ZEExceptionModel::loadStackTrace(const std::vector<std::string>& callStackSymbols)
{
    static constexpr std::string_view separators = " -[]+?.,";
    ZEStackFrames frames;
    for (const auto& line : callStackSymbols) {
        std::vector<std::string> pieces;
        std::string piece;
        for (const char c : line) {
            if (separators.find(c) != std::string_view::npos) {
                if (!piece.empty()) {
                    pieces.push_back(std::move(piece));
                }
                piece.clear();
            } else {
                piece += c;
            }
        }
        if (!piece.empty()) {
            pieces.push_back(std::move(piece));
        }
        if (pieces.size() > 5) {
            auto frame = std::make_shared<ZEStackFrame>();
            frame->fileName = pieces[1];
            frame->address = pieces[2];
            frame->className = pieces[3];
            frame->methodName = pieces[4];
            frames.push_back(std::move(frame));
        }
    }
    return frames;
}

void ZEExceptionModel::setCallStack(const std::vector<std::string>& callStackSymbols)
{
    std::string text = "(\n";
    for (std::size_t index = 0; index < callStackSymbols.size(); ++index) {
        text += "    \"" + callStackSymbols[index] + (index + 1 < callStackSymbols.size() ? "\",\n" : "\"\n");
    }
    stackTrace = text + ")";
    frames = loadStackTrace(callStackSymbols);
}

std::shared_ptr<ZEExceptionModel> ZEExceptionModel::initWithError(const ZEError& error)
{
    auto model = std::make_shared<ZEExceptionModel>();
    if (!error.domain.empty()) {
        model->type = error.domain;
    }
    if (!error.localizedDescription.empty()) {
        model->message = error.localizedDescription;
    }
    model->setCallStack(currentCallStackSymbols());
    return model;
}

std::shared_ptr<ZEExceptionModel> ZEExceptionModel::initWithException(const std::exception_ptr& exception)
{
    auto model = std::make_shared<ZEExceptionModel>();
    if (exception) {
        try {
            std::rethrow_exception(exception);
        } catch (const std::exception& caught) {
            model->type = ZEDemangle(typeid(caught).name());
            model->message = caught.what();
        } catch (...) {
            if (const auto* type = abi::__cxa_current_exception_type()) {
                model->type = ZEDemangle(type->name());
            }
        }
    }
    model->frames = loadStackTrace(currentCallStackSymbols());
    return model;
}

std::shared_ptr<ZEExceptionModel> ZEExceptionModel::initWithType(const std::optional<std::string>& type,
    const std::optional<std::string>& message, const std::optional<std::vector<std::string>>& callStackSymbols)
{
    auto model = std::make_shared<ZEExceptionModel>();
    model->type = type;
    model->message = message;
    model->setCallStack(callStackSymbols ? *callStackSymbols : currentCallStackSymbols());
    return model;
}

ZEJson ZEExceptionModel::serializeToDictionary() const
{
    ZEJson json = ZEJson::object();
    ZESetIfPresent(json, "type", type);
    ZESetIfPresent(json, "message", message);
    ZESetIfPresent(json, "stackTrace", stackTrace);
    if (frames) {
        json["frames"] = ZESerializeArray(*frames);
    }
    return json;
}

bool ZEExceptionModel::isValid() const
{
    if (!type) {
        ZELogInvalidField(kClassName, "type");
        return false;
    }
    if (!frames || frames->empty()) {
        ZELogInvalidField(kClassName, "frames");
        return false;
    }
    return true;
}

bool ZEExceptionModel::isEqual(const ZESerializableObject& other) const
{
    const auto* model = dynamic_cast<const ZEExceptionModel*>(&other);
    return model && type == model->type && message == model->message && ZEEqualArrays(frames, model->frames)
        && stackTrace == model->stackTrace;
}

void ZEExceptionModel::encodeWithCoder(ZEKeyedArchiver& coder) const
{
    coder.encodeString("type", type);
    coder.encodeString("message", message);
    coder.encodeString("stackTrace", stackTrace);
    if (frames) {
        coder.encodeObjectArray("frames", *frames);
    }
}

void ZEExceptionModel::initWithCoder(ZEKeyedUnarchiver& coder)
{
    type = coder.decodeString("type");
    message = coder.decodeString("message");
    stackTrace = coder.decodeString("stackTrace");
    frames = coder.decodeObjectArray<ZEStackFrame>("frames");
}

} // namespace ze
