// The main window as a desktop program: what it remembers between runs (and
// how it shrugs off a settings file that makes no sense), folders dropped on
// it, its command line, and where it finds its help page once installed.
#include "command_line.h"
#include "fixtures.h"
#include "window_fixture.h"
#include "install_paths.h"
#include "main_window.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QDropEvent>
#include <QGuiApplication>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QScreen>
#include <QSettings>
#include <QTableView>
#include <QTemporaryDir>
#include <QtTest>

using namespace quillon;

namespace {

// A window over its own settings file, closed (and so saved) on request.
struct Window : testing_app::FakeServices {
    QSettings settings;
    FrmMain w;

    explicit Window(const QString& file) : settings(file, QSettings::IniFormat), w(services({}, &settings)) {}
    template <class T> T* get(const char* name) const { return w.findChild<T*>(QString::fromLatin1(name)); }
    QString path() const { return get<QLineEdit>("txtSearchPath")->text(); }
    bool checked(const char* name) const { return get<QCheckBox>(name)->isChecked(); }
    int dateField() const { return get<QComboBox>("cboDateFields")->currentIndex(); }
};

// The drop of `urls` on `target`, as the window system delivers it.
bool drop(QWidget* target, const QList<QUrl>& urls)
{
    QMimeData mime;
    mime.setUrls(urls);
    const QPoint at = target->rect().center();
    QDragEnterEvent enter(at, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &enter);
    if (!enter.isAccepted())
        return false;
    QDropEvent dropped(QPointF(at), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &dropped);
    return dropped.isAccepted();
}

} // namespace

class DesktopTest : public QObject {
    Q_OBJECT
private slots:
    void firstStartKeepsTheDesignedDefaults()
    {
        QTemporaryDir tmp;
        Window fresh(tmp.filePath("Quillon.conf"));
        testing_app::FakeServices fakes;
        FrmMain plain(fakes.services());
        QCOMPARE(fresh.path(), plain.findChild<QLineEdit*>("txtSearchPath")->text());
        QVERIFY(!fresh.checked("chkSearchOption0") && !fresh.checked("chkSearchOption1"));
        QCOMPARE(fresh.checked("chkRecursive"), plain.findChild<QCheckBox*>("chkRecursive")->isChecked());
        QCOMPARE(fresh.dateField(), 0);
        QCOMPARE(fresh.w.size(), plain.size());
        QCOMPARE(fresh.w.leftPaneWidth(), plain.leftPaneWidth());
        QCOMPARE(fresh.w.list()->columnWidth(1), plain.list()->columnWidth(1));
    }

    void searchAndWindowAreRememberedBetweenRuns()
    {
        QTemporaryDir tmp;
        QDir(tmp.path()).mkpath("Documents/Scans");
        testing_app::writePdf(tmp.filePath("Documents/Scans/a.pdf"), 2);
        const QString folder = QDir::toNativeSeparators(tmp.filePath("Documents"));
        const QString conf = tmp.filePath("Quillon.conf");
        QSize size;
        {
            Window first(conf);
            first.w.show();
            first.get<QLineEdit>("txtSearchPath")->setText(folder);
            first.get<QCheckBox>("chkSearchOption1")->setChecked(true);
            first.get<QCheckBox>("chkRecursive")->setChecked(true);
            first.get<QComboBox>("cboDateFields")->setCurrentIndex(2);
            first.get<QDateEdit>("dtpFrom")->setDate(QDate(2001, 2, 3));
            first.get<QDateEdit>("dtpTo")->setDate(QDate::currentDate().addDays(31));
            QSignalSpy done(&first.w, &FrmMain::searchFinished);
            first.get<QPushButton>("cmdControl0")->click();
            QVERIFY(done.count() > 0 || done.wait(30000));
            // After the search: changes that were not searched are not the "last search".
            first.get<QCheckBox>("chkSearchOption0")->setChecked(true);
            first.w.resize(first.w.width() + 120, first.w.height() + 60);
            first.w.list()->setColumnWidth(1, 333);
            size = first.w.size();
            first.w.close();
        }
        Window second(conf);
        QCOMPARE(second.path(), folder);
        QVERIFY(!second.checked("chkSearchOption0"));
        QVERIFY(second.checked("chkSearchOption1"));
        QVERIFY(second.checked("chkRecursive"));
        QCOMPARE(second.dateField(), 2);
        // The field comes back with its two dates, never with today's.
        QCOMPARE(second.get<QDateEdit>("dtpFrom")->date(), QDate(2001, 2, 3));
        QCOMPARE(second.get<QDateEdit>("dtpTo")->date(), QDate::currentDate().addDays(31));
        QVERIFY(second.get<QWidget>("dtpFrom")->isEnabled()); // the pickers follow the field
        QVERIFY(second.get<QWidget>("cmdControl0")->isEnabled()); // a kind is checked
        QCOMPARE(second.w.size(), size);
        QCOMPARE(second.w.list()->columnWidth(1), 333);
    }

