// Books kept in a database file: what survives a restart or a backup, how writes and logins meet
// other writers and guessers, and the shop commands. (A file that cannot be used: ProcessTest.)
#include "ServerFixture.h"
#include "TempDir.h"

#include "server/BackupCommand.h"
#include "server/PasswordHash.h"
#include "server/ShopCommand.h"

#include <sqlite3.h>

#include <fstream>
#include <sstream>
#include <thread>

namespace {

class PersistenceTest : public ServerFixture {
protected:
    TempDir m_dir;
    std::string m_db = m_dir / "books.db";
};

// A restart and a backup taken while the server serves: the books come back as they stood, the
// seed does not run again, and a server started on the backup serves the same shops and balances;
// what came after the backup is not in it.
TEST_F(PersistenceTest, BooksSurviveARestartAndABackupTakenWhileServing) {
    StartServer(m_db);
    const std::string till = "deviceid=" + Login(), copy = m_dir / "copy.db";
    EXPECT_EQ(Post("/sim/shop?id=demo&coins=42&version=7"), "1");
    const auto give = [&](const std::string& price) {
        EXPECT_EQ(Get("/android/pcposmilege.php?process=1&milege=5&price=" + price + "&" + till), "1</>42");
        EXPECT_EQ(Post("/sim/confirm?customer=010-2345-6789&" + till), "1");
        return Get("/android/pcposgetmilegeret.php?" + till);
    };
    const std::string result = give("10000");
    EXPECT_EQ(Fields(result).at(1), "11");
    StopServer();
    StartServer(m_db);
    EXPECT_EQ(m_books->Tills().Customers().size(), 4u);
    EXPECT_EQ(Get("/android/pcposgetmilegeret.php?" + till), result); // the till known, its result waiting
    EXPECT_EQ(Fields(Get("/android/poslogin.php?id=demo&password=demo")).at(7), "7");
    const struct {
        std::vector<std::string> args;
        int exit;
    } runs[] = {
        {{"--db", m_db}, 2}, {{"--db", m_db, "--to", m_db}, 2}, {{"--db", m_db + "x", "--to", copy}, 1},
        {{"--db", m_db, "--to", copy}, 0},
    };
    for (const auto& run : runs) {
        std::ostringstream said;
        EXPECT_EQ(BackupCommand().Run(run.args, said, said), run.exit) << said.str();
    }
    give("20000");
    StopServer();
    StartServer(copy);
    EXPECT_EQ(m_books->Shops().List().size(), 1u);
    EXPECT_EQ(give("2000"), "1</>11</>이서연</>2</>2000</>100</>12000</>600</>0");
}

// Every write waits for a writer of another process on the same file (`shop set`, here a
// connection of the test's that holds the write lock for 300 ms) instead of failing at once.
TEST_F(PersistenceTest, WritesWaitForAnotherWriterOfTheFile) {
    StartServer(m_db);
    const std::string till = "deviceid=" + Login();
    const std::pair<std::string, std::string> writes[] = {
        {"GET /android/pcposmilege.php?process=1&price=1000&milege=5&" + till, "1</>1500"},
        {"POST /sim/confirm?" + till, "1"},
        {"GET /android/deleteposdata.php?" + till, "1"},
        {"GET /android/pcposmilege.php?process=2&price=50&" + till, "1"},
        {"GET /android/processcancel.php?storeidx=demo", "1"},
        {"GET /sms_client_v10/pctelmilege.php?price=1000&tel=010&marktag=1&" + till, "1"},
        {"GET /android/poslogin.php?id=demo&password=demo", "1</>T"},
        {"POST /sim/shop?id=demo&coins=5", "1"},
    };
    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open(m_db.c_str(), &other), SQLITE_OK);
    for (const auto& [request, reply] : writes) {
        ASSERT_EQ(sqlite3_exec(other, "BEGIN IMMEDIATE; UPDATE meta SET value = value;", nullptr, nullptr, nullptr),
                  SQLITE_OK);
        std::thread commit([other] {
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            sqlite3_exec(other, "COMMIT;", nullptr, nullptr, nullptr);
        });
        const std::string target = request.substr(request.find(' ') + 1);
        const std::string got = request.starts_with("GET") ? Get(target) : Post(target);
        commit.join();
        EXPECT_EQ(got.substr(0, reply.size()), reply) << request << ": " << got;
    }
    sqlite3_close(other);
}

