// The result list with a million rows: append (in the batches the search
// delivers), sort by Size, select all and clear, through the real window;
// against a plain std::vector of the same data doing the same work.
#include "bench_common.h"
#include "main_window.h"

#include <QApplication>
#include <QCheckBox>
#include <QTableView>
#include <algorithm>
#include <cstdio>
#include <random>
#include <vector>

namespace {

constexpr int kRows = 1'000'000;
constexpr int kBatch = 2'000;

std::string pathOf(int i)
{
    char buf[96];
    std::snprintf(buf, sizeof buf, "/srv/archive/scans/box%04d/document_%07d.pdf", i / 1000, i);
    return buf;
}

double ms(QElapsedTimer& t) { return t.nsecsElapsed() / 1e6; }

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    QApplication app(argc, argv);
    std::mt19937 rng(42);
    std::uniform_int_distribution<int> kbDist(0, 500000);
    std::uniform_int_distribution<int> pageDist(-1, 900);
    std::vector<int> kbs(kRows), pages(kRows);
    for (int i = 0; i < kRows; ++i) {
        kbs[i] = kbDist(rng);
        pages[i] = pageDist(rng);
    }

    // Baseline: the same rows in a std::vector of plain structs.
    struct Plain {
        std::string path;
        std::string name;
        long long kb;
        int pages;
    };
    QElapsedTimer t;
    t.start();
    std::vector<Plain> plain;
    for (int i = 0; i < kRows; ++i) {
        std::string p = pathOf(i);
        plain.push_back({p, p.substr(p.rfind('/') + 1), kbs[i], pages[i]});
    }
    const double baseAppend = ms(t);
    t.restart();
    std::stable_sort(plain.begin(), plain.end(), [](const Plain& a, const Plain& b) { return a.kb < b.kb; });
    const double baseSort = ms(t);
    t.restart();
    std::vector<char> baseSelected(plain.size(), 1);
    const double baseSelect = ms(t);
    t.restart();
    std::vector<Plain>().swap(plain);
    std::vector<char>().swap(baseSelected);
    const double baseClear = ms(t);

    benchapp::SilentBoxes boxes;
    benchapp::NoShell shell;
    quillon::SystemRegistry registry;
    benchapp::NoStarter starter;
    quillon::FrmMain w({&boxes, &shell, &registry, &starter, {}});
    w.show();
    QCoreApplication::processEvents();

    const long long rssBefore = benchapp::rssBytes();
    t.restart();
    for (int start = 0; start < kRows; start += kBatch) {
        std::vector<search::ResultRow> batch;
        batch.reserve(kBatch);
        for (int i = start; i < std::min(kRows, start + kBatch); ++i) {
            search::ResultRow r;
            r.path = r.key = pathOf(i);
            r.name = r.path.substr(r.path.rfind('/') + 1);
            r.sizeBytes = static_cast<std::uint64_t>(kbs[i]) * 1024;
            r.pages = pages[i];
            r.hasPageCount = true;
            r.icon = 2;
            r.kind = search::FileKind::Pdf;
            batch.push_back(std::move(r));
        }
        w.AppendRows(std::move(batch));
    }
    QCoreApplication::processEvents();
    const double append = ms(t);
    const long long rssAfter = benchapp::rssBytes();

    t.restart();
    w.lvwSearchResult_ColumnClick(3);
    QCoreApplication::processEvents();
    const double sort = ms(t);
    bool sorted = true;
    for (int r = 1; r < w.model()->rowCount() && sorted; ++r)
        sorted = w.model()->kb(r - 1) <= w.model()->kb(r);

    t.restart();
    w.findChild<QCheckBox*>(QStringLiteral("chkSelectall"))->setChecked(true);
    QCoreApplication::processEvents();
    const double select = ms(t);
    const bool allSelected = w.RowSelected(1) && w.RowSelected(kRows);

    const std::size_t modelBytes = w.model()->bytesUsed();
    const std::size_t pathBytes = w.model()->pathTextBytes();

    t.restart();
    w.ClearRows();
    QCoreApplication::processEvents();
    const double clear = ms(t);

    const double perRowModel = double(modelBytes - pathBytes) / kRows;
    const double perRowRss = double(rssAfter - rssBefore - static_cast<long long>(pathBytes)) / kRows;
    std::printf("bench_resultlist: %d rows (batches of %d), ascending by Size %s, all selected %s\n", kRows, kBatch,
                sorted ? "yes" : "NO", allSelected ? "yes" : "NO");
    std::printf("%-22s %10s %12s %8s\n", "step", "list ms", "vector ms", "ratio");
    auto line = [](const char* step, double a, double b) {
        std::printf("%-22s %10.1f %12.1f %8.2f\n", step, a, b, b > 0 ? a / b : 0.0);
    };
    line("append", append, baseAppend);
    line("sort by Size", sort, baseSort);
    line("select all", select, baseSelect);
    line("clear", clear, baseClear);
    std::printf("memory per row beyond path text: %.1f bytes (list records), %.1f bytes (process RSS growth)\n",
                perRowModel, perRowRss);
    std::printf("baseline vector of std::string rows: %zu bytes of records per row before text\n", sizeof(Plain));
    return (sorted && allSelected) ? 0 : 1;
}
