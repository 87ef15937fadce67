#include "server/ShopCommand.h"

#include "server/Books.h"
#include "server/Numbers.h"

#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <istream>
#include <map>
#include <ostream>

namespace {

constexpr std::int64_t kMaxCoins = 1'000'000'000;

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
    return !id.empty() && id.size() <= Books::kMaxIdBytes && std::all_of(id.begin(), id.end(), [](char c) {
        return static_cast<unsigned char>(c) > ' ' && c != 0x7f;
    });
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

int ShopCommand::Run(const std::vector<std::string>& args, std::istream& in, bool terminal, std::ostream& out,
                     std::ostream& err) const {
    const auto refuse = [&err](const std::string& why) {
        err << "quillon-server shop: " << why << "\n";
        return kRefused;
    };
    const Action* action = nullptr;
    for (const Action& a : kActions) {
        if (!args.empty() && args[0] == a.name)
            action = &a;
    }
    if (!action)
        return refuse(args.empty() ? "which action? add, password, set or list (see --help)"
                                   : "unknown action \"" + args[0] + "\": add, password, set or list");
    std::string id;
    std::size_t next = 1;
    if (action->takesId) {
        if (args.size() < 2 || args[1].starts_with("--"))
            return refuse(std::string(action->name) + " needs a shop id");
        id = args[1];
        next = 2;
    }
    std::map<std::string, std::string> values;
    for (std::size_t i = next; i < args.size(); ++i) {
        std::string flag = args[i];
        std::string value;
        if (const auto eq = flag.find('='); flag.starts_with("--") && eq != std::string::npos) {
            value = flag.substr(eq + 1);
            flag.resize(eq);
        } else if (i + 1 < args.size()) {
            value = args[++i];
        } else {
            return refuse(flag.starts_with("--") ? flag + " needs a value" : "unexpected \"" + flag + "\"");
        }
        const auto& allowed = action->flags;
        if (flag != "--db" && std::find(allowed.begin(), allowed.end(), flag) == allowed.end())
            return refuse("shop " + std::string(action->name) + " takes no " + flag);
        values[flag] = value;
    }
    for (const std::string& flag : action->required) {
        if (!values.contains(flag))
            return refuse("shop " + std::string(action->name) + " needs " + flag);
    }

    if (action->takesId && !PlainId(id))
        return refuse("a shop id must be 1 to " + std::to_string(Books::kMaxIdBytes) +
                      " bytes without a space or control character");
    if (values.contains("--name") && values["--name"].empty())
        return refuse("--name cannot be empty");
    Books::ShopChange change;
    if (values.contains("--rate")) {
        if (!Numbers::ParseRate(values["--rate"]))
            return refuse("--rate must be a percentage from 0 to 100 with at most two decimals, not \"" +
                          values["--rate"] + "\"");
        change.rate = values["--rate"];
    }
    if (values.contains("--coins")) {
        change.coins = Numbers::ParseInteger(values["--coins"], 0, kMaxCoins);
        if (!change.coins || values["--coins"].starts_with("-"))
            return refuse("--coins must be a whole number from 0 to 1000000000, not \"" + values["--coins"] +
                          "\"");
    }
    if (values.contains("--version")) {
        if (values["--version"].empty())
            return refuse("--version cannot be empty");
        change.version = values["--version"];
    }
    if (std::string(action->name) == "set" && !change.rate && !change.coins && !change.version)
        return refuse("shop set needs --rate, --coins or --version");

    const std::string db = values["--db"];
    if (db.empty() || db == ":memory:")
        return refuse("--db needs the books' file");
    // Only an added shop may start a new file; a typing error in the name is not a new set of books.
    if (std::error_code e; std::string(action->name) != "add" && !std::filesystem::exists(db, e)) {
        err << "quillon-server shop: no books at \"" << db << "\"\n";
        return kBooksUnusable;
    }
    try {
        const std::string what = action->name;
        // Every refusal is decided on the books opened read-only, so that it leaves the file as it
        // was; only a change that goes ahead opens it for writing. A missing or empty file is new
        // books (SQLite makes an empty file a database).
        std::vector<Books::Shop> shops;
        if (std::error_code e; std::filesystem::exists(db, e) && std::filesystem::file_size(db, e) > 0)
            shops = Books(db, Books::Seed::None, m_hashIterations, Database::Access::ReadOnly).Shops();
        if (what == "list") {
            out << "id\tname\trate\tcoins\tversion\tpassword\n";
            for (const Books::Shop& shop : shops)
                out << shop.id << '\t' << shop.name << '\t' << shop.rate << '\t' << shop.coins << '\t'
                    << shop.version << '\t' << (shop.hasPassword ? "set" : "none") << '\n';
            return kDone;
        }
        const bool known =
            std::any_of(shops.begin(), shops.end(), [&](const Books::Shop& s) { return s.id == id; });
        if (what == "add") {
            // "2" is what a till of the default build expects: it offers no upgrade.
            if (known || !Books(db, Books::Seed::None, m_hashIterations)
                              .AddShop({id, values["--name"], *change.rate, *change.coins,
                                        change.version.value_or("2")}))
                return refuse("there is a shop \"" + id + "\" already");
            out << "shop " << id << " added; set its password with: quillon-server shop password " << id
                << " --db " << db << "\n";
            return kDone;
        }
        if (!known)
            return refuse("no shop \"" + id + "\"");
        if (what == "set") {
            if (!Books(db, Books::Seed::None, m_hashIterations).ChangeShop(id, change))
                return refuse("no shop \"" + id + "\"");
            out << "shop " << id << " changed\n";
            return kDone;
        }
        const std::string password = ReadPassword(id, in, terminal, err);
        if (password.empty())
            return refuse("no password set: it cannot be empty");
        if (!Books(db, Books::Seed::None, m_hashIterations).SetPassword(id, password))
            return refuse("no shop \"" + id + "\"");
        out << "password of shop " << id << " set\n";
        return kDone;
    } catch (const std::exception& e) {
        err << "quillon-server shop: cannot use database \"" << db << "\": " << e.what() << "\n";
        return kBooksUnusable;
    }
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
  set       changes the rate (0 to 100, two decimals at most), the coins (0 to 1000000000) or the
            announced client version: a till of another version offers its upgrade at login
  list      the shops, without their passwords
Exit 0 when done, 2 when refused (nothing is changed then), 1 when the books cannot be used.
)";
}
