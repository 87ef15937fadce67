// Books kept in a database file: what survives a restart and what is stored for a password.
// (A file that cannot be used: ProcessTest.)
#include "ServerFixture.h"

#include "server/PasswordHash.h"
#include "server/ShopCommand.h"

#include <sqlite3.h>

#include <cstdlib>
#include <filesystem>
#include <sstream>

namespace {

namespace fs = std::filesystem;

class PersistenceTest : public ServerFixture {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/quillon-server-test.XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        m_dir = pattern;
        m_db = (m_dir / "books.db").string();
    }
    void TearDown() override {
        ServerFixture::TearDown();
        fs::remove_all(m_dir);
    }
    fs::path m_dir;
    std::string m_db;
};

TEST_F(PersistenceTest, BooksSurviveARestart) {
    StartServer(m_db);
    const std::string device = Login();
    EXPECT_EQ(Post("/sim/shop?id=demo&coins=42&version=7"), "1");
    EXPECT_EQ(Get("/android/pcposmilege.php?deviceid=" + device + "&process=1&price=10000&milege=5"),
              "1</>42");
    EXPECT_EQ(Post("/sim/confirm?deviceid=" + device + "&customer=010-2345-6789"), "1");
    const std::string result = Get("/android/pcposgetmilegeret.php?deviceid=" + device);
    EXPECT_EQ(Fields(result).at(1), "11");
    StopServer();

    StartServer(m_db); // the seed does not run again on an existing database
    EXPECT_EQ(m_books->Customers().size(), 4u);
    EXPECT_EQ(Get("/android/pcposgetmilegeret.php?deviceid=" + device),
              result); // the till is still known, its result still waiting
    EXPECT_EQ(Fields(Get("/android/poslogin.php?id=demo&password=demo")).at(7), "7");
    EXPECT_EQ(Get("/android/pcposmilege.php?deviceid=" + device + "&process=1&price=2000&milege=5"),
              "1</>42");
    EXPECT_EQ(Post("/sim/confirm?deviceid=" + device + "&customer=010-2345-6789"), "1");
    EXPECT_EQ(Get("/android/pcposgetmilegeret.php?deviceid=" + device),
              "1</>11</>이서연</>2</>2000</>100</>12000</>600</>0");
}

