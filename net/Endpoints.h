// The operator server's endpoints: URL templates, operation codes and completion codes, and the
// formatting of each request from the shared state. Keys are spelled as the server expects them,
// "milege" included.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "net/ReplyRecord.h"

// The scheme and host of the operator's web server ("http://host[:port]", no trailing "/").
// A build setting: each executable compiles its own value (net/BuildSettings.cpp).
extern const char16_t kDefaultSiteUrl[];
// The client version this build is; any other version announced at login offers the upgrade. A
// build setting too.
extern const char16_t kClientVersion[];

inline constexpr char16_t kLoginTemplate[] = u"/android/poslogin.php?id=%s&password=%s";
inline constexpr char16_t kGiveTemplate[] =
    u"http://%s/android/pcposmilege.php?deviceid=%s&process=1&price=%s&milege=%s";
inline constexpr char16_t kPayTemplate[] =
    u"http://%s/android/pcposmilege.php?deviceid=%s&process=2&price=%s&milege=%s";
inline constexpr char16_t kCancelTemplate[] =
    u"http://%s/android/pcposmilege.php?deviceid=%s&process=3&price=%s&milege=%s";
inline constexpr char16_t kGetResultTemplate[] = u"http://%s/android/pcposgetmilegeret.php?deviceid=%s";
inline constexpr char16_t kDeleteDataTemplate[] = u"http://%s/android/deleteposdata.php?deviceid=%s";
inline constexpr char16_t kTextMessageTemplate[] =
    u"http://%s/sms_client_v10/pctelmilege.php?deviceid=%s&price=%s&milege=%s&tel=%s&marktag=%d";

enum MileageOp : std::int32_t { Give = 1, Pay = 5, Cancel = 9 };
enum TxState : std::int32_t { TxNone = 0, TxGiveSent = 3, TxPaySent = 7, TxCancelSent = 9 };

struct OperationInfo {
    MileageOp op;
    int process;                  // the "process" value on the wire
    TxState sentState;            // g_txState once the request has been accepted
    const char16_t* requestTemplate;
    const char16_t* completionCode; // reply field 1 of get-result once the customer confirmed
};

// The operation of a MileageOp, or nullptr for any other value.
const OperationInfo* FindOperation(std::int32_t op);

// The completion code that ends the wait in transaction state `txState`; nullptr when none does.
const char16_t* CompletionCodeFor(std::int32_t txState);

// Whether the login's own reply logs the till in: field 0 is "1" and field 5 names a host that
// every later URL can take (IsHostAndPort). Anything else refuses the login.
bool IsLoginAccepted(const ReplyRecord& login);

// The login URL, into a buffer of the login's own: the default site URL followed by the login
// template, id and password encoded. 1 when it fits, 0 when it does not (`dest` is then unchanged).
inline constexpr std::size_t kLoginUrlCapacity = 200;
int FormatLoginUrl(char16_t (&dest)[kLoginUrlCapacity], const char16_t* id, const char16_t* password);

// Each formats its endpoint into g_requestUrl from the shared state; the caller holds the
// exchange lock. 1 when the URL fits, 0 when it does not (g_requestUrl is then unchanged).
int FormatOperationUrl(const OperationInfo& operation);
int FormatGetResultUrl();
int FormatDeleteDataUrl();
int FormatTextMessageUrl(const char16_t* phone, std::int32_t markTag);
