// Any file name in the window: names whose bytes are not UTF-8 (as archives
// copied from old systems hold) are listed with replacement characters, and
// open, Containing Folder, delete and the export act on the file's own bytes.
#include "fixtures.h"
#include "main_window.h"
#include "temp_dir.h"

#include <export/export_table.h>

#include <QAction>
#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QUrl>
#include <QtTest>

#include <sys/stat.h>

using namespace quillon;

namespace {

// Files made and checked by their bytes: QFile cannot name them.
void writeAt(const QByteArray& path, const QString& fixture)
{
    QFile from(fixture);
    QVERIFY(from.open(QIODevice::ReadOnly));
    const QByteArray bytes = from.readAll();
    FILE* f = std::fopen(path.constData(), "wb");
    QVERIFY(f);
    std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()), f);
    std::fclose(f);
}

bool existsAt(const QByteArray& path)
{
    struct stat st {};
    return ::lstat(path.constData(), &st) == 0;
}

// The bytes a file: URL names.
QByteArray urlBytes(const QString& url)
{
    return QByteArray::fromPercentEncoding(url.toLatin1().mid(int(sizeof "file://") - 1));
}

struct Harness {
    testing_app::FakeBoxes boxes;
    testing_app::FakeShell shell;
    testing_app::FakeRegistry registry;
    testing_app::FakeStarter starter;
    FrmMain w{MainWindowServices{&boxes, &shell, &registry, &starter, {}}};

    int rowOf(const QByteArray& path) const
    {
        for (int r = 0; r < w.model()->rowCount(); ++r)
            if (w.model()->pathBytes(r) == path)
                return r;
        return -1;
    }
    void select(int row)
    {
        QItemSelectionModel* sel = w.list()->selectionModel();
        sel->clear();
        sel->setCurrentIndex(w.model()->index(row, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }
};

} // namespace

class FileNamesTest : public QObject {
    Q_OBJECT
private slots:
    void rowsKeepTheFilesOwnBytes()
    {
        // Qt's own temporary folder cannot remove names that are no UTF-8.
        const fixtures::TempDir tmp;
        const QByteArray root = QByteArray::fromStdString(tmp.path());
        const QString tmpPath = QFile::decodeName(root);
        const QString pdf2 = tmpPath + QStringLiteral("/fixture2.pdf"), pdf3 = tmpPath + QStringLiteral("/fixture3.pdf");
        testing_app::writePdf(pdf2, 2);
        testing_app::writePdf(pdf3, 3);
        // Two namesakes that differ only in a byte no UTF-8 reader can show,
        // and a file in a folder whose own name is Latin-1.
        const QByteArray e9 = root + "/caf\xE9.pdf", e8 = root + "/caf\xE8.pdf";
        const QByteArray folder = root + "/Sc\xE4ns";
        writeAt(e9, pdf2);
        writeAt(e8, pdf3);
        QVERIFY(::mkdir(folder.constData(), 0755) == 0);
        writeAt(folder + "/letter.pdf", pdf2);
        QFile::remove(pdf2);
        QFile::remove(pdf3);

        Harness h;
        h.w.show();
        h.w.findChild<QLineEdit*>("txtSearchPath")->setText(tmpPath);
        h.w.findChild<QCheckBox*>("chkSearchOption1")->setChecked(true);
        h.w.findChild<QCheckBox*>("chkRecursive")->setChecked(true);
        QSignalSpy done(&h.w, &FrmMain::searchFinished);
        h.w.findChild<QPushButton*>("cmdControl0")->click();
        QVERIFY(done.count() > 0 || done.wait(30000));
        QCOMPARE(h.w.model()->rowCount(), 3);

        const int r9 = h.rowOf(e9), r8 = h.rowOf(e8), inFolder = h.rowOf(folder + "/letter.pdf");
        QVERIFY(r9 >= 0 && r8 >= 0 && inFolder >= 0);
        QCOMPARE(h.w.model()->name(r9), QStringLiteral("caf\uFFFD.pdf"));
        QCOMPARE(h.w.model()->name(r8), QStringLiteral("caf\uFFFD.pdf"));
        QCOMPARE(h.w.model()->pagesText(r8), QStringLiteral("3"));
        QCOMPARE(h.w.model()->nameBytes(r9), QByteArray("caf\xE9.pdf"));

        // Open and Containing Folder hand the desktop the file's own bytes.
        h.select(r9);
        h.w.findChild<QAction*>("mnuOPen")->trigger();
        QCOMPARE(urlBytes(h.shell.opened.last()), e9);
        h.select(inFolder);
        h.w.findChild<QAction*>("Cont")->trigger();
        QCOMPARE(urlBytes(h.shell.opened.last()), folder + "/");

        // The export table carries the bytes; the writers decide how to write them.
        const exporting::ExportTable table = exporting::BuildFullExportTable(h.w);
        bool exported = false;
        for (std::size_t r = 1; r < table.Rows(); ++r)
            exported = exported || (table.Cell(0, r) == "caf\xE9.pdf" && table.Cell(1, r) == e9.toStdString());
        QVERIFY(exported);

        // Delete removes exactly that file; its namesake stays, and so does its row.
        h.select(r9);
        h.boxes.answers = {MsgAnswer::Yes};
        QSignalSpy rebuilt(&h.w, &FrmMain::searchFinished);
        h.w.findChild<QAction*>("Delete1")->trigger();
        QVERIFY(rebuilt.count() > 0 || rebuilt.wait(30000));
        QVERIFY(!existsAt(e9));
        QVERIFY(existsAt(e8));
        QCOMPARE(h.w.model()->rowCount(), 2);
        QVERIFY(h.rowOf(e8) >= 0);
        QVERIFY(h.rowOf(e9) < 0);
    }
};

QTEST_MAIN(FileNamesTest)
#include "file_names_test.moc"