TEST_F(PersistenceTest, PasswordsAreStoredHashed) {
    StartServer(m_db);
    StopServer();
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open_v2(m_db.c_str(), &db, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
    sqlite3_stmt* select = nullptr;
    ASSERT_EQ(sqlite3_prepare_v2(db, "SELECT password FROM shops WHERE id = 'demo'", -1, &select, nullptr),
              SQLITE_OK);
    ASSERT_EQ(sqlite3_step(select), SQLITE_ROW);
    const std::string stored = reinterpret_cast<const char*>(sqlite3_column_text(select, 0));
    sqlite3_finalize(select);
    sqlite3_close(db);
    EXPECT_NE(stored, "demo");
    EXPECT_EQ(stored.find("demo"), std::string::npos);
    EXPECT_TRUE(PasswordHash::Verify("demo", stored));
}

// A login costs one hash of the books' cost whether the id is known or not, and five failures
// within a minute refuse the id for a while, its right password too; other ids go on.
TEST_F(PersistenceTest, LoginsCostTheSameAndAreThrottled) {
    StartServer(m_db);
    const auto cost = [&](const std::string& target) {
        const std::uint64_t before = PasswordHash::IterationsRun();
        const std::string reply = Get(target);
        return std::pair{PasswordHash::IterationsRun() - before, reply.substr(0, 1)};
    };
    const std::pair<std::string, std::string> logins[] = {
        {"id=demo&password=demo", "1"}, {"id=demo&password=wrong", "0"}, {"id=nobody&password=demo", "0"}};
    for (const auto& [query, result] : logins)
        EXPECT_EQ(cost("/android/poslogin.php?" + query), std::pair(std::uint64_t{kTestHashIterations}, result))
            << query;
    for (int i = 1; i < LoginThrottle::kMaxFailures; ++i)
        EXPECT_EQ(Fields(Get("/android/poslogin.php?id=demo&password=wrong" + std::to_string(i))).at(0), "0");
    const auto [work, refused] = cost("/android/poslogin.php?id=demo&password=demo");
    EXPECT_EQ(refused, "0") << "the right password while the id is refused";
    EXPECT_EQ(work, 0u) << "a refused id is not worth a hash";
    EXPECT_EQ(Fields(Get("/android/poslogin.php?id=other&password=x")).size(), 2u);
    EXPECT_EQ(cost("/android/poslogin.php?id=other&password=x").first, std::uint64_t{kTestHashIterations});
}

// Attempts count from their admission, before their outcome is known: five side by side lock
// the id as five in a row do.
TEST(LoginThrottle, RefusesAfterFiveFailuresWithinAMinuteForAWhile) {
    struct Step {
        std::int64_t atMs;
        bool succeeded; // the attempt admitted at this moment logs in
        bool admitted;
    };
    const std::vector<Step> steps = {
        {0, false, true},        {10, false, true},       {20, false, true},       {30, false, true},
        {60'005, false, true}, // the first fell out of the window: four remain
        {60'008, false, true},   {60'009, false, false},  {360'007, false, false}, // locked for 5 minutes
        {360'008, false, true},  {360'010, false, true},  {360'011, false, true},
        {360'012, true, true}, // a success forgets the four before it
        {360'015, false, true},  {360'016, false, true},  {360'017, false, true},  {360'018, false, true},
        {360'019, false, true},  {360'020, false, false},
    };
    LoginThrottle throttle;
    for (const Step& step : steps) {
        EXPECT_EQ(throttle.Admit("demo", step.atMs), step.admitted) << "at " << step.atMs;
        if (step.succeeded)
            throttle.Succeeded("demo");
    }
    EXPECT_TRUE(throttle.Admit("other", 360'020)) << "another id goes on";
}

// The operator's shop commands on the books of a running server that start empty: each refusal
// changes nothing, the password comes from standard input, and a till logs in with it, sees the
// announced version and gives with a text message.
TEST_F(PersistenceTest, ShopCommandsManageTheBooksOfARunningServer) {
    StartServer(m_db, Books::Seed::None);
    EXPECT_TRUE(m_books->Customers().empty());
    const auto run = [&](const std::string& words, const std::string& input, std::string& said) {
        std::vector<std::string> args{"--db", m_db};
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
        {"add cafe --name x --rate -1 --coins 1", "", 2, "--rate"},
        {"add cafe --name x --rate 5 --coins -1", "", 2, "--coins"},
        {"add cafe --name= --rate 5 --coins 1", "", 2, "--name"},
        {"add ca\x01"
         "fe --name x --rate 5 --coins 1",
         "", 2, "shop id"},
        {"add cafe --name x --rate 5", "", 2, "needs --coins"},
        {"add cafe --name x --rate 5 --coins 1 --password p", "", 2, "no --password"},
        {"password nobody", "secret\n", 2, "no shop \"nobody\""},
        {"password bakery", "\n", 2, "empty"},
        {"password bakery", "", 2, "empty"},
        {"password bakery", "s3cret\r\n", 0, "bakery\t한빛\t2.5\t100\t2\tset\n"},
        {"set nobody --version 3", "", 2, "no shop \"nobody\""},
        {"set bakery", "", 2, "needs --rate, --coins or --version"},
        {"set bakery --rate 5.001", "", 2, "--rate"},
        {"set bakery --version=", "", 2, "--version"},
        {"set bakery --rate 5 --coins 7 --version 3", "", 0, "bakery\t한빛\t5\t7\t3\tset\n"},
        {"remove bakery", "", 2, "unknown action"},
    };
    for (const auto& step : steps) {
        const std::string before = list();
        std::string said;
        EXPECT_EQ(run(step.args, step.input, said), step.exit) << step.args << ": " << said;
        EXPECT_EQ(step.exit == 0 ? list() == step.says
                                 : said.find(step.says) != std::string::npos && list() == before,
                  true)
            << step.args << ": " << said;
    }
    const auto login = Fields(Get("/android/poslogin.php?id=bakery&password=s3cret"));
    ASSERT_EQ(login.at(0), "1");
    EXPECT_EQ(login.at(7), "3") << "the version the command announced";
    const std::string till = "deviceid=" + login.at(1) + "&price=15000&milege=5";
    EXPECT_EQ(Get("/android/pcposmilege.php?process=1&" + till), "1</>7");
    EXPECT_EQ(Get("/sms_client_v10/pctelmilege.php?tel=01012345678&marktag=1&" + till), "1");
    EXPECT_EQ(list(), "bakery\t한빛\t5\t6\t3\tset\n");
}

} // namespace
