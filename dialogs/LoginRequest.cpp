#include "dialogs/LoginRequest.h"

#include "net/Endpoints.h"
#include "net/Request.h"
#include "net/SharedState.h"

LoginResult SendLogin(const char16_t* id, const char16_t* password) {
    char16_t url[kLoginUrlCapacity] = {};
    if (!FormatLoginUrl(url, id, password))
        return LoginResult::TooLong;
    ReplyRecord reply;
    SendUrl(url, reply, Commit::Nowhere); // the decision rests on the reply's fields alone
    if (!IsLoginAccepted(reply))
        return LoginResult::Rejected;
    StoreLoginFields(reply);
    return reply.Field(7) == kClientVersion ? LoginResult::Accepted : LoginResult::UpgradeOffered;
}
