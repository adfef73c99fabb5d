// The export through the window and its real dialogs: the save dialog asks
// before a file is replaced, opens where the last export went (else in the
// search folder), and a list whose names the caret text cannot carry is said
// so before any text is written.
#include "window_fixture.h"

#include <export/dlg_choose_export.h>

#include <QApplication>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QFileSystemModel>
#include <QRadioButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <atomic>
#include <vector>
#include <thread>

#include <fcntl.h>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace quillon;

namespace {

// Plays the user's part in the modal dialogs that come up, one step per
// dialog, in order.  A step gets the dialog and says whether it was its own;
// a dialog no step expects is closed and counts against the script.
class Script : public QObject {
public:
    using Step = std::function<bool(QWidget*)>;
    explicit Script(QList<Step> steps) : m_steps(std::move(steps))
    {
        connect(&m_timer, &QTimer::timeout, this, [this] {
            QWidget* modal = QApplication::activeModalWidget();
            if (!modal || !modal->isVisible() || modal == m_last)
                return;
            if (!m_steps.isEmpty() && m_steps.first()(modal)) {
                m_steps.removeFirst();
                m_last = modal;
            } else {
                m_unexpected << QString::fromLatin1(modal->metaObject()->className());
                modal->close();
            }
        });
        m_timer.start(20);
    }
    // Every step played, no dialog unexpected.
    bool ok() const { return m_steps.isEmpty() && m_unexpected.isEmpty(); }

private:
    QList<Step> m_steps;
    QStringList m_unexpected;
    QTimer m_timer;
    QPointer<QWidget> m_last;
};

// Field choice: all rows, as text or as a workbook.
Script::Step chooseFields(bool workbook)
{
    return [workbook](QWidget* w) {
        auto* dlg = qobject_cast<exporting::DlgChooseExport*>(w);
        if (!dlg)
            return false;
        dlg->optExport[1]->click();
        dlg->Option1[workbook ? 1 : 0]->click();
        dlg->cmdOK->click();
        return true;
    };
}

// The save dialog: note where it opened and what it offers, then type `path`
// and press Save (or cancel when `path` is empty).
Script::Step save(const QString& path, QString* openedIn = nullptr, QStringList* filters = nullptr)
{
    return [=](QWidget* w) {
        auto* fd = qobject_cast<QFileDialog*>(w);
        if (!fd)
            return false;
        if (openedIn)
            *openedIn = fd->directory().absolutePath();
        if (filters)
            *filters = fd->nameFilters();
        if (path.isEmpty()) {
            fd->reject();
        } else {
            // As a user does: go to the folder, type the name.
            fd->setDirectory(QFileInfo(path).absolutePath());
            fd->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->setText(QFileInfo(path).fileName());
            // Save, as its button does; it may ask, modally, before it closes.
            QMetaObject::invokeMethod(fd, "accept", Qt::QueuedConnection);
        }
        return true;
    };
}

// The save dialog's own question about replacing a file.
Script::Step answerReplace(QMessageBox::StandardButton answer, QString* asked)
{
    return [=](QWidget* w) {
        auto* box = qobject_cast<QMessageBox*>(w);
        if (!box)
            return false;
        *asked = box->text();
        box->button(answer)->click();
        return true;
    };
}


// Looks at a save dialog as a user does: waits until its folder is listed and
// every row's type and icon are known (bounded), then cancels.
Script::Step lookAndCancel(QString* openedIn, QStringList* types)
{
    return [=](QWidget* w) {
        auto* fd = qobject_cast<QFileDialog*>(w);
        if (!fd)
            return false;
        *openedIn = fd->directory().absolutePath();
        // Every file, as when "*" is typed for the name.
        fd->setNameFilter(QStringLiteral("*"));
        auto* model = fd->findChild<QFileSystemModel*>();
        if (model) {
            const QModelIndex root = model->index(fd->directory().absolutePath());
            QElapsedTimer t;
            t.start();
            while (t.elapsed() < 3000) {
                QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
                if (model->rowCount(root) > 0 && t.elapsed() > 800)
                    break;
            }
            for (int r = 0; r < model->rowCount(root); ++r) {
                const QModelIndex i = model->index(r, 2, root);
                model->data(model->index(r, 0, root), Qt::DecorationRole);
                *types << model->index(r, 0, root).data().toString() + QLatin1Char('=') + i.data().toString();
            }
        }
        fd->reject();
        return true;
    };
}

// Watches a folder for files opened in it, and keeps a FIFO there whose
// reader, should anyone open it, is let go after a while instead of hanging.
class OpenWatch {
public:
    explicit OpenWatch(const QString& folder, const QString& fifo)
        : m_fifo(QFile::encodeName(fifo))
    {
        m_fd = inotify_init1(IN_NONBLOCK);
        inotify_add_watch(m_fd, QFile::encodeName(folder).constData(), IN_OPEN | IN_ACCESS);
        m_thread = std::thread([this] {
            while (!m_stop) {
                // A writer opens without blocking only when a reader waits;
                // it is fed what it waits for, so the test ends.
                const int w = ::open(m_fifo.constData(), O_WRONLY | O_NONBLOCK);
                if (w >= 0) {
                    m_fifoReaders = true;
                    const std::vector<char> feed(65536, 'x');
                    [[maybe_unused]] const ssize_t n = ::write(w, feed.data(), feed.size());
                    ::close(w);
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
            }
        });
    }
    ~OpenWatch()
    {
        m_stop = true;
        m_thread.join();
        ::close(m_fd);
    }
    // Names of the files (not folders) opened or read in the folder so far.
    QStringList filesOpened()
    {
        QStringList names;
        alignas(inotify_event) char buf[8192];
        for (;;) {
            const ssize_t n = ::read(m_fd, buf, sizeof buf);
            if (n <= 0)
                break;
            for (ssize_t at = 0; at < n;) {
                const auto* e = reinterpret_cast<const inotify_event*>(buf + at);
                if (e->len > 0 && !(e->mask & IN_ISDIR))
                    names << QString::fromUtf8(e->name);
                at += static_cast<ssize_t>(sizeof(inotify_event) + e->len);
            }
        }
        if (m_fifoReaders)
            names << QStringLiteral("(a reader of the FIFO)");
        names.removeDuplicates();
        return names;
    }

private:
    int m_fd = -1;
    QByteArray m_fifo;
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_fifoReaders{false};
    std::thread m_thread;
};

struct Window : testing_app::FakeServices {
    QTemporaryDir dir;
    FrmMain w;

