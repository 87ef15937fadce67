#include "server/ShopCommand.h"

#include "server/Books.h"
#include "server/CommandLine.h"
#include "server/Numbers.h"

#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <istream>
#include <map>
#include <ostream>

namespace {

struct Action {
    const char* name;
    bool takesId;
    std::vector<std::string> flags; // besides --db
    std::vector<std::string> required;
};

const Action kActions[] = {
    {"add", true, {"--name", "--rate", "--coins", "--version"}, {"--name", "--rate", "--coins"}},
    {"password", true, {}, {}},
    {"set", true, {"--rate", "--coins", "--version"}, {}},
    {"list", false, {}, {}},
};

// Turns the terminal's echo off for as long as it lives.
class EchoOff {
public:
    EchoOff() : m_saved(), m_on(::tcgetattr(STDIN_FILENO, &m_saved) == 0) {
        termios quiet = m_saved;
        quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        m_on = m_on && ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet) == 0;
    }
    ~EchoOff() {
        if (m_on)
            ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &m_saved);
    }
    EchoOff(const EchoOff&) = delete;
    EchoOff& operator=(const EchoOff&) = delete;

private:
    termios m_saved;
    bool m_on;
};

std::string ReadLine(std::istream& in) {
    std::string line;
    std::getline(in, line);
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    return line;
}

// Whether a shop id may travel in a till's login URL and show in a list: no space or control byte,
// and no longer than a login takes.
bool PlainId(const std::string& id) {
    return !id.empty() && id.size() <= ShopRegistry::kMaxIdBytes &&
           std::all_of(id.begin(), id.end(),
                       [](char c) { return static_cast<unsigned char>(c) > ' ' && c != 0x7f; });
}

} // namespace

std::string ShopCommand::ReadPassword(const std::string& id, std::istream& in, bool terminal,
                                      std::ostream& err) {
    if (!terminal)
        return ReadLine(in);
    const EchoOff quiet;
    err << "password for shop " << id << ": " << std::flush;
    const std::string first = ReadLine(in);
    err << "\nthe same again: " << std::flush;
    const std::string second = ReadLine(in);
    err << "\n";
    if (first != second) {
        err << "quillon-server shop: the two passwords differ\n";
        return {};
    }
    return first;
}

namespace {

int Refuse(std::ostream& err, const std::string& why) {
    err << "quillon-server shop: " << why << "\n";
    return ShopCommand::kRefused;
}

} // namespace

int ShopCommand::Run(const std::vector<std::string>& args, std::istream& in, bool terminal, std::ostream& out,
                     std::ostream& err) const {
    const auto refuse = [&err](const std::string& why) { return Refuse(err, why); };
    const Action* action = nullptr;
    for (const Action& a : kActions) {
        if (!args.empty() && args[0] == a.name)
            action = &a;
    }
    if (!action)
        return refuse(args.empty() ? "which action? add, password, set or list (see --help)"
                                   : "unknown action \"" + args[0] + "\": add, password, set or list");
    Request request;
    std::size_t next = 1;
    if (action->takesId) {
        if (args.size() < 2 || args[1].starts_with("--"))
            return refuse(std::string(action->name) + " needs a shop id");
        request.id = args[1];
        next = 2;
    }
    auto& values = request.values;
    for (std::size_t i = next; i < args.size(); ++i) {
        CommandLine::Flag flag = CommandLine::SplitFlag(args[i]);
        if (!CommandLine::TakeValue(flag, args, i))
            return refuse(flag.name.starts_with("--") ? flag.name + " needs a value"
                                                      : "unexpected \"" + flag.name + "\"");
        const auto& allowed = action->flags;
        if (flag.name != "--db" && std::find(allowed.begin(), allowed.end(), flag.name) == allowed.end())
            return refuse("shop " + std::string(action->name) + " takes no " + flag.name);
        values[flag.name] = *flag.value;
    }
    for (const std::string& flag : action->required) {
        if (!values.contains(flag))
            return refuse("shop " + std::string(action->name) + " needs " + flag);
    }

    if (action->takesId && !PlainId(request.id))
        return refuse("a shop id must be 1 to " + std::to_string(ShopRegistry::kMaxIdBytes) +
                      " bytes without a space or control character");
    if (values.contains("--name") && values["--name"].empty())
        return refuse("--name cannot be empty");
    if (values.contains("--version") && values["--version"].empty())
        return refuse("--version cannot be empty");
    const auto given = [&values](const char* flag) {
        return values.contains(flag) ? std::optional<std::string>(values.at(flag)) : std::nullopt;
    };
    ShopChange& change = request.change;
    switch (ShopChange::Parse(given("--rate"), given("--coins"), given("--version"), change)) {
    case ShopChange::Bad::Rate:
        return refuse("--rate must be a percentage from 0 to 100 with at most two decimals, not \"" +
                      values["--rate"] + "\"");
    case ShopChange::Bad::Coins:
        return refuse("--coins must be a whole number from -1000000000 to 1000000000, not \"" +
                      values["--coins"] + "\"");
    case ShopChange::Bad::Nothing:
        break;
    }
    const std::string what = action->name;
    if (what == "set" && !change.rate && !change.coins && !change.version)
        return refuse("shop set needs --rate, --coins or --version");

    request.db = values["--db"];
    const std::string& db = request.db;
    if (db.empty() || db == ":memory:")
        return refuse("--db needs the books' file");
    // Only an added shop may start a new file; a typing error in the name is not a new set of books.
    if (std::error_code e; what != "add" && !std::filesystem::exists(db, e)) {
        err << "quillon-server shop: no books at \"" << db << "\"\n";
        return kBooksUnusable;
    }
    try {
        // Every refusal is decided on the books opened read-only, so that it leaves the file as it
        // was; only a change that goes ahead opens it for writing. A missing or empty file is new
        // books (SQLite makes an empty file a database).
        if (std::error_code e; std::filesystem::exists(db, e) && std::filesystem::file_size(db, e) > 0)
            request.shops =
                Books(db, Books::Seed::None, m_hashIterations, Database::Access::ReadOnly).Shops().List();
        if (what == "list")
            return List(request, out);
        if (what == "add")
            return Add(request, out, err);
        const auto& shops = request.shops;
        if (std::none_of(shops.begin(), shops.end(),
                         [&](const ShopRegistry::Shop& s) { return s.id == request.id; }))
            return refuse("no shop \"" + request.id + "\"");
        if (what == "set")
            return Set(request, out, err);
        return Password(request, in, terminal, out, err);
    } catch (const std::exception& e) {
        err << "quillon-server shop: cannot use database \"" << db << "\": " << e.what() << "\n";
        return kBooksUnusable;
    }
}

