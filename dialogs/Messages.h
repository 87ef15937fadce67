// The texts of the program's message boxes and notices, in one place for the dialogs that show
// them. (The tests write them down on their own, so that a wrong word here fails them.)
#pragma once

inline constexpr wchar_t kLoginRejected[] = L"not correct id and password";
inline constexpr wchar_t kLoginTooLong[] = L"아이디 또는 비밀번호가 너무 깁니다.";
inline constexpr wchar_t kUpgradeNotice[] = L"별바다 포스가 업그레이드 되었습니다. 업그레이드 하시겠습니까?";
inline constexpr wchar_t kNoAmount[] = L"금액을 입력하지 않았습니다.";
inline constexpr wchar_t kNetworkFailed[] = L"네트워크 연결이 되지 않았습니다.";
inline constexpr wchar_t kInputTooLong[] = L"입력한 값이 너무 깁니다.";
inline constexpr wchar_t kNoCoins[] = L"누리 코인이 없습니다. 별바다 앱을 이용해서 충전하세요.";
inline constexpr wchar_t kNoPhone[] = L"전화번호가 입력되지 않았습니다.";
inline constexpr wchar_t kPhoneTooLong[] = L"전화번호가 너무 깁니다.";
inline constexpr wchar_t kTextMessageSent[] = L"문자를 전송했습니다.";
// The coin line of a give's waiting screen; %d is the balance the give reply carried.
inline constexpr wchar_t kCoinLineFormat[] = L"누리 코인: %d POINT";
