#include "sdk/crashes/WrapperException/ZEWrapperExceptionModel.h"

#include "sdk/telemetry/Internals/Util/Platform/ZECrypto.h"

namespace ze {

ZEJson ZEWrapperExceptionModel::serializeToDictionary() const
{
    ZEJson json = ZEExceptionModel::serializeToDictionary();
    ZESetIfPresent(json, "wrapperSdkName", wrapperSdkName);
    if (innerExceptions) {
        json["innerExceptions"] = ZESerializeArray(*innerExceptions);
    }
    return json;
}

bool ZEWrapperExceptionModel::isEqual(const ZESerializableObject& other) const
{
    const auto* model = dynamic_cast<const ZEWrapperExceptionModel*>(&other);
    return model && ZEExceptionModel::isEqual(other) && wrapperSdkName == model->wrapperSdkName
        && ZEEqualArrays(innerExceptions, model->innerExceptions);
}

void ZEWrapperExceptionModel::encodeWithCoder(ZEKeyedArchiver& coder) const
{
    ZEExceptionModel::encodeWithCoder(coder);
    coder.encodeString("wrapperSdkName", wrapperSdkName);
    if (innerExceptions) {
        coder.encodeObjectArray("innerExceptions", *innerExceptions);
    }
}

void ZEWrapperExceptionModel::initWithCoder(ZEKeyedUnarchiver& coder)
{
    ZEExceptionModel::initWithCoder(coder);
    wrapperSdkName = coder.decodeString("wrapperSdkName");
    innerExceptions = coder.decodeObjectArray<ZEExceptionModel>("innerExceptions");
}

ZEJson ZEWrapperException::serializeToDictionary() const
{
    ZEJson json = ZEJson::object();
    if (modelException) {
        json["modelException"] = modelException->serializeToDictionary();
    }
    if (exceptionData) {
        json["exceptionData"] = crypto::base64Encode(*exceptionData);
    }
    ZESetIfPresent(json, "processId", processId);
    return json;
}

void ZEWrapperException::encodeWithCoder(ZEKeyedArchiver& coder) const
{
    coder.encodeObject("modelException", modelException);
    coder.encodeString("exceptionData", exceptionData ? std::optional(crypto::base64Encode(*exceptionData)) : std::nullopt);
    coder.encodeNumber("processId", processId);
}

void ZEWrapperException::initWithCoder(ZEKeyedUnarchiver& coder)
{
    modelException = coder.decodeObject<ZEExceptionModel>("modelException");
    const auto data = coder.decodeString("exceptionData");
    exceptionData = data ? crypto::base64Decode(*data) : std::nullopt;
    processId = coder.decodeNumber("processId");
}

} // namespace ze