    explicit Window(const QStringList& names = {QStringLiteral("a.pdf"), QStringLiteral("b.pdf")},
                    QSettings* settings = nullptr)
        : w(services({}, settings))
    {
        w.show();
        std::vector<search::ResultRow> rows;
        for (const QString& name : names) {
            search::ResultRow r;
            r.name = name.toStdString();
            r.key = r.path = (dir.path() + QLatin1Char('/') + name).toStdString();
            r.sizeBytes = 2048;
            r.pages = 3;
            r.hasPageCount = true;
            r.icon = 2;
            rows.push_back(std::move(r));
        }
        w.AppendRows(std::move(rows));
        testing_app::control<QLineEdit>(w, "txtSearchPath")->setText(dir.path());
    }
    QString file(const QString& name) const { return dir.filePath(name); }
    // Runs the export command with its dialogs played by `steps`.
    bool exportWith(const QList<Script::Step>& steps)
    {
        Script script(steps);
        w.RunExport();
        return script.ok();
    }
};

QByteArray contents(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

class ExportWindowTest : public QObject {
    Q_OBJECT
private slots:
    // The file dialog keeps its last folder and history in the user's
    // settings; these tests keep theirs apart.
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    // An existing file is replaced only after Yes to the save dialog's own
    // question; No leaves it as it was.
    void theSaveDialogAsksBeforeReplacingAFile()
    {
        Window win;
        const QString target = win.file(QStringLiteral("list.txt"));
        testing_app::writeBytes(target, "keep me");

        QString asked;
        QVERIFY(win.exportWith({chooseFields(false), save(target), answerReplace(QMessageBox::No, &asked), save(QString())}));
        QVERIFY2(asked.contains(QStringLiteral("list.txt")) && asked.contains(QStringLiteral("replace")),
                 qPrintable(asked));
        QCOMPARE(contents(target), QByteArray("keep me"));

        QVERIFY(win.exportWith({chooseFields(false), save(target), answerReplace(QMessageBox::Yes, &asked)}));
        QVERIFY(contents(target).startsWith("Name^Path^Size^Page Count^\r\n"));
    }

    // A workbook name typed without its ending gets ".xls"; when that file
    // exists the export asks too, and No goes back to the dialog.
    void aWorkbookNameThatGetsItsEndingIsAskedAboutToo()
    {
        Window win;
        const QString book = win.file(QStringLiteral("book.xls"));
        testing_app::writeBytes(book, "old workbook");
        win.boxes.answers = {MsgAnswer::No};
        QVERIFY(win.exportWith({chooseFields(true), save(win.file(QStringLiteral("book"))), save(QString())}));
        QCOMPARE(win.boxes.texts.first(), QStringLiteral("book.xls already exists.\nDo you want to replace it?"));
        QCOMPARE(win.boxes.icons.front(), MessageIcon::Warning);
        QCOMPARE(contents(book), QByteArray("old workbook"));

        win.boxes.texts.clear();
        win.boxes.answers = {MsgAnswer::Yes};
        QVERIFY(win.exportWith({chooseFields(true), save(win.file(QStringLiteral("book")))}));
        QVERIFY(contents(book).startsWith("\xD0\xCF\x11\xE0"));
    }

    // First in the search folder, then where the last export went.
    void theSaveDialogOpensInTheLastExportFolderElseTheSearchFolder()
    {
        Window win;
        QTemporaryDir elsewhere;
        QString opened;
        QVERIFY(win.exportWith({chooseFields(false), save(elsewhere.filePath(QStringLiteral("one.txt")), &opened)}));
        QCOMPARE(opened, QDir(win.dir.path()).absolutePath());

        QVERIFY(win.exportWith({chooseFields(false), save(QString(), &opened)}));
        QCOMPARE(opened, QDir(elsewhere.path()).absolutePath());
    }

    // A folder where the export failed is not where the next save dialog
    // opens, in this run or the next; nor is a remembered folder of kernel
    // files (/proc), however it came to be remembered.
    void aFolderIsRememberedOnlyAfterAnExportThereSucceeded()
    {
        QTemporaryDir confDir;
        QSettings settings(confDir.filePath(QStringLiteral("q.conf")), QSettings::IniFormat);
        {
            Window win({QStringLiteral("a.pdf")}, &settings);
            QString opened;
            QVERIFY(win.exportWith({chooseFields(false), save(QStringLiteral("/proc/exp.txt"), &opened)}));
            QCOMPARE(opened, QDir(win.dir.path()).absolutePath());
            QCOMPARE(win.boxes.icons.back(), MessageIcon::Critical);
            QVERIFY2(win.boxes.texts.back().contains(QStringLiteral("/proc/exp.txt")), qPrintable(win.boxes.texts.back()));

            QVERIFY(win.exportWith({chooseFields(false), save(QString(), &opened)}));
            QCOMPARE(opened, QDir(win.dir.path()).absolutePath());
        }
        settings.sync();
        QVERIFY2(settings.value(QStringLiteral("export/folder")).toString() != QStringLiteral("/proc"),
                 qPrintable(settings.value(QStringLiteral("export/folder")).toString()));

        // A settings file that names /proc all the same.
        settings.setValue(QStringLiteral("export/folder"), QStringLiteral("/proc"));
        Window next({QStringLiteral("a.pdf")}, &settings);
        QString opened;
        QVERIFY(next.exportWith({chooseFields(false), save(QString(), &opened)}));
        QCOMPARE(opened, QDir(next.dir.path()).absolutePath());

        // A successful export is remembered.
        QTemporaryDir good;
        QVERIFY(next.exportWith({chooseFields(false), save(good.filePath(QStringLiteral("ok.txt")))}));
        QVERIFY(next.exportWith({chooseFields(false), save(QString(), &opened)}));
        QCOMPARE(opened, QDir(good.path()).absolutePath());
    }

    // The save dialog lists a folder of a FIFO and files whose type only
    // their bytes would tell, and never opens one of them to learn it: a
    // FIFO without a writer, a device or a /proc file would block it for good.
    void theSaveDialogNeverReadsTheFilesItLists()
    {
        Window win; // its search folder is where the save dialog opens
        const QTemporaryDir& special = win.dir;
        const QString fifo = special.filePath(QStringLiteral("pipe"));
        QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        testing_app::writePdf(special.filePath(QStringLiteral("no-ending")), 1);
        testing_app::writeBytes(special.filePath(QStringLiteral("kmsg")), "<5>[ 0.0] log line\n");

        OpenWatch watch(special.path(), fifo);
        QString opened;
        QStringList types;
        QElapsedTimer t;
        t.start();
        QVERIFY(win.exportWith({chooseFields(false), lookAndCancel(&opened, &types)}));
        QCOMPARE(opened, QDir(special.path()).absolutePath());
        // The two files are listed (the FIFO is a system entry the dialog
        // leaves out), their types known without a byte read.
        QCOMPARE(types, (QStringList{QStringLiteral("kmsg=File"), QStringLiteral("no-ending=File")}));
        QCOMPARE(watch.filesOpened(), QStringList());
        QVERIFY(t.elapsed() < 20000);
    }

    // Names with a caret or a line break: the text export says so first and
    // offers the workbook; Yes makes one, No writes the text as it always
    // was, Cancel writes nothing.
    void namesTheCaretTextCannotCarryAreSaidSoFirst()
    {
        Window win({QStringLiteral("a^b.pdf"), QStringLiteral("plain.pdf"), QStringLiteral("two\nlines.pdf")});

        win.boxes.answers = {MsgAnswer::Cancel};
        QVERIFY(win.exportWith({chooseFields(false)}));
        QCOMPARE(win.boxes.texts.size(), 1);
        QVERIFY2(win.boxes.texts[0].startsWith(QStringLiteral("2 rows to export hold names with a \"^\" or a line break.")),
                 qPrintable(win.boxes.texts[0]));
        QVERIFY(win.boxes.texts[0].contains(QStringLiteral("Excel file")));

        QStringList filters;
        win.boxes.answers = {MsgAnswer::Yes};
        QVERIFY(win.exportWith({chooseFields(false), save(win.file(QStringLiteral("kept.xls")), nullptr, &filters)}));
        QCOMPARE(filters.first(), QStringLiteral("Microsoft Excel File (*.xls)"));
        QVERIFY(contents(win.file(QStringLiteral("kept.xls"))).startsWith("\xD0\xCF\x11\xE0"));

        win.boxes.answers = {MsgAnswer::No};
        QVERIFY(win.exportWith({chooseFields(false), save(win.file(QStringLiteral("as-ever.txt")))}));
        QVERIFY(contents(win.file(QStringLiteral("as-ever.txt"))).contains("a^b.pdf^"));

        // A list without such names is not asked about.
        Window plain;
        QVERIFY(plain.exportWith({chooseFields(false), save(plain.file(QStringLiteral("quiet.txt")))}));
        QCOMPARE(plain.boxes.texts, QStringList{QStringLiteral("Data Exported Successfully.")});
    }
};

QTEST_MAIN(ExportWindowTest)
#include "export_window_test.moc"
