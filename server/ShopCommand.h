// `quillon-server shop ...`: the operator's shop management on a books file, whether a server has
// it open or not (SQLite's locks serialise the two; the server reads a shop at each login, so a
// change counts from the next one). Each action checks all it is given before it touches the
// books, and changes nothing when it refuses.
//
// The password never comes from the command line, where the process list would show it: from the
// terminal without echo (asked twice), or as the first line of standard input.
#pragma once

#include "server/PasswordHash.h"
#include "server/ShopChange.h"
#include "server/ShopRegistry.h"

#include <iosfwd>
#include <map>
#include <string>
#include <vector>

class ShopCommand {
public:
    static constexpr int kDone = 0;
    static constexpr int kRefused = 2;       // bad usage or a value the books refuse
    static constexpr int kBooksUnusable = 1; // as the server's own start-up error

    // `hashIterations`: the cost of the password hash stored; tests choose less.
    explicit ShopCommand(int hashIterations = PasswordHash::kIterations) : m_hashIterations(hashIterations) {}

    // `args` are what follows "shop". `terminal`: `in` is a terminal, whose echo is turned off while
    // a password is typed. Returns the exit code.
    int Run(const std::vector<std::string>& args, std::istream& in, bool terminal, std::ostream& out,
            std::ostream& err) const;

    static std::string Usage();

private:
    // One action's arguments, all checked, and the shops the books held when they were checked.
    struct Request {
        std::string id;
        std::map<std::string, std::string> values; // by flag
        ShopChange change;
        std::string db;
        std::vector<ShopRegistry::Shop> shops;
    };

    // One function per action; each returns the exit code.
    static int List(const Request& request, std::ostream& out);
    int Add(const Request& request, std::ostream& out, std::ostream& err) const;
    int Set(const Request& request, std::ostream& out, std::ostream& err) const;
    int Password(const Request& request, std::istream& in, bool terminal, std::ostream& out,
                 std::ostream& err) const;

    // The password from `in`; empty when none came or the two typed ones differ.
    static std::string ReadPassword(const std::string& id, std::istream& in, bool terminal,
                                    std::ostream& err);

    const int m_hashIterations;
};