// A login costs one hash of the books' cost whether the id is known or not, unless it is refused
// before: an id longer than 79 bytes is no shop's, and five failures within a minute refuse the id
// at that client for a while, its right password too, while its other clients and other ids go on.
// A client is counted as the connection cap counts it: an IPv6 host by its /64, and behind a
// trusted proxy (127.0.0.2 here) by the address the proxy appended to X-Forwarded-For; from any
// other address that header is ignored. (An IPv4-mapped address as IPv4: ClientAddress's rows.)
TEST_F(PersistenceTest, LoginsCostTheSameAndAreThrottledPerClient) {
    StartServer(":memory:", Books::Seed::Demo, "", {*ClientAddress::Parse("127.0.0.2")});
    const std::string wrong = "0</>아이디 또는 비밀번호가 틀렸습니다", tooMany = "0</>로그인 시도가 너무 많습니다";
    const std::uint64_t h = kTestHashIterations;
    const struct {
        std::string client; // an address handed to the books, or "from N|X-Forwarded-For" over HTTP
        std::string id, password;
        std::uint64_t hashes;
        std::string reply;
    } logins[] = {
        {"2001:db8:1::1", "demo", "1", h, wrong}, {"2001:db8:1::2", "demo", "2", h, wrong},
        {"2001:db8:1::3", "demo", "3", h, wrong}, {"2001:db8:1:0:ffff::4", "demo", "4", h, wrong},
        {"2001:db8:1::5", "demo", "5", h, wrong}, {"2001:db8:1::6", "demo", "demo", 0, tooMany},
        {"2001:db8:1::7", "other", "x", h, wrong}, {"2001:db8:2::1", "demo", "demo", h, "1</>"},
        {"1|", "nobody", "demo", h, wrong}, {"1|", std::string(79, 'x'), "x", h, wrong},
        {"1|", std::string(80, 'x'), "x", 0, wrong},
        {"2|198.51.100.8, 2001:db8:1::8", "demo", "demo", 0, tooMany}, // the last address, in the /64 above
        {"3|198.51.100.1", "c", "x", h, wrong}, {"3|198.51.100.2", "c", "x", h, wrong},
        {"3|198.51.100.3", "c", "x", h, wrong}, {"3|198.51.100.4", "c", "x", h, wrong},
        {"3|198.51.100.5", "c", "x", h, wrong}, {"3|198.51.100.6", "c", "x", 0, tooMany},
    };
    for (const auto& login : logins) {
        const std::string query = "id=" + login.id + "&password=" + login.password;
        const std::size_t bar = login.client.find('|');
        const std::string forwarded = bar == std::string::npos ? "" : login.client.substr(bar + 1);
        const std::uint64_t before = PasswordHash::IterationsRun();
        const std::string got =
            bar == std::string::npos
                ? m_books->Tills().Login(QueryString::Parse(query), "h", login.client)
                : SimClient(m_server->Port(), static_cast<unsigned char>(std::stoi(login.client)))
                      .Get("/android/poslogin.php?" + query,
                           forwarded.empty() ? "" : "X-Forwarded-For: " + forwarded + "\r\n")
                      .body;
        EXPECT_EQ(PasswordHash::IterationsRun() - before, login.hashes) << login.client << " " << query;
        EXPECT_EQ(got.substr(0, login.reply.size()), login.reply) << login.client << " " << query;
    }
}

