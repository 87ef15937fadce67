// The operator's site root: the page where a shop downloads Quillon, and the upgrade notice's
// browser lands. It lists the packages (*.msi, *.zip) of the folder given with --downloads, each
// with its SHA-256 as the folder's SHA256SUMS states it (`make dist` writes that file), and serves
// exactly those files. The folder is read at each request, so a release copied in is offered at
// once. Read-only; safe from any request thread.
#pragma once

#include "server/Routes.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

class DownloadsPage {
public:
    // Where the page links each package: kFilesPath + its name.
    static constexpr const char* kFilesPath = "/downloads/";

    struct Package {
        std::string name;
        std::uintmax_t bytes = 0;
        std::string sha256; // from SHA256SUMS; empty when it does not list the file
    };

    // `folder` empty: no downloads are offered.
    explicit DownloadsPage(std::string folder) : m_folder(std::move(folder)) {}

    // The packages in the folder, by name.
    std::vector<Package> Packages() const;
    // The file to send for a request of kFilesPath + `name`: only a package the page lists.
    std::optional<std::string> PathOf(const std::string& name) const;
    // The page (HTML, UTF-8) for these packages.
    static std::string Render(const std::vector<Package>& packages);

    // Adds the site root and kFilesPath to `routes`; their rows use this page while they serve.
    void AddTo(Routes& routes) const;

private:
    const std::string m_folder;
};
