// The /app page: the customer's phone app in a browser. It lists the operations waiting for a
// customer and posts a confirmation for one of them, as the chosen customer, to /sim/confirm.
#pragma once

#include "server/Books.h"

#include <string>
#include <vector>

class AppPage {
public:
    // `notice` is the outcome of the last confirmation (empty for none).
    static std::string Render(const std::vector<Books::PendingOperation>& pending,
                              const std::vector<Books::Customer>& customers, const std::string& notice);
    static std::string Escape(const std::string& text);
    // Percent-encodes everything but unreserved characters, for a URL query value.
    static std::string EncodeQueryValue(const std::string& text);
};
