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

TEST_F(PersistenceTest, SeedNoneStartsEmpty) {
    StartServer(m_db, Books::Seed::None);
    EXPECT_EQ(Fields(Get("/android/poslogin.php?id=demo&password=demo")).at(0), "0");
    EXPECT_TRUE(m_books->Customers().empty());
}

} // namespace
