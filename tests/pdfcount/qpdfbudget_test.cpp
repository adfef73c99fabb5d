// The memory budget of the counts that go to libqpdf: large files one at a
// time, whatever the number of jobs.
#include "pdfbuilder.h"
#include "routes/qpdfbudget.h"
#include "routes/structural.h"
#include "testsupport.h"

#include <atomic>
#include <chrono>
#include <future>
#include <thread>
#include <vector>

namespace brastel::test {
namespace {

TEST(QpdfBudget, LargeFilesGoToLibqpdfOneAtATime) {
    TempDir dir;
    DocOptions d;
    d.pages = 60000;
    const std::string bytes = StandardDocument(d).str();
    ASSERT_GT(static_cast<std::int64_t>(bytes.size()), QpdfBudget::kFreeBytes);
    const std::string path = dir.Write("large.pdf", bytes);
    std::atomic<int> right{0};
    std::vector<std::thread> jobs;
    for (int i = 0; i < 4; ++i)
        jobs.emplace_back([&] {
            if (CountStructural(path) == 60000) ++right;
        });
    for (auto& j : jobs) j.join();
    EXPECT_EQ(right.load(), 4);
    EXPECT_EQ(QpdfBudget::PeakLarge(), 1u);
}

TEST(QpdfBudget, SmallFilesWaitForNone) {
    // A large count holds the budget; a small one still runs at once.
    TempDir dir;
    const std::string path = dir.Write("small.pdf", StandardDocument({}).str());
    std::future<std::optional<std::int32_t>> small;
    {
        const QpdfBudget large(QpdfBudget::kFreeBytes + 1);
        small = std::async(std::launch::async, [&] { return CountStructural(path); });
        EXPECT_EQ(small.wait_for(std::chrono::seconds(30)), std::future_status::ready);
    }  // the large one leaves: a small count that waited for it ends now
    EXPECT_EQ(small.get(), 3);
}

}  // namespace
}  // namespace brastel::test
