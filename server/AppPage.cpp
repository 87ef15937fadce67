#include "server/AppPage.h"

#include <ctime>

namespace {

const char* KindName(int process) {
    switch (process) {
    case 1:
        return "마일리지 적립";
    case 2:
        return "마일리지 결제";
    case 3:
        return "결제 취소";
    default:
        return "?";
    }
}

std::string ClockTime(std::int64_t unixMs) {
    const std::time_t seconds = static_cast<std::time_t>(unixMs / 1000);
    std::tm local{};
    localtime_r(&seconds, &local);
    char text[16];
    std::strftime(text, sizeof text, "%H:%M:%S", &local);
    return text;
}

} // namespace

void TillActivity::Polled(const std::string& deviceId, std::int64_t nowMs) {
    std::lock_guard lock(m_lock);
    m_lastPollMs[deviceId] = nowMs;
    if (nowMs - m_lastSweepMs < kWaitingMs)
        return;
    m_lastSweepMs = nowMs;
    std::erase_if(m_lastPollMs, [nowMs](const auto& till) { return nowMs - till.second > kWaitingMs; });
}

bool TillActivity::Waiting(const Ledger::PendingOperation& op, std::int64_t nowMs) const {
    if (nowMs - op.openedAtMs <= kWaitingMs)
        return true;
    std::lock_guard lock(m_lock);
    const auto last = m_lastPollMs.find(op.deviceId);
    return last != m_lastPollMs.end() && nowMs - last->second <= kWaitingMs;
}

std::string AppPage::Escape(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        case '\'':
            out += "&#39;";
            break;
        default:
            out.push_back(c);
        }
    }
    return out;
}

std::string AppPage::EncodeQueryValue(const std::string& text) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : text) {
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
            c == '.' || c == '_' || c == '~') {
            out.push_back(static_cast<char>(c));
        } else {
            out.push_back('%');
            out.push_back(kDigits[c >> 4]);
            out.push_back(kDigits[c & 15]);
        }
    }
    return out;
}

std::string AppPage::Render(const std::vector<Ledger::PendingOperation>& pending,
                            const std::vector<Ledger::Customer>& customers, const std::string& notice,
                            const TillActivity& tills, std::int64_t nowMs) {
    std::string customerOptions;
    for (const auto& c : customers) {
        customerOptions += "<option value=\"" + Escape(c.phone) + "\">" + Escape(c.name) + " (" +
                           Escape(c.phone) + ")</option>";
    }
    std::vector<const Ledger::PendingOperation*> waiting, abandoned;
    for (const auto& op : pending)
        (tills.Waiting(op, nowMs) ? waiting : abandoned).push_back(&op);

    const auto cells = [](const Ledger::PendingOperation& op) {
        return "<td>" + ClockTime(op.openedAtMs) + "</td><td>" + Escape(op.shopName) + "</td><td>" +
               Escape(op.deviceId) + "</td><td>" + KindName(op.process) + "</td><td>" +
               std::to_string(op.amount) + "</td><td>" + Escape(op.rate) + "</td>";
    };
    const char* head = "<tr><th>시각</th><th>상점</th><th>단말기</th><th>거래</th><th>금액</th><th>적립률</th>";

    std::string html = R"(<!DOCTYPE html>
<html lang="ko"><head><meta charset="utf-8">
<meta http-equiv="refresh" content="5; url=/app">
<meta name="viewport" content="width=device-width, initial-scale=1">
<title>고객 앱 (시뮬레이션)</title>
<style>
body { font-family: sans-serif; margin: 1.5em; max-width: 46em; }
table { border-collapse: collapse; width: 100%; }
th, td { border-bottom: 1px solid #ccc; padding: .4em; text-align: left; }
.notice { background: #eef6ff; padding: .5em; border-radius: 4px; }
.abandoned { color: #777; }
</style></head><body>
<h1>고객 앱</h1>
<p>QR 코드를 스캔한 고객처럼 대기 중인 거래를 확인합니다. 5초마다 새로 고칩니다.</p>
)";
    if (!notice.empty())
        html += "<p class=\"notice\">" + Escape(notice) + "</p>\n";
    if (waiting.empty()) {
        html += "<p>대기 중인 거래가 없습니다.</p>\n";
    } else {
        html += "<table id=\"waiting\">" + std::string(head) + "<th>고객 확인</th></tr>\n";
        for (const auto* op : waiting) {
            html += "<tr>" + cells(*op);
            html += "<td><form method=\"post\" action=\"/sim/confirm?deviceid=" +
                    Escape(EncodeQueryValue(op->deviceId)) + "&amp;from=app\"><select name=\"customer\">" +
                    customerOptions + "</select> <button type=\"submit\">확인</button></form></td></tr>\n";
        }
        html += "</table>\n";
    }
    if (!abandoned.empty()) {
        html += "<h2 class=\"abandoned\">응답 없는 단말기의 거래</h2>\n"
                "<p class=\"abandoned\">단말기가 " + std::to_string(TillActivity::kWaitingMs / 1000) +
                "초 넘게 결과를 묻지 않았습니다. 확인해도 기다리는 계산원이 없습니다.</p>\n"
                "<table id=\"abandoned\" class=\"abandoned\">" + std::string(head) + "</tr>\n";
        for (const auto* op : abandoned)
            html += "<tr>" + cells(*op) + "</tr>\n";
        html += "</table>\n";
    }
    html += "</body></html>\n";
    return html;
}
