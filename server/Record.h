// A reply record as the till reads it: UTF-8 fields joined by "</>", field 0 "1" (accepted) or
// "0" (refused, the reason in field 1). There is no escaping on the wire, so a field text that
// itself holds the separator has it broken up here: a record never gains fields by accident.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

class Record {
public:
    static constexpr std::string_view kSeparator = "</>";

    // A record whose field 0 is "1".
    static Record Accepted();
    // "0</>reason".
    static std::string Refused(std::string_view reason);

    Record& Add(std::string_view field);
    Record& Add(std::int64_t number);

    const std::string& Text() const { return m_text; }

private:
    explicit Record(std::string first) : m_text(std::move(first)) {}
    static std::string Clean(std::string_view field);

    std::string m_text;
};
