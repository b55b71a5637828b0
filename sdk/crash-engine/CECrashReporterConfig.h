// The crash reporter's configuration: how crashes are caught, whether symbols are looked up,
// whether the uncaught-exception handler is installed, and where reports are kept.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

enum CECrashReporterSignalHandlerType : uint64_t {
    // POSIX signal handlers only.
    CECrashReporterSignalHandlerTypeBSD = 0,
    // The exception server of the original platform; here it arms the crash signals as BSD does.
    CECrashReporterSignalHandlerTypeMach = 1,
};

enum CECrashReporterSymbolicationStrategy : uint64_t {
    CECrashReporterSymbolicationStrategyNone = 0,
    CECrashReporterSymbolicationStrategySymbolTable = 1 << 0,
    CECrashReporterSymbolicationStrategyObjC = 1 << 1,
    CECrashReporterSymbolicationStrategyAll = 3,
};

class CECrashReporterConfig {
public:
    // BSD signals, no symbols, the uncaught-exception handler, reports under the cache folder.
    static CECrashReporterConfig defaultConfiguration() { return CECrashReporterConfig(0, 0); }
    static CECrashReporterConfig initWithBasePath(std::string basePath) { return CECrashReporterConfig(0, 0, true, std::move(basePath)); }

    // basePath: parent of the report directory; absent = the user's cache folder.
    CECrashReporterConfig(uint64_t signalHandlerType, uint64_t symbolicationStrategy,
                          bool shouldRegisterUncaughtExceptionHandler = true,
                          std::optional<std::string> basePath = std::nullopt)
        : _signalHandlerType(signalHandlerType),
          _symbolicationStrategy(symbolicationStrategy),
          _shouldRegisterUncaughtExceptionHandler(shouldRegisterUncaughtExceptionHandler),
          _basePath(std::move(basePath))
    {
    }

    uint64_t signalHandlerType() const { return _signalHandlerType; }
    uint64_t symbolicationStrategy() const { return _symbolicationStrategy; }
    bool shouldRegisterUncaughtExceptionHandler() const { return _shouldRegisterUncaughtExceptionHandler; }
    const std::optional<std::string>& basePath() const { return _basePath; }

private:
    uint64_t _signalHandlerType;
    uint64_t _symbolicationStrategy;
    bool _shouldRegisterUncaughtExceptionHandler;
    std::optional<std::string> _basePath;
};
