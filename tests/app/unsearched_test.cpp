// Nothing skipped in silence, as the window shows it: a tree with a folder
// and files that cannot be read, files that are no PDF or need a password,
// and a path past the system's limit, searched as an ordinary user.  Every
// file is counted, shows Error with its reason as the cell's tooltip, or is
// named in the message after the search.
#include "window_fixture.h"

#include <export/export_table.h>

// The engine's test fixtures: deep trees, an ordinary user, a file system
// without creation times.
#include "../search/fixtures.h"

#include <QComboBox>
#include <QDateEdit>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>

#include <cerrno>
#include <cstring>

using namespace quillon;

namespace {

struct Window : testing_app::FakeServices {
    // The counters from copies an ordinary user may read: the search runs as
    // one, and the build folder may be closed to it.
    fixtures::OpenCopies counters{QUILLON_BIN_DIR, {"libBrastel.so", "libTiffPageCounter.so"}};
    FrmMain w{services(search::SessionOptions{counters.path()})};

    template <class T> T* get(const char* name) const { return testing_app::control<T>(w, name); }
    bool search(const QString& folder) { return testing_app::searchThroughButtons(w, folder, true, true); }
    // Row name -> its Page Count tooltip.
    QMap<QString, QString> tooltips() const
    {
        QMap<QString, QString> out;
        for (int r = 0; r < w.model()->rowCount(); ++r)
            out[w.model()->name(r)] = w.model()->data(w.model()->index(r, 3), Qt::ToolTipRole).toString();
        return out;
    }
};

QString systemText(int e) { return QString::fromLocal8Bit(std::strerror(e)); }

} // namespace

class UnsearchedTest : public QObject {
    Q_OBJECT
private slots:
    void everyFileIsCountedOrReportedWithItsReason()
    {
        fixtures::TempDir tmp; // removes trees deeper than the path limit too
        const QString root = QString::fromStdString(tmp.path());
        ::chmod(root.toLocal8Bit().constData(), 0755);
        auto at = [&](const char* name) { return root + QLatin1Char('/') + QLatin1String(name); };
        testing_app::writeTiff(at("ok.tif"), 2);
        fixtures::WriteTiff(at("cut.tif").toStdString(), 3); // counted; damaged after its pages
        fixtures::SetLastNextOffset(at("cut.tif").toStdString(), 0x7FFFFFF0u);
        testing_app::writePdf(at("ok.pdf"), 3);
        QDir(root).mkpath(QStringLiteral("closed"));
        testing_app::writePdf(at("closed/lost.pdf"), 5);
        testing_app::writePdf(at("secret.pdf"), 1);
        testing_app::writeBytes(at("empty.pdf"), {});
        testing_app::writeBytes(at("letter.pdf"), QByteArray(3000, 'x'));
        testing_app::writeBytes(at("damaged.pdf"), "%PDF-1.4\n" + QByteArray(3000, 'y'));
        testing_app::writePdf(at("plain.pdf.src"), 2);
        const int made = QProcess::execute(QStringLiteral("qpdf"),
                                           {"--object-streams=generate", "--encrypt", "user", "owner", "256",
                                            "--", at("plain.pdf.src"), at("locked.pdf")});
        if (made != 0)
            QSKIP("qpdf cannot make a password-protected PDF here");
        const fixtures::DeepFolder deep(root.toStdString(), 24, 200);
        {
            testing_app::writePdf(at("deep.src"), 4);
            QFile src(at("deep.src"));
            QVERIFY(src.open(QIODevice::ReadOnly));
            deep.Write("deep.pdf", src.readAll().toStdString());
        }
        ::chmod(at("closed").toLocal8Bit().constData(), 0);
        ::chmod(at("secret.pdf").toLocal8Bit().constData(), 0);

        Window win;
        win.w.show();
        {
            fixtures::Unprivileged user;
            if (!user.ok())
                QSKIP(user.why().c_str());
            QVERIFY(win.search(root));
        }

        // The completion message, then what could not be searched and why.
        QCOMPARE(win.boxes.texts.size(), 2);
        QCOMPARE(win.boxes.texts[0], QStringLiteral("Search Completed Successfully."));
        QCOMPARE(win.boxes.icons[1], MessageIcon::Warning);
        QCOMPARE(win.boxes.texts[1],
                 QStringLiteral("1 folder could not be searched; what they hold is not in the list or the totals:\n")
                     + at("closed/") + QStringLiteral(": ") + systemText(EACCES));

        // Every other file has a row: counted, or Error with the reason as
        // the cell's tooltip (the cell and the export say "Error"); a count
        // that may leave pages out has the note as its tooltip.
        const QMap<QString, QString> expected{
            {"ok.tif", "2"},
            {"cut.tif", "Damaged after page 3"},
            {"ok.pdf", "3"},
            {"deep.pdf", "4"},
            {"secret.pdf", "Cannot open the file: " + systemText(EACCES)},
            {"empty.pdf", "The file is empty"},
            {"letter.pdf", "Not a PDF file"},
            {"damaged.pdf", "Damaged beyond reading"},
            {"locked.pdf", "Needs a password"},
        };
        QCOMPARE(win.tooltips(), expected);
        const exporting::ExportTable table = exporting::BuildFullExportTable(win.w);
        int errors = 0;
        for (std::size_t r = 1; r < table.Rows(); ++r)
            errors += table.Cell(3, r) == "Error";
        QCOMPARE(errors, 5);
        QCOMPARE(win.get<QLabel>("lblTotalFiles")->text(), QStringLiteral("Total Files : 9"));
        QCOMPARE(win.get<QLabel>("lblTotalPages")->text(), QStringLiteral("Total Pages TIFs = 5 PDFs = 7"));
    }

