#include "dialogs/OperationRequest.h"

#include "dialogs/TransactionRules.h"
#include "net/Endpoints.h"
#include "net/Request.h"
#include "net/SharedState.h"

#include <string>

OperationResult SendOperation(std::int32_t operation) {
    const OperationInfo* info = FindOperation(operation);
    if (!info)
        return OperationResult::Failed;
    auto exchange = LockExchange();
    if (!FormatOperationUrl(*info))
        return OperationResult::TooLong;
    ReplyRecord reply;
    if (SendRequest(exchange, reply, Commit::Nowhere) != 1)
        return OperationResult::Failed;
    if (operation == Give)
        g_coinPoints = ParseCoinPoints(std::u16string(reply.Field(1)).c_str());
    g_txState = info->sentState;
    return OperationResult::Accepted;
}
