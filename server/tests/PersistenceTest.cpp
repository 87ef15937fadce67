// Books kept in a database file: what survives a restart and what is stored for a password.
// (A file that cannot be used: ProcessTest.)
#include "ServerFixture.h"

#include "server/PasswordHash.h"

#include <sqlite3.h>

#include <cstdlib>
#include <filesystem>

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

TEST_F(PersistenceTest, SeedNoneStartsEmpty) {
    StartServer(m_db, Books::Seed::None);
    EXPECT_EQ(Fields(Get("/android/poslogin.php?id=demo&password=demo")).at(0), "0");
    EXPECT_TRUE(m_books->Customers().empty());
}

} // namespace
