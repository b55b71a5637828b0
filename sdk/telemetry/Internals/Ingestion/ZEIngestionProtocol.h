// What a channel unit needs of an ingestion: whether it may send, and sending one batch.
#pragma once

#include "sdk/telemetry/Internals/Model/ZELogContainer.h"
#include "sdk/telemetry/Internals/Util/ZEError.h"
#include "sdk/telemetry/Internals/Util/Platform/ZEHttpTransport.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace ze {

// Something that can be switched off, optionally deleting what it holds.
class ZEEnable {
public:
    virtual ~ZEEnable() = default;
    virtual void setEnabled(bool enabled, bool deleteDataOnDisabled) = 0;
};

// Call id (the batch id for log containers), response, body and error of one send.
using ZESendAsyncCompletionHandler = std::function<void(const std::string& callId,
    const std::optional<ZEHttpResponse>& response, const std::optional<ZEData>& data, const std::optional<ZEError>& error)>;

class ZEIngestionProtocol : public ZEEnable {
public:
    virtual bool isEnabled() const = 0;
    virtual bool isReadyToSend() const = 0;
    virtual void sendAsync(const std::shared_ptr<ZELogContainer>& container, ZESendAsyncCompletionHandler completion) = 0;
};

} // namespace ze