    void nonsenseSettingsFallBackToDefaults()
    {
        QTemporaryDir tmp;
        Window plain(tmp.filePath("empty.conf"));
        const QString conf = tmp.filePath("Quillon.conf");
        {
            QSettings s(conf, QSettings::IniFormat);
            s.setValue("search/folder", tmp.filePath("gone-since"));
            s.setValue("search/tif", "perhaps");
            s.setValue("search/pdf", 7);
            s.setValue("search/subfolders", "");
            s.setValue("search/dateField", 9);
            s.setValue("window/geometry", QByteArray("not a geometry"));
            s.setValue("window/leftPaneTwips", -40);
            s.setValue("list/columnWidths", "-5,abc,999999999,0");
        }
        Window w(conf);
        QCOMPARE(w.path(), plain.path());
        QVERIFY(!w.checked("chkSearchOption0") && !w.checked("chkSearchOption1"));
        QCOMPARE(w.checked("chkRecursive"), plain.checked("chkRecursive"));
        QCOMPARE(w.dateField(), 0);
        QCOMPARE(w.w.size(), plain.w.size());
        QCOMPARE(w.w.leftPaneWidth(), plain.w.leftPaneWidth());
        for (int c = 0; c < 4; ++c)
            QCOMPARE(w.w.list()->columnWidth(c), plain.w.list()->columnWidth(c));

        // A file that is no settings file at all, and one that cannot be read.
        testing_app::writeBytes(tmp.filePath("binary.conf"), QByteArray("\x00\xff[\x01=\n\xfe", 7));
        Window garbage(tmp.filePath("binary.conf"));
        QCOMPARE(garbage.path(), plain.path());
        QDir(tmp.path()).mkpath("folder.conf");
        Window unreadable(tmp.filePath("folder.conf"));
        QCOMPARE(unreadable.path(), plain.path());
        unreadable.w.close(); // saving where nothing can be written is no failure either
    }

    // A date field remembered without its two dates (or with nonsense for
    // them) is not restored: today's window would filter in silence.
    void aDateFieldComesBackWithItsDatesOrNotAtAll()
    {
        QTemporaryDir tmp;
        const QString conf = tmp.filePath("Quillon.conf");
        for (const QStringList& dates : {QStringList{}, QStringList{"2020-01-01", "never"},
                                         QStringList{"", "2020-01-01"}}) {
            {
                QSettings s(conf, QSettings::IniFormat);
                s.clear();
                s.setValue("search/dateField", 2);
                if (!dates.isEmpty()) {
                    s.setValue("search/dateFrom", dates[0]);
                    s.setValue("search/dateTo", dates[1]);
                }
            }
            Window w(conf);
            QCOMPARE(w.dateField(), 0);
            QVERIFY(!w.get<QWidget>("dtpFrom")->isEnabled());
        }
    }