    void filesWithoutACreationDateAreTold()
    {
        fixtures::NoBirthTimeMount mount;
        if (!mount.ok())
            QSKIP(mount.why().c_str());
        const QString root = QString::fromStdString(mount.path());
        testing_app::writeTiff(root + "/a.tif", 1);
        testing_app::writePdf(root + "/b.pdf", 2);
        Window win;
        win.w.show();
        win.get<QComboBox>("cboDateFields")->setCurrentIndex(2); // Created
        win.get<QDateEdit>("dtpFrom")->setDate(QDate(1980, 1, 1));
        win.get<QDateEdit>("dtpTo")->setDate(QDate(2099, 12, 31));
        QVERIFY(win.search(root));
        QCOMPARE(win.w.model()->rowCount(), 0);
        QCOMPARE(win.boxes.texts.size(), 2);
        QCOMPARE(win.boxes.texts[1],
                 QStringLiteral("2 files had no creation date to compare (the file system does not record it); "
                                "they are not in the list."));
    }
    // A date window that leaves out files of the chosen kinds says how many,
    // after the completion message, as the unsearched folders are told;
    // files of other kinds are no concern of the totals and go unmentioned.
    void filesTheDateWindowLeavesOutAreCounted()
    {
        QTemporaryDir tmp;
        const QString root = tmp.path();
        testing_app::writePdf(root + "/new.pdf", 1);
        testing_app::writePdf(root + "/old.pdf", 2);
        testing_app::writePdf(root + "/older.pdf", 3);
        testing_app::writeTiff(root + "/old.tif", 1); // not a chosen kind
        const QDateTime longAgo(QDate(2001, 5, 6), QTime(12, 0));
        for (const char* name : {"/old.pdf", "/older.pdf", "/old.tif"}) {
            QFile f(root + QLatin1String(name));
            QVERIFY(f.open(QIODevice::ReadWrite));
            QVERIFY(f.setFileTime(longAgo, QFileDevice::FileModificationTime));
        }
        Window win;
        win.w.show();
        win.get<QComboBox>("cboDateFields")->setCurrentIndex(1); // Modified
        win.get<QDateEdit>("dtpFrom")->setDate(QDate::currentDate().addDays(-1));
        win.get<QDateEdit>("dtpTo")->setDate(QDate::currentDate().addDays(1));
        QVERIFY(testing_app::searchThroughButtons(win.w, root, false, true));
        QCOMPARE(win.w.model()->rowCount(), 1);
        QCOMPARE(win.boxes.texts.size(), 2);
        QCOMPARE(win.boxes.texts[0], QStringLiteral("Search Completed Successfully."));
        QCOMPARE(win.boxes.texts[1], QStringLiteral("2 files of the chosen kinds have a modification date outside "
                                                    "the date window; they are not in the list or the totals."));

        // A window that keeps them all says nothing more.
        win.boxes.texts.clear();
        win.get<QDateEdit>("dtpFrom")->setDate(QDate(2000, 1, 1));
        QVERIFY(testing_app::searchThroughButtons(win.w, root, false, true));
        QCOMPARE(win.boxes.texts, QStringList{QStringLiteral("Search Completed Successfully.")});
    }
};

QTEST_MAIN(UnsearchedTest)
#include "unsearched_test.moc"
