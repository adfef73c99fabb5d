// How responsive the window stays while a search of 100,000 files runs: a
// 1 ms timer on the window's thread records the longest gap between two of
// its ticks during the search, against the same timer on the idle window.
#include "bench_common.h"
#include "main_window.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>
#include <functional>
#include <tuple>
#include <vector>

namespace {

constexpr int kFolders = 100;
constexpr int kFilesPerFolder = 1000;

// A small PDF whose one page the counter really has to find.
QByteArray onePagePdf()
{
    QByteArray out = "%PDF-1.4\n";
    QList<qint64> offs;
    auto obj = [&](int n, const QByteArray& body) {
        offs << out.size();
        out += QByteArray::number(n) + " 0 obj\n" + body + "\nendobj\n";
    };
    obj(1, "<< /Type /Catalog /Pages 2 0 R >>");
    obj(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
    obj(3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] >>");
    const qint64 xref = out.size();
    out += "xref\n0 4\n0000000000 65535 f \n";
    for (qint64 o : offs)
        out += QByteArray::number(o).rightJustified(10, '0') + " 00000 n \n";
    out += "trailer\n<< /Size 4 /Root 1 0 R >>\nstartxref\n" + QByteArray::number(xref) + "\n%%EOF\n";
    return out;
}

struct GapMeter {
    QElapsedTimer clock;
    qint64 last = 0;
    qint64 longest = 0;
    qint64 ticks = 0;
    void start()
    {
        clock.start();
        last = 0;
        longest = 0;
        ticks = 0;
        long_gaps.clear();
    }
    std::function<int()> phase;
    std::vector<std::tuple<qint64, qint64, int>> long_gaps;
    void tick()
    {
        const qint64 now = clock.nsecsElapsed();
        if (now - last > 50'000'000 && long_gaps.size() < 20)
            long_gaps.emplace_back(now, now - last, phase ? phase() : -1);
        longest = std::max(longest, now - last);
        last = now;
        ++ticks;
    }
};

// The window, with the time spent in each batch of rows recorded.
class TimedMain : public quillon::FrmMain {
public:
    using FrmMain::FrmMain;
    void AppendRows(std::vector<search::ResultRow>&& rows) override
    {
        QElapsedTimer t;
        t.start();
        FrmMain::AppendRows(std::move(rows));
        longestAppend = std::max(longestAppend, t.nsecsElapsed());
    }
    qint64 longestAppend = 0;
};

} // namespace

int main(int argc, char** argv)
{
    if (qgetenv("QT_QPA_PLATFORM").isEmpty())
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    // QUILLON_BENCH_TREE names a folder to build the tree in and keep, so
    // repeated runs skip writing 100,000 files; otherwise a temporary one.
    QTemporaryDir tmpDir;
    const QString root = qEnvironmentVariable("QUILLON_BENCH_TREE", tmpDir.path());
    const QByteArray pdf = onePagePdf();
    for (int d = 0; d < kFolders; ++d) {
        const QString dir = root + QStringLiteral("/f%1").arg(d, 3, 10, QLatin1Char('0'));
        if (QFileInfo::exists(dir + QStringLiteral("/doc%1.pdf").arg(kFilesPerFolder - 1, 4, 10, QLatin1Char('0'))))
            continue;
        QDir().mkpath(dir);
        for (int i = 0; i < kFilesPerFolder; ++i) {
            QFile f(dir + QStringLiteral("/doc%1.pdf").arg(i, 4, 10, QLatin1Char('0')));
            if (f.open(QIODevice::WriteOnly))
                f.write(pdf);
        }
    }

    benchapp::SilentBoxes boxes;
    benchapp::NoShell shell;
    quillon::SystemRegistry registry;
    benchapp::NoStarter starter;
    TimedMain w({&boxes, &shell, &registry, &starter, {}});
    w.show();
    w.findChild<QLineEdit*>(QStringLiteral("txtSearchPath"))->setText(root);
    w.findChild<QCheckBox*>(QStringLiteral("chkSearchOption1"))->setChecked(true);
    w.findChild<QCheckBox*>(QStringLiteral("chkRecursive"))->setChecked(true);

    GapMeter meter;
    meter.phase = [&w] { return static_cast<int>(w.session().CurrentPhase()); };
    QTimer ticker;
    ticker.setTimerType(Qt::PreciseTimer);
    ticker.setInterval(1);
    QObject::connect(&ticker, &QTimer::timeout, &ticker, [&] { meter.tick(); });

    // Baseline: the idle window for two seconds.
    meter.start();
    ticker.start();
    QTimer::singleShot(2000, &app, &QCoreApplication::quit);
    app.exec();
    const double idleMs = meter.longest / 1e6;

    // The search.
    QElapsedTimer searchClock;
    bool finished = false;
    QObject::connect(&w, &quillon::FrmMain::searchFinished, &app, [&] {
        finished = true;
        app.quit();
    });
    QTimer::singleShot(0, &w, [&] {
        meter.start();
        searchClock.start();
        w.findChild<QPushButton*>(QStringLiteral("cmdControl0"))->click();
    });
    QTimer::singleShot(600000, &app, &QCoreApplication::quit);
    app.exec();
    const double searchMs = meter.longest / 1e6;
    const double totalS = searchClock.nsecsElapsed() / 1e9;

    std::printf("bench_responsiveness: %d files in %d folders, search %s in %.1f s, %zu rows\n",
                kFolders * kFilesPerFolder, kFolders, finished ? "finished" : "DID NOT FINISH", totalS,
                w.RowCount());
    std::printf("longest gap between window events: search %.1f ms, idle window %.1f ms, ratio %.2f\n",
                searchMs, idleMs, idleMs > 0 ? searchMs / idleMs : 0.0);
    std::printf("timer ticks served during the search: %lld; longest batch of rows added in %.1f ms\n",
                static_cast<long long>(meter.ticks), w.longestAppend / 1e6);
    for (const auto& [at, gap, phase] : meter.long_gaps)
        std::printf("  gap %.1f ms at %.2f s (phase %d)\n", gap / 1e6, at / 1e9, phase);
    return finished && searchMs < 100.0 ? 0 : 1;
}
