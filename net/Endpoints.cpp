#include "net/Endpoints.h"

#include "net/SharedState.h"
#include "net/UrlFormat.h"

#include <string>
#include <string_view>

namespace {

constexpr OperationInfo kOperations[] = {
    {Give, 1, TxGiveSent, kGiveTemplate, u"11"},
    {Pay, 2, TxPaySent, kPayTemplate, u"12"},
    {Cancel, 3, TxCancelSent, kCancelTemplate, u"13"},
};

// The requests after the login go to the host its reply names, over the site's own scheme: a site
// on https keeps every exchange on TLS. The templates are written for http.
std::u16string OnSiteScheme(std::u16string_view tmpl) {
    constexpr std::u16string_view kHttp = u"http://", kHttps = u"https://";
    if (!std::u16string_view(kDefaultSiteUrl).starts_with(kHttps) || !tmpl.starts_with(kHttp))
        return std::u16string(tmpl);
    return std::u16string(kHttps) + std::u16string(tmpl.substr(kHttp.size()));
}

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
    return FormatUrl(g_requestUrl, kUrlCapacity, OnSiteScheme(operation.requestTemplate),
                     {Host(g_serverHost), Query(g_deviceId), Query(g_price), Query(g_mileageRate)});
}

int FormatLoginUrl(char16_t (&dest)[kLoginUrlCapacity], const char16_t* id, const char16_t* password) {
    std::u16string tmpl(kDefaultSiteUrl);
    tmpl += kLoginTemplate;
    return FormatUrl(dest, kLoginUrlCapacity, tmpl, {Query(id), Query(password)});
}

int FormatGetResultUrl() {
    return FormatUrl(g_requestUrl, kUrlCapacity, OnSiteScheme(kGetResultTemplate),
                     {Host(g_serverHost), Query(g_deviceId)});
}

int FormatDeleteDataUrl() {
    return FormatUrl(g_requestUrl, kUrlCapacity, OnSiteScheme(kDeleteDataTemplate),
                     {Host(g_serverHost), Query(g_deviceId)});
}

int FormatTextMessageUrl(const char16_t* phone, std::int32_t markTag) {
    return FormatUrl(g_requestUrl, kUrlCapacity, OnSiteScheme(kTextMessageTemplate),
                     {Host(g_serverHost), Query(g_deviceId), Query(g_price), Query(g_mileageRate), Query(phone),
                      Number(markTag)});
}
