#include "server/Record.h"

Record Record::Accepted() {
    return Record("1");
}

std::string Record::Refused(std::string_view reason) {
    return "0" + std::string(kSeparator) + Clean(reason);
}

Record& Record::Add(std::string_view field) {
    m_text += kSeparator;
    m_text += Clean(field);
    return *this;
}

Record& Record::Add(std::int64_t number) {
    return Add(std::to_string(number));
}

std::string Record::Clean(std::string_view field) {
    std::string out(field);
    for (auto at = out.find(kSeparator); at != std::string::npos; at = out.find(kSeparator, at)) {
        out[at + 1] = ' '; // "</>" becomes "< >"
    }
    return out;
}
