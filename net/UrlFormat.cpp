#include "net/UrlFormat.h"

#include "net/Endpoints.h"
#include "net/Text.h"

#include <algorithm>
#include <type_traits>

namespace {

bool IsUnreserved(unsigned char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '.' ||
           c == '_' || c == '~';
}

template <typename CharT> void AppendEncoded(std::basic_string<CharT>& out, std::string_view utf8) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    for (const char ch : utf8) {
        const auto c = static_cast<unsigned char>(ch);
        if (IsUnreserved(c)) {
            out.push_back(static_cast<CharT>(c));
        } else {
            out.push_back(static_cast<CharT>('%'));
            out.push_back(static_cast<CharT>(kHex[c >> 4]));
            out.push_back(static_cast<CharT>(kHex[c & 0x0F]));
        }
    }
}

template <typename CharT> void AppendNumber(std::basic_string<CharT>& out, std::int32_t value) {
    const std::string digits = std::to_string(value);
    out.append(digits.begin(), digits.end());
}

std::string_view AsUtf8(const std::string& converted) { return converted; }

template <typename CharT>
int Format(CharT* dest, std::size_t capacity, std::basic_string_view<CharT> tmpl,
           std::initializer_list<BasicUrlArg<CharT>> args) {
    using Arg = BasicUrlArg<CharT>;
    std::basic_string<CharT> out;
    auto next = args.begin();
    for (std::size_t i = 0; i < tmpl.size(); ++i) {
        const CharT c = tmpl[i];
        if (c != '%' || i + 1 >= tmpl.size()) {
            out.push_back(c);
            continue;
        }
        const CharT conversion = tmpl[++i];
        if (conversion == '%') {
            out.push_back(c);
            continue;
        }
        if (next == args.end())
            return 0; // more conversions than arguments: a programming error, refused
        const Arg& arg = *next++;
        if (conversion == 's' && arg.kind == Arg::Kind::Verbatim) {
            out.append(arg.text);
        } else if (conversion == 's' && arg.kind == Arg::Kind::Query) {
            if constexpr (std::is_same_v<CharT, char16_t>)
                AppendEncoded(out, AsUtf8(quillon::Utf16ToUtf8(arg.text)));
            else
                AppendEncoded(out, arg.text);
        } else if (conversion == 'd' && arg.kind == Arg::Kind::Number) {
            AppendNumber(out, arg.number);
        } else {
            return 0;
        }
    }
    if (next != args.end() || capacity == 0 || out.size() > capacity - 1)
        return 0;
    std::copy(out.begin(), out.end(), dest);
    dest[out.size()] = 0;
    return 1;
}

} // namespace

int FormatUrl(char16_t* dest, std::size_t capacity, std::u16string_view tmpl, std::initializer_list<UrlArg> args) {
    return Format<char16_t>(dest, capacity, tmpl, args);
}

int FormatUrlA(char* dest, std::size_t capacity, std::string_view tmpl, std::initializer_list<UrlArgA> args) {
    return Format<char>(dest, capacity, tmpl, args);
}

int FormatLoginUrl(char16_t (&dest)[kLoginUrlCapacity], const char16_t* id, const char16_t* password) {
    std::u16string tmpl(kDefaultSiteUrl);
    tmpl += kLoginTemplate;
    return FormatUrl(dest, kLoginUrlCapacity, tmpl, {Query(id), Query(password)});
}

std::u16string PercentEncode(std::u16string_view text) {
    std::u16string out;
    AppendEncoded(out, quillon::Utf16ToUtf8(text));
    return out;
}

std::string PercentEncodeA(std::string_view utf8) {
    std::string out;
    AppendEncoded(out, utf8);
    return out;
}
