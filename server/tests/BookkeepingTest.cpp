// The books' rules, followed through a customer's history: a give earns floor(amount x rate / 100),
// a pay spends the amount from the mileage balance, a cancel restores the customer's last pay.
#include "ServerFixture.h"

namespace {

using BookkeepingTest = ServerFixture;

// 이서연 starts with no history at the demo shop.
constexpr const char* kFresh = "010-2345-6789";

struct Step {
    int process;
    const char* price;
    const char* rate;
    const char* customer;
    // The result record once confirmed, or "" when the confirmation is refused.
    const char* result;
};

void RunSteps(BookkeepingTest& test, const std::string& device, const std::vector<Step>& steps) {
    int n = 0;
    for (const auto& step : steps) {
        SCOPED_TRACE("step " + std::to_string(n++));
        test.Get("/android/deleteposdata.php?deviceid=" + device);
        const auto opened = Fields(test.Get("/android/pcposmilege.php?deviceid=" + device +
                                            "&process=" + std::to_string(step.process) +
                                            "&price=" + step.price + "&milege=" + step.rate));
        ASSERT_EQ(opened.at(0), "1");
        const std::string confirmed =
            test.Post(std::string("/sim/confirm?deviceid=") + device + "&customer=" + step.customer);
        const std::string result = test.Get("/android/pcposgetmilegeret.php?deviceid=" + device);
        if (*step.result == '\0') {
            EXPECT_EQ(Fields(confirmed).at(0), "0");
            EXPECT_EQ(result, "1</>0"); // still waiting for a customer who can
        } else {
            EXPECT_EQ(confirmed, "1");
            EXPECT_EQ(result, step.result);
        }
    }
}

TEST_F(BookkeepingTest, AFreshCustomersHistory) {
    // give:   11, name, visits, sales, mileage given, total sales, total given, total used
    // pay:    12, name, visits, paid, mileage used, coins used, sales, total given, total sales, total used
    // cancel: 13, the same nine lines as pay
    RunSteps(*this, Login(),
             {
                 {1, "15000", "5", kFresh, "1</>11</>이서연</>1</>15000</>750</>15000</>750</>0"},
                 {1, "999", "5", kFresh, "1</>11</>이서연</>2</>999</>49</>15999</>799</>0"},
                 {1, "1000", "2.5", "01023456789", "1</>11</>이서연</>3</>1000</>25</>16999</>824</>0"},
                 {1, "1", "0", kFresh, "1</>11</>이서연</>4</>1</>0</>17000</>824</>0"},
                 {2, "800", "5", kFresh, "1</>12</>이서연</>5</>800</>800</>0</>800</>824</>17800</>800"},
                 {2, "24", "5", kFresh, "1</>12</>이서연</>6</>24</>24</>0</>24</>824</>17824</>824"},
                 // The balance is used up: a pay above it is refused.
                 {2, "1", "5", kFresh, ""},
                 // A cancel must name the amount of the last pay (24), and restores it.
                 {3, "800", "5", kFresh, ""},
                 {3, "24", "5", kFresh, "1</>13</>이서연</>6</>24</>24</>0</>24</>824</>17800</>800"},
                 // Then the pay before it is the last one.
                 {3, "800", "5", kFresh, "1</>13</>이서연</>6</>800</>800</>0</>800</>824</>17000</>0"},
                 {3, "800", "5", kFresh, ""},
                 {2, "824", "5", "010%202345%206789",
                  "1</>12</>이서연</>7</>824</>824</>0</>824</>824</>17824</>824"},
             });
}

TEST_F(BookkeepingTest, TheDemoCustomerConfirmsByDefaultAndHasABalance) {
    // Seeded: 3 visits, 45000 sales, 2250 given, nothing used.
    RunSteps(*this, Login(),
             {
                 {2, "2250", "5", "", "1</>12</>김민준</>4</>2250</>2250</>0</>2250</>2250</>47250</>2250"},
                 {2, "1", "5", "", ""},
                 {1, "20000", "5", "", "1</>11</>김민준</>5</>20000</>1000</>67250</>3250</>2250"},
             });
}

TEST_F(BookkeepingTest, CustomersAreKeptApart) {
    const std::string device = Login();
    RunSteps(*this, device,
             {
                 {1, "10000", "5", kFresh, "1</>11</>이서연</>1</>10000</>500</>10000</>500</>0"},
                 // 최유나 has no mileage to pay with, and no pay to cancel.
                 {2, "100", "5", "010-4567-8901", ""},
                 {3, "100", "5", "010-4567-8901", ""},
                 {1, "3000", "5", "010-4567-8901", "1</>11</>최유나</>1</>3000</>150</>3000</>150</>0"},
             });
}

TEST_F(BookkeepingTest, ConfirmationRefusals) {
    const std::string device = Login();
    EXPECT_EQ(Fields(Confirm(device)).at(0), "0"); // nothing pending
    EXPECT_EQ(Open(device, 1, "1000"), "1</>1500");
    for (const char* customer : {"010-0000-0000", "nobody", "%20"}) {
        EXPECT_EQ(Fields(Confirm(device, customer)).at(0), "0") << customer;
    }
    EXPECT_EQ(Result(device), "1</>0");
    EXPECT_EQ(Confirm(device, "010-1234-5678"), "1");
    EXPECT_EQ(Fields(Confirm(device)).at(0), "0"); // already confirmed
}

TEST_F(BookkeepingTest, TillsOfOneShopShareTheCustomersAccount) {
    const std::string first = Login();
    const std::string second = Login();
    EXPECT_EQ(Open(first, 1, "10000"), "1</>1500");
    EXPECT_EQ(Confirm(first, kFresh), "1");
    EXPECT_EQ(Open(second, 2, "500"), "1");
    EXPECT_EQ(Confirm(second, kFresh), "1");
    EXPECT_EQ(Result(second), "1</>12</>이서연</>2</>500</>500</>0</>500</>500</>10500</>500");
}

} // namespace
