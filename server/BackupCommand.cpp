#include "server/BackupCommand.h"

#include "server/Books.h"
#include "server/CommandLine.h"

#include <fcntl.h>
#include <unistd.h>

#include <filesystem>
#include <ostream>

namespace fs = std::filesystem;

int BackupCommand::Run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) const {
    const auto refuse = [&err](const std::string& why) {
        err << "quillon-server backup: " << why << "\n";
        return kRefused;
    };
    std::string db, to;
    for (std::size_t i = 0; i < args.size(); ++i) {
        CommandLine::Flag split = CommandLine::SplitFlag(args[i]);
        CommandLine::TakeValue(split, args, i);
        const std::string& flag = split.name;
        const std::string value = split.value.value_or("");
        if (flag != "--db" && flag != "--to")
            return refuse("unknown option \"" + flag + "\" (see --help)");
        if (value.empty())
            return refuse(flag + " needs a file");
        (flag == "--db" ? db : to) = value;
    }
    if (db.empty() || to.empty() || db == ":memory:" || to == ":memory:")
        return refuse("needs --db with the books' file and --to with the copy's");
    std::error_code e;
    if (!fs::exists(db, e)) {
        err << "quillon-server backup: no books at \"" << db << "\"\n";
        return kBooksUnusable;
    }
    if (fs::exists(to, e) && fs::equivalent(db, to, e))
        return refuse("--to names the books themselves");
    try {
        // Read-only: a backup never changes the books. No login runs here: the cheapest hash.
        Books books(db, Books::Seed::None, 1, Database::Access::ReadOnly);
        books.CopyTo(to);
    } catch (const std::exception& ex) {
        err << "quillon-server backup: cannot copy \"" << db << "\" to \"" << to << "\": " << ex.what()
            << "\n";
        return kBooksUnusable;
    }
    out << "books \"" << db << "\" copied to \"" << to << "\"\n";
    return kDone;
}

std::string BackupCommand::Usage() {
    return R"(Usage: quillon-server backup --db FILE --to COPY

Copies the books FILE to COPY consistently, while a server uses them or not (SQLite's online
backup; a plain copy of a file being written may be torn). COPY is replaced only once the copy is
complete. Restore by stopping the server and starting it on the copy (or moving it into place).
Exit 0 when done, 2 for bad usage, 1 when the books or the copy cannot be used.
)";
}