int ShopCommand::List(const Request& request, std::ostream& out) {
    out << "id\tname\trate\tcoins\tversion\tpassword\n";
    for (const ShopRegistry::Shop& shop : request.shops)
        out << shop.id << '\t' << shop.name << '\t' << shop.rate << '\t' << shop.coins << '\t' << shop.version
            << '\t' << (shop.hasPassword ? "set" : "none") << '\n';
    return kDone;
}

int ShopCommand::Add(const Request& request, std::ostream& out, std::ostream& err) const {
    const std::string& id = request.id;
    const auto& shops = request.shops;
    const bool known =
        std::any_of(shops.begin(), shops.end(), [&](const ShopRegistry::Shop& s) { return s.id == id; });
    // "2" is what a till of the default build expects: it offers no upgrade.
    if (known || !Books(request.db, Books::Seed::None, m_hashIterations)
                      .Shops()
                      .Add({id, request.values.at("--name"), *request.change.rate, *request.change.coins,
                            request.change.version.value_or("2")}))
        return Refuse(err, "there is a shop \"" + id + "\" already");
    out << "shop " << id << " added; set its password with: quillon-server shop password " << id << " --db "
        << request.db << "\n";
    return kDone;
}

int ShopCommand::Set(const Request& request, std::ostream& out, std::ostream& err) const {
    if (!Books(request.db, Books::Seed::None, m_hashIterations).Shops().Change(request.id, request.change))
        return Refuse(err, "no shop \"" + request.id + "\"");
    out << "shop " << request.id << " changed\n";
    return kDone;
}

int ShopCommand::Password(const Request& request, std::istream& in, bool terminal, std::ostream& out,
                          std::ostream& err) const {
    const std::string password = ReadPassword(request.id, in, terminal, err);
    if (password.empty())
        return Refuse(err, "no password set: it cannot be empty");
    if (!Books(request.db, Books::Seed::None, m_hashIterations).Shops().SetPassword(request.id, password))
        return Refuse(err, "no shop \"" + request.id + "\"");
    out << "password of shop " << request.id << " set\n";
    return kDone;
}

std::string ShopCommand::Usage() {
    return R"(Usage: quillon-server shop add ID --name NAME --rate PERCENT --coins N [--version V] --db FILE
       quillon-server shop password ID --db FILE
       quillon-server shop set ID [--rate PERCENT] [--coins N] [--version V] --db FILE
       quillon-server shop list --db FILE

Manages the shops in the books FILE, while a server uses it or not; a change counts from the next
login.
  add       a new shop, without a password until one is set; --version is the client version
            announced at login (default 2, that of the default build)
  password  reads the password from the terminal (twice, not shown) or the first line of standard
            input: printf '%s\n' "$PASSWORD" | quillon-server shop password ID --db FILE
  set       changes the rate (0 to 100, two decimals at most), the coins (-1000000000 to 1000000000) or the
            announced client version: a till of another version offers its upgrade at login
  list      the shops, without their passwords
Exit 0 when done, 2 when refused (nothing is changed then), 1 when the books cannot be used.
)";
}