// Attempts count from their admission, before their outcome is known: five side by side lock the
// address out as five in a row do. The id's attempts from every address add a growing wait,
// bounded, that never refuses a right password.
TEST(LoginThrottle, RefusesAnAddressAfterFiveFailuresAndSlowsTheIdEverywhere) {
    const struct {
        const char* address;
        std::int64_t atMs;
        bool succeeds;
        LoginThrottle::Decision decision;
    } steps[] = {
        {"a", 0, false, {true, 0}},
        {"a", 10, false, {true, 0}},
        {"a", 20, false, {true, 0}},
        {"a", 30, false, {true, 0}},
        {"a", 60'005, false, {true, 0}}, // a's first fell out of the window
        {"a", 60'008, false, {true, 0}},
        {"a", 60'009, false, {false, 0}}, // a is locked for 5 minutes
        // the id's window now holds a's last two failures
        {"b", 60'100, true, {true, 0}},
        {"c", 60'101, false, {true, 0}},
        {"d", 60'102, false, {true, 0}},
        {"e", 60'103, false, {true, 0}},
        {"f", 60'104, false, {true, 0}},
        {"g", 60'105, false, {true, 1000}},
        {"h", 60'106, false, {true, 2000}},
        {"i", 60'107, false, {true, 3000}},
        {"j", 60'108, false, {true, 4000}},
        {"k", 60'109, false, {true, 5000}},
        {"l", 60'110, false, {true, 5000}},
        {"b", 60'111, true, {true, 5000}}, // the till's right password waits, is not refused
        {"a", 360'007, false, {false, 0}},
        {"a", 360'008, false, {true, 0}},
        {"b", 360'009, false, {true, 0}},
    };
    LoginThrottle throttle;
    for (const auto& step : steps) {
        EXPECT_EQ(throttle.Admit("demo", step.address, step.atMs), step.decision)
            << step.address << " at " << step.atMs;
        if (step.succeeds)
            throttle.Succeeded("demo", step.address);
    }
    EXPECT_EQ(throttle.Admit("other", "a", 60'010), (LoginThrottle::Decision{true, 0}))
        << "another id goes on";
}

// The operator's shop commands on the books of a running server that start empty: each refusal
// changes nothing, the password comes from standard input, and a till logs in with it, sees the
// announced version and gives with a text message.
TEST_F(PersistenceTest, ShopCommandsManageTheBooksOfARunningServer) {
    StartServer(m_db, Books::Seed::None);
    EXPECT_TRUE(m_books->Tills().Customers().empty());
    const auto run = [&](const std::string& words, const std::string& input, std::string& said,
                         const std::string& db = "") {
        std::vector<std::string> args{"--db", db.empty() ? m_db : db};
        for (std::istringstream split(words); split >> said;)
            args.insert(args.end() - 2, said);
        std::istringstream in(input);
        std::ostringstream out;
        const int exit = ShopCommand(kTestHashIterations).Run(args, in, false, out, out);
        said = out.str();
        return exit;
    };
    const auto list = [&] {
        std::string said;
        EXPECT_EQ(run("list", "", said), 0);
        return said.substr(said.find('\n') + 1);
    };
    EXPECT_EQ(list(), "");
    const struct {
        std::string args, input;
        int exit;
        std::string says; // done: the list after it; refused: in the message
    } steps[] = {
        {"add bakery --name 한빛 --rate 2.5 --coins 100", "", 0, "bakery\t한빛\t2.5\t100\t2\tnone\n"},
        {"add bakery --name x --rate 5 --coins 1", "", 2, "already"},
        {"add cafe --name x --rate 100.01 --coins 1", "", 2, "--rate"},
        {"add cafe --name x --rate 5 --coins 1000000001", "", 2, "--coins"},
        {"add cafe --name= --rate 5 --coins 1", "", 2, "--name"},
        {"add ca\x01"
         "fe --name x --rate 5 --coins 1",
         "", 2, "shop id"},
        {"add cafe --name x --rate 5", "", 2, "needs --coins"},
        {"add " + std::string(80, 'c') + " --name x --rate 5 --coins 1", "", 2, "shop id"},
        {"add cafe --name x --rate 5 --coins 1 --password p", "", 2, "no --password"},
        {"password nobody", "secret\n", 2, "no shop \"nobody\""},
        {"password bakery", "\n", 2, "empty"},
        {"password bakery", "s3cret\r\n", 0, "bakery\t한빛\t2.5\t100\t2\tset\n"},
        {"set nobody --version 3", "", 2, "no shop \"nobody\""},
        {"set bakery", "", 2, "needs --rate, --coins or --version"},
        {"set bakery --version=", "", 2, "--version"},
        {"set bakery --rate 5 --coins 7 --version 3", "", 0, "bakery\t한빛\t5\t7\t3\tset\n"},
        {"remove bakery", "", 2, "unknown action"},
    };
    // The file and its write-ahead log, byte for byte.
    const auto bytes = [](const std::string& db) {
        std::ostringstream all;
        for (const std::string& name : {db, db + "-wal"})
            all << std::ifstream(name, std::ios::binary).rdbuf() << '|';
        return all.str();
    };
    for (const auto& step : steps) {
        const std::string before = bytes(m_db);
        std::string said;
        EXPECT_EQ(run(step.args, step.input, said), step.exit) << step.args << ": " << said;
        EXPECT_EQ(step.exit == 0 ? list() == step.says
                                 : said.find(step.says) != std::string::npos && bytes(m_db) == before,
                  true)
            << step.args << ": " << said;
    }
    // Another application's database is refused and left alone, and so are books that another
    // program switched back to a rollback journal when they are only listed.
    const std::string other = m_dir / "other.db", rollback = m_dir / "rollback.db";
    std::string said;
    ASSERT_EQ(run("add bakery --name x --rate 5 --coins 1", "", said, rollback), 0);
    for (const auto& [db, sql] : {std::pair{other, "CREATE TABLE notes (x); INSERT INTO notes VALUES (1);"},
                                  std::pair{rollback, "PRAGMA journal_mode=DELETE;"}}) {
        sqlite3* raw = nullptr;
        ASSERT_EQ(sqlite3_open(db.c_str(), &raw), SQLITE_OK);
        ASSERT_EQ(sqlite3_exec(raw, sql, nullptr, nullptr, nullptr), SQLITE_OK);
        sqlite3_close(raw);
    }
    const struct {
        std::string db;
        int exit;
        std::string says;
    } lists[] = {{other, 1, "not Quillon's books"}, {rollback, 0, "bakery\tx\t5\t1\t2\tnone"}};
    for (const auto& step : lists) {
        const std::string before = bytes(step.db);
        EXPECT_EQ(run("list", "", said, step.db), step.exit) << step.db << ": " << said;
        EXPECT_NE(said.find(step.says), std::string::npos) << step.db << ": " << said;
        EXPECT_EQ(bytes(step.db), before) << step.db;
    }
    const std::string foreign = bytes(other);
    EXPECT_THROW(Books(other, Books::Seed::Demo, kTestHashIterations), DatabaseError) << "a server refuses it";
    EXPECT_EQ(bytes(other), foreign);
    const auto login = Fields(Get("/android/poslogin.php?id=bakery&password=s3cret"));
    ASSERT_EQ(login.at(0), "1");
    EXPECT_EQ(login.at(7), "3") << "the version the command announced";
    const std::string till = "deviceid=" + login.at(1) + "&price=15000&milege=5";
    EXPECT_EQ(Get("/android/pcposmilege.php?process=1&" + till), "1</>7");
    EXPECT_EQ(Get("/sms_client_v10/pctelmilege.php?tel=01012345678&marktag=1&" + till), "1");
    EXPECT_EQ(list(), "bakery\t한빛\t5\t6\t3\tset\n");
}

} // namespace
