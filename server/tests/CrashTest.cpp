// The books across SIGKILL: quillon-server on a file serves four tills, each giving, paying and
// cancelling for a customer of its own, and is killed at random moments, then started again on the
// file. After each kill every answered operation is booked exactly once, no refused one is, each
// account is the sum of its booked operations, and one whose answer the kill cut off is booked whole
// or not at all.
#include "ServerProcess.h"
#include "TempDir.h"
#include "tests/support/SimClient.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <atomic>
#include <cstdio>
#include <random>
#include <thread>

namespace {

struct Books {
    std::int64_t visits = 0, sales = 0, given = 0, used = 0;
    std::vector<std::int64_t> payments; // not cancelled, oldest first
    std::string Text() const { // as Read() shows the file's
        std::string text = std::to_string(visits) + " " + std::to_string(sales) + " " + std::to_string(given) + " " +
                           std::to_string(used) + ":";
        for (const std::int64_t payment : payments)
            text += (text.back() == ':' ? "" : " ") + std::to_string(payment);
        return text;
    }
};

struct Till {
    std::string phone, device;
    Books booked;                   // after every operation the server answered
    std::optional<Books> ifBooked;  // after the one whose answer the kill cut off, had it been booked
};

// One operation and its confirmation; false once the server is gone.
std::atomic<long> g_done{0}, g_refused{0};

bool Operate(int port, Till& till, std::mt19937& random) {
    const SimClient http(port);
    Books after = till.booked;
    const std::int64_t balance = after.given - after.used;
    const int kind = static_cast<int>(random() % 3);
    std::int64_t amount = 1000 + random() % 19000;
    bool refusal = false;
    if (kind == 0) { // give at 5 %
        after = {after.visits + 1, after.sales + amount, after.given + amount * 5 / 100, after.used, after.payments};
    } else if (kind == 1) { // pay: now and then more than the balance, refused
        amount = random() % 4 == 0 ? balance + 1 : 1 + random() % std::max<std::int64_t>(balance, 1);
        refusal = amount > balance;
        after = {after.visits + 1, after.sales + amount, after.given, after.used + amount, after.payments};
        after.payments.push_back(amount);
    } else { // cancel the last payment: now and then of another amount, refused
        amount = after.payments.empty() ? 1 : after.payments.back() + (random() % 4 == 0 ? 1 : 0);
        refusal = after.payments.empty() || amount != after.payments.back();
        after = {after.visits, after.sales - amount, after.given, after.used - amount, after.payments};
        if (!refusal)
            after.payments.pop_back();
    }
    const std::string device = "deviceid=" + till.device;
    const SimReply opened = http.Get("/android/pcposmilege.php?milege=5&process=" + std::to_string(kind + 1) +
                                     "&price=" + std::to_string(amount) + "&" + device);
    if (opened.status == 0)
        return false;
    const SimReply confirmed = http.Post("/sim/confirm?customer=" + till.phone + "&" + device);
    // No whole answer (the kill came first, or cut it): booked whole or not at all.
    if (confirmed.body != "1" && !confirmed.body.starts_with("0</>")) {
        till.ifBooked = refusal ? std::optional<Books>() : after;
        return false;
    }
    EXPECT_EQ(confirmed.body == "1", !refusal) << confirmed.body;
    if (confirmed.body != "1")
        return ++g_refused, true;
    till.booked = after;
    ++g_done;
    const SimReply result = http.Get("/android/pcposgetmilegeret.php?" + device);
    const auto fields = Fields(result.body); // a whole result has 9 or 11 fields; the kill may cut it
    EXPECT_TRUE(fields.size() < 9 || fields[1] == "1" + std::to_string(kind + 1)) << result.body;
    return fields.size() >= 9;
}

// What the file holds for the customer, read past the server, as Books::Text() shows it.
std::string Read(const std::string& db, const std::string& phone) {
    sqlite3* raw = nullptr;
    std::string text = "0 0 0 0:";
    sqlite3_open(db.c_str(), &raw);
    const std::string phoneIs = "phone = '" + phone + "'"; // digits only
    sqlite3_exec(raw,
                 ("SELECT visits || ' ' || sales || ' ' || given || ' ' || used || ':' || coalesce((SELECT group_concat("
                  "amount, ' ') FROM (SELECT amount FROM payments WHERE cancelled = 0 AND " + phoneIs +
                  " ORDER BY id)), '') FROM accounts WHERE " + phoneIs).c_str(),
                 [](void* out, int, char** values, char**) { return *static_cast<std::string*>(out) = values[0], 0; },
                 &text, nullptr);
    sqlite3_close(raw);
    return text;
}

TEST(Crash, NothingAnsweredIsLostOrBookedTwiceAcrossKills) {
    const TempDir dir;
    const std::string db = dir / "books.db";
    // The demo customers as seeded: 김민준 3 visits, 45000 sales, 2250 given; 박지호 1, 12000, 600.
    std::vector<Till> tills = {{"01012345678", "", {3, 45000, 2250, 0, {}}, {}}, {"01023456789", "", {}, {}},
                               {"01034567890", "", {1, 12000, 600, 0, {}}, {}}, {"01045678901", "", {}, {}}};
    std::mt19937 random(std::random_device{}());
    const int kKills = 6;
    for (int kill = 0; kill < kKills; ++kill) {
        auto server = std::make_unique<ServerProcess>(
            std::vector<std::string>{"--port", "0", "--db", db, "--seed", "demo", "--simulate"});
        const int port = PortFromReadyLine(server->ReadUntil("\n"));
        ASSERT_GT(port, 0) << server->Out();
        // Its log lines read as they come: a full pipe would hold every request up.
        std::thread drain([&server] { server->ReadUntil("never printed"); });
        for (Till& till : tills) // once: the tills stay registered in the file across restarts
            if (till.device.empty())
                till.device = Fields(SimClient(port).Get("/android/poslogin.php?id=demo&password=demo").body).at(1);
        std::vector<std::thread> threads;
        for (Till& till : tills)
            threads.emplace_back([&, t = &till, seed = random()] {
                std::mt19937 mine(static_cast<std::uint32_t>(seed));
                while (Operate(port, *t, mine)) {
                }
            });
        std::this_thread::sleep_for(std::chrono::milliseconds(200 + random() % 1300));
        server->Signal(SIGKILL);
        drain.join();
        server.reset();
        for (auto& thread : threads)
            thread.join();
        for (Till& till : tills) {
            const std::string found = Read(db, till.phone);
            if (till.ifBooked && found == till.ifBooked->Text())
                till.booked = *till.ifBooked;
            EXPECT_EQ(found, till.booked.Text()) << till.phone << " after kill " << kill;
            till.ifBooked.reset();
        }
    }
    std::printf("crash test: %d kills, %ld operations booked, %ld refused\n", kKills, g_done.load(), g_refused.load());
}

} // namespace