    void aGeometryOffEveryScreenIsNotRestored()
    {
        QTemporaryDir tmp;
        const QString conf = tmp.filePath("Quillon.conf");
        {
            Window first(conf);
            first.w.show();
            first.w.move(60000, 60000);
            first.w.close();
        }
        Window second(conf);
        second.w.show();
        bool visible = false;
        for (const QScreen* s : QGuiApplication::screens())
            visible = visible || s->availableGeometry().intersects(second.w.frameGeometry());
        QVERIFY(visible);
    }

    void droppedFolderOrFileBecomesTheSearchPath()
    {
        QTemporaryDir tmp;
        QDir(tmp.path()).mkpath("Contracts");
        testing_app::writePdf(tmp.filePath("Contracts/lease.pdf"), 1);
        Window h(tmp.filePath("Quillon.conf"));
        h.w.show();
        auto* box = h.get<QLineEdit>("txtSearchPath");
        const QString contracts = QDir::toNativeSeparators(tmp.filePath("Contracts"));

        QVERIFY(drop(box, {QUrl::fromLocalFile(tmp.filePath("Contracts"))}));
        QCOMPARE(box->text(), contracts); // replaced, not inserted into the text
        box->setText(QStringLiteral("/"));
        QVERIFY(drop(h.w.list()->viewport(), {QUrl::fromLocalFile(tmp.filePath("Contracts/lease.pdf"))}));
        QCOMPARE(box->text(), contracts);
        // A web address is no folder: refused, the path stays.
        box->setText(QStringLiteral("/"));
        QVERIFY(!drop(&h.w, {QUrl(QStringLiteral("https://example.org/a.pdf"))}));
        QCOMPARE(box->text(), QStringLiteral("/"));
    }

    void commandLine()
    {
        const CommandLine none = parseCommandLine({});
        QVERIFY(!none.help && !none.version && !none.path && none.error.isEmpty());
        QVERIFY(parseCommandLine({"--help"}).help);
        QVERIFY(parseCommandLine({"-v"}).version);
        QCOMPARE(*parseCommandLine({"/srv/scans"}).path, QStringLiteral("/srv/scans"));
        QCOMPARE(*parseCommandLine({"--", "-odd name"}).path, QStringLiteral("-odd name"));
        QVERIFY(!parseCommandLine({"--frobnicate"}).error.isEmpty());
        QVERIFY(!parseCommandLine({"a", "b"}).error.isEmpty());

        QTemporaryDir tmp;
        QDir(tmp.path()).mkpath("Scans");
        testing_app::writeTiff(tmp.filePath("Scans/a.tif"), 1);
        const QString scans = QDir::toNativeSeparators(tmp.filePath("Scans"));
        QCOMPARE(searchFolderFor("Scans", tmp.path()), scans);
        QCOMPARE(searchFolderFor(tmp.filePath("Scans/a.tif"), "/"), scans);
        QCOMPARE(searchFolderFor("Scans/../Scans/", tmp.path()), scans);
        QCOMPARE(searchFolderFor("missing", tmp.path()), QDir::toNativeSeparators(tmp.filePath("missing")));
    }

    void helpPageBesideTheProgramOrInstalled()
    {
        QTemporaryDir tmp;
        QDir(tmp.path()).mkpath("usr/bin");
        QDir(tmp.path()).mkpath("usr/share/quillon");
        const QString bin = tmp.filePath("usr/bin");
        QCOMPARE(helpPagePath(bin), bin + "/help.htm"); // neither: the shell reports it
        testing_app::writeBytes(tmp.filePath("usr/share/quillon/help.htm"), "<html></html>");
        QCOMPARE(helpPagePath(bin), tmp.filePath("usr/share/quillon/help.htm"));
        testing_app::writeBytes(bin + "/help.htm", "<html></html>");
        QCOMPARE(helpPagePath(bin), bin + "/help.htm");
    }
};

QTEST_MAIN(DesktopTest)
#include "desktop_test.moc"
