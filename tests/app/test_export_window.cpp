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
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

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

struct Window : testing_app::FakeServices {
    QTemporaryDir dir;
    FrmMain w{services()};

    explicit Window(const QStringList& names = {QStringLiteral("a.pdf"), QStringLiteral("b.pdf")})
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
        QCOMPARE(win.boxes.icons.front(), MsgIcon::Warning);
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
#include "test_export_window.moc"
