// `quillon-server backup --db FILE --to COPY`: a consistent copy of the books while a server uses
// them or not. The live file of a WAL database may be mid-commit at any moment, and a copy of its
// bytes then torn; this one is SQLite's online backup, read in one snapshot beside the server's
// writes (WAL readers do not hold up the writer). The copy is written beside COPY and renamed
// onto it only once it is complete and on the disk, so COPY is never half a backup.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

class BackupCommand {
public:
    static constexpr int kDone = 0;
    static constexpr int kRefused = 2;       // bad usage
    static constexpr int kBooksUnusable = 1; // as the server's own start-up error

    // `args` are what follows "backup". Returns the exit code.
    int Run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) const;

    static std::string Usage();
};
