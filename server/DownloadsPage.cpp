#include "server/DownloadsPage.h"

#include "server/AppPage.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

namespace fs = std::filesystem;

namespace {

// A name with something before its extension, and not hidden.
bool IsPackageName(const std::string& name) {
    return name.size() > 4 && name.front() != '.' && (name.ends_with(".msi") || name.ends_with(".zip"));
}

// SHA256SUMS as sha256sum writes it: "<64 hex digits>  <name>" (or " *<name>" for binary mode).
std::map<std::string, std::string> ReadSums(const fs::path& file) {
    std::map<std::string, std::string> sums;
    std::ifstream in(file);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.size() < 67 || line[64] != ' ' || (line[65] != ' ' && line[65] != '*'))
            continue;
        const std::string hash = line.substr(0, 64);
        if (std::all_of(hash.begin(), hash.end(),
                        [](char c) { return std::isxdigit(static_cast<unsigned char>(c)); }))
            sums[line.substr(66)] = hash;
    }
    return sums;
}

// For which Windows a package is, in a shop owner's words, by the architecture in its name.
std::string ForWhichWindows(const std::string& name) {
    if (name.find("-x64.") != std::string::npos)
        return "64비트 Windows (Windows 10, 11 등 요즘 PC)";
    if (name.find("-x86.") != std::string::npos)
        return "32비트 Windows (Windows 7, POSReady 7, 32비트 Windows 10). 64비트 Windows에서도 됩니다";
    return "";
}

std::string Size(std::uintmax_t bytes) {
    std::ostringstream out;
    out.precision(1);
    out << std::fixed << static_cast<double>(bytes) / (1024.0 * 1024.0) << " MB";
    return out.str();
}

} // namespace

std::vector<DownloadsPage::Package> DownloadsPage::Packages() const {
    std::vector<Package> packages;
    if (m_folder.empty())
        return packages;
    std::error_code error;
    const auto sums = ReadSums(fs::path(m_folder) / "SHA256SUMS");
    for (const auto& entry : fs::directory_iterator(m_folder, error)) {
        const std::string name = entry.path().filename().string();
        if (!entry.is_regular_file(error) || !IsPackageName(name))
            continue;
        const auto found = sums.find(name);
        packages.push_back({name, entry.file_size(error), found == sums.end() ? "" : found->second});
    }
    std::sort(packages.begin(), packages.end(),
              [](const Package& a, const Package& b) { return a.name < b.name; });
    return packages;
}

std::optional<std::string> DownloadsPage::PathOf(const std::string& name) const {
    for (const auto& package : Packages()) {
        if (package.name == name)
            return (fs::path(m_folder) / name).string();
    }
    return std::nullopt;
}

void DownloadsPage::AddTo(Routes& routes) const {
    routes.Add({"/", Routes::Method::Get, Routes::Serves::Downloads, [this](const Routes::Call&) {
                    Routes::Reply reply;
                    reply.contentType = "text/html; charset=utf-8";
                    reply.body = Render(Packages());
                    return reply;
                }});
    routes.Add({kFilesPath, Routes::Method::Get, Routes::Serves::Downloads,
                [this](const Routes::Call& call) {
                    const std::string name(call.path.substr(std::string_view(kFilesPath).size()));
                    const auto file = PathOf(name);
                    if (!file)
                        return Routes::Unknown();
                    Routes::Reply reply;
                    reply.contentType = name.ends_with(".msi") ? "application/x-msi" : "application/zip";
                    reply.file = *file;
                    return reply;
                },
                true});
}

std::string DownloadsPage::Render(const std::vector<Package>& packages) {
    std::string html = R"(<!DOCTYPE html>
<html lang="ko"><head><meta charset="utf-8">
<meta name="viewport" content="width=device-width, initial-scale=1">
<title>Quillon 내려받기</title>
<style>
body { font-family: sans-serif; margin: 1.5em; max-width: 52em; }
table { border-collapse: collapse; width: 100%; }
th, td { border-bottom: 1px solid #ccc; padding: .4em; text-align: left; }
code { font-size: .85em; word-break: break-all; }
</style></head><body>
<h1>Quillon 내려받기</h1>
)";
    if (packages.empty()) {
        html += "<p>내려받을 파일이 없습니다.</p>\n</body></html>\n";
        return html;
    }
    html += "<p>설치 프로그램(.msi)은 Quillon을 설치하거나 새 버전으로 바꿉니다. zip 파일은 설치 없이 쓰는 "
            "휴대용 판입니다.</p>\n"
            "<p>계산대 PC의 Windows가 64비트인지 32비트인지는 설정 → 시스템 → 정보의 \"시스템 종류\"에서 "
            "(Windows 7은 제어판 → 시스템에서) 볼 수 있습니다. 모르면 32비트용(x86)을 받으십시오. 어느 "
            "Windows에서나 됩니다.</p>\n"
            "<table id=\"packages\"><tr><th>파일</th><th>대상 Windows</th><th>크기</th><th>SHA-256</th></tr>\n";
    for (const auto& p : packages) {
        html += "<tr><td><a href=\"" + std::string(kFilesPath) +
                AppPage::Escape(AppPage::EncodeQueryValue(p.name)) + "\">" + AppPage::Escape(p.name) +
                "</a></td><td>" + ForWhichWindows(p.name) + "</td><td>" + Size(p.bytes) + "</td><td>" +
                (p.sha256.empty() ? std::string("SHA256SUMS에 없습니다") : "<code>" + p.sha256 + "</code>") +
                "</td></tr>\n";
    }
    html += "</table>\n<p>내려받은 파일의 SHA-256 값이 위의 값과 같은지 확인하십시오. PowerShell에서: "
            "<code>Get-FileHash 파일이름 -Algorithm SHA256</code></p>\n</body></html>\n";
    return html;
}
