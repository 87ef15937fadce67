#include "net/Endpoints.h"

#include "net/SharedState.h"
#include "net/UrlFormat.h"

#include <string_view>

namespace {

constexpr OperationInfo kOperations[] = {
    {Give, 1, TxGiveSent, kGiveTemplate, u"11"},
    {Pay, 2, TxPaySent, kPayTemplate, u"12"},
    {Cancel, 3, TxCancelSent, kCancelTemplate, u"13"},
};

} // namespace

const OperationInfo* FindOperation(std::int32_t op) {
    for (const auto& operation : kOperations)
        if (operation.op == op)
            return &operation;
    return nullptr;
}

const char16_t* CompletionCodeFor(std::int32_t txState) {
    for (const auto& operation : kOperations)
        if (operation.sentState == txState)
            return operation.completionCode;
    return nullptr;
}

bool IsLoginAccepted(const ReplyRecord& login) {
    return login.Field(0) == u"1" && IsHostAndPort(login.Field(5));
}

int FormatOperationUrl(const OperationInfo& operation) {
    return FormatUrl(g_requestUrl, kUrlCapacity, operation.requestTemplate,
                     {Host(g_serverHost), Query(g_deviceId), Query(g_price), Query(g_mileageRate)});
}

int FormatGetResultUrl() {
    return FormatUrl(g_requestUrl, kUrlCapacity, kGetResultTemplate, {Host(g_serverHost), Query(g_deviceId)});
}

int FormatDeleteDataUrl() {
    return FormatUrl(g_requestUrl, kUrlCapacity, kDeleteDataTemplate, {Host(g_serverHost), Query(g_deviceId)});
}

int FormatTextMessageUrl(const char16_t* phone, std::int32_t markTag) {
    return FormatUrl(g_requestUrl, kUrlCapacity, kTextMessageTemplate,
                     {Host(g_serverHost), Query(g_deviceId), Query(g_price), Query(g_mileageRate), Query(phone),
                      Number(markTag)});
}
