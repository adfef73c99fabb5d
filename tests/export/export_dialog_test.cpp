// The export dialog and command through Qt Test (run offscreen).
#include "export/dlg_choose_export.h"
#include "export/export_list.h"
#include "fake_export_ui.h"
#include "test_support.h"

#include <QApplication>
#include <QGroupBox>
#include <QListWidget>
#include <QPixmap>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QtTest>

#include <cmath>
#include <functional>

using namespace exporting;
using exporttest::FakeExportUi;
using exporttest::ReadFile;
using exporttest::SampleSource;
using fixtures::TempDir;

class ExportDialogTest : public QObject {
    Q_OBJECT

private:
    QWidget owner_;
    TempDir dir_;

    // Runs `act` on the export dialog as soon as it is shown modally.
    void WhenShown(std::function<void(DlgChooseExport*)> act) {
        auto* timer = new QTimer(this);
        timer->setInterval(10);
        connect(timer, &QTimer::timeout, this, [timer, act] {
            auto* dlg = qobject_cast<DlgChooseExport*>(QApplication::activeModalWidget());
            if (!dlg || !dlg->isVisible()) return;
            timer->stop();
            timer->deleteLater();
            act(dlg);
            // A failed check returns early from `act`: close the dialog so
            // the modal wait ends instead of hanging the test.
            if (dlg->isVisible()) dlg->close();
        });
        timer->start();
    }

    void Check(DlgChooseExport* dlg, int item, bool on) {
        dlg->lstFields->item(item)->setCheckState(on ? Qt::Checked : Qt::Unchecked);
    }

    // One export: the dialog is handled by `act`, the save dialog answers
    // `path` (or cancels when empty).
    FakeExportUi Export(const std::string& path, std::function<void(DlgChooseExport*)> act,
                        exporttest::FakeSource source = SampleSource()) {
        FakeExportUi ui;
        if (!path.empty()) ui.answer = SaveDialogAnswer{path, 0};
        WhenShown(std::move(act));
        ExportList(source, ui, &owner_);
        return ui;
    }

private slots:
    void initTestCase() {
        QPixmap icon(16, 16);
        icon.fill(Qt::red);
        owner_.setWindowIcon(QIcon(icon));
        owner_.setGeometry(200, 150, 800, 600);
        owner_.show();
    }

    void defaultsExportAllFieldsOfSelectedRowsAsText() {
        const std::string path = dir_ / "defaults.txt";
        FakeExportUi ui = Export(path, [](DlgChooseExport* dlg) {
            QCOMPARE(dlg->windowTitle(), QString("Choose fields to export"));
            QCOMPARE(dlg->lstFields->count(), 4);
            const char* names[] = {"Name", "Path", "Size", "Page Count"};
            for (int i = 0; i < 4; ++i) {
                QCOMPARE(dlg->lstFields->item(i)->text(), QString(names[i]));
                QCOMPARE(dlg->lstFields->item(i)->checkState(), Qt::Checked);
            }
            QVERIFY(dlg->optExport[0]->isChecked() && !dlg->optExport[1]->isChecked());
            QVERIFY(dlg->Option1[0]->isChecked() && !dlg->Option1[1]->isChecked());
            QCOMPARE(dlg->optExport[0]->text(), QString("Export Selected"));
            QCOMPARE(dlg->optExport[1]->text(), QString("Export All"));
            QCOMPARE(dlg->Option1[0]->text(), QString("To Text File"));
            QCOMPARE(dlg->Option1[1]->text(), QString("To Excel File"));
            QCOMPARE(dlg->cmdOK->text(), QString("&Ok"));
            QCOMPARE(dlg->cmdCancel->text(), QString("&Cancel"));
            QVERIFY(dlg->cmdOK->isEnabled());
            QVERIFY(!dlg->cmdOK->isDefault() && !dlg->cmdOK->autoDefault());
            QVERIFY(!dlg->cmdCancel->isDefault() && !dlg->cmdCancel->autoDefault());
            QVERIFY(!dlg->IsCancel);
            QTest::mouseClick(dlg->cmdOK, Qt::LeftButton);
        });
        QCOMPARE(ReadFile(path), std::string("Name^Path^Size^Page Count^\r\n"
                                             "a.pdf^/docs/a.pdf^     12 KB^3^\r\n"
                                             "c.pdf^/docs/c.pdf^      2 KB^Error^\r\n"));
        QCOMPARE(ui.request.initialName, std::string("*.txt"));
        QCOMPARE(ui.messages.size(), std::size_t{1});
    }

    void layoutInTwipsIconAndCentre() {
        FakeExportUi ui = Export("", [this](DlgChooseExport* dlg) {
            const double tpp = 1440.0 / dlg->logicalDpiX();
            auto px = [tpp](int twips) { return static_cast<int>(std::lround(twips / tpp)); };
            auto rect = [&](int l, int t, int w, int h) { return QRect(px(l), px(t), px(w), px(h)); };
            // The design, widened by what "Export Selected" and "Export All"
            // need in this font beyond it.
            const int grow = dlg->width() - px(3000);
            QVERIFY(grow >= 0);
            auto wider = [](QRect r, int by) { return r.adjusted(0, 0, by, 0); };
            QCOMPARE(dlg->size(), QSize(px(3000) + grow, px(4350)));
            QCOMPARE(dlg->lstFields->geometry(), wider(rect(15, 0, 2985, 2310), grow));
            QCOMPARE(dlg->optExport[0]->geometry().topLeft(), rect(210, 2520, 1425, 285).topLeft());
            QVERIFY(dlg->optExport[0]->width() >= std::max(px(1425), dlg->optExport[0]->sizeHint().width()));
            QVERIFY(dlg->optExport[1]->x() >= std::max(px(1710), dlg->optExport[0]->geometry().right()));
            QVERIFY(dlg->optExport[1]->width() >= std::max(px(1035), dlg->optExport[1]->sizeHint().width()));
            QVERIFY(dlg->optExport[1]->geometry().right() < dlg->width());
            QCOMPARE(dlg->Frame1->geometry(), wider(rect(135, 2940, 2685, 780), grow));
            QCOMPARE(dlg->Option1[0]->geometry(), rect(165, 180, 2370, 240));
            QCOMPARE(dlg->Option1[1]->geometry(), rect(165, 465, 2370, 240));
            QCOMPARE(dlg->cmdOK->geometry(), wider(rect(240, 3855, 1245, 375), grow / 2));
            QCOMPARE(dlg->cmdCancel->geometry(),
                     wider(rect(1560, 3855, 1215, 375).translated(grow / 2, 0), grow - grow / 2));
            QVERIFY(dlg->Frame1->title().isEmpty());
            QCOMPARE(dlg->Option1[0]->parentWidget(), static_cast<QWidget*>(dlg->Frame1));

            QCOMPARE(dlg->windowIcon().cacheKey(), owner_.windowIcon().cacheKey());
            const QPoint delta = dlg->frameGeometry().center() - owner_.frameGeometry().center();
            QVERIFY2(delta.manhattanLength() <= 2, "dialog not centred over its owner");
            QVERIFY(!(dlg->windowFlags() & Qt::WindowMinimizeButtonHint));
            QVERIFY(!(dlg->windowFlags() & Qt::WindowMaximizeButtonHint));

            // Tab order by tab index; Frame1 takes no focus.
            QWidget* order[] = {dlg->Option1[1], dlg->optExport[0], dlg->optExport[1], dlg->cmdOK,
                                dlg->cmdCancel,  dlg->Option1[0],   dlg->lstFields};
            for (std::size_t i = 0; i + 1 < std::size(order); ++i) {
                QWidget* next = order[i]->nextInFocusChain();
                while (next->focusPolicy() == Qt::NoFocus) next = next->nextInFocusChain();
                QCOMPARE(next, order[i + 1]);
            }
            QTest::mouseClick(dlg->cmdCancel, Qt::LeftButton);
        });
        QCOMPARE(ui.dialogs, 0);
    }

    void exportAllKeepsListOrderAndMissingCellsAreEmpty() {
        const std::string path = dir_ / "all.txt";
        Export(path, [](DlgChooseExport* dlg) {
            QTest::mouseClick(dlg->optExport[1], Qt::LeftButton);
            QVERIFY(dlg->optExport[1]->isChecked() && !dlg->optExport[0]->isChecked());
            QVERIFY(dlg->Option1[0]->isChecked());  // the other group is untouched
            QTest::mouseClick(dlg->cmdOK, Qt::LeftButton);
        });
        QCOMPARE(ReadFile(path), std::string("Name^Path^Size^Page Count^\r\n"
                                             "a.pdf^/docs/a.pdf^     12 KB^3^\r\n"
                                             "b.tif^/docs/b.tif^      0 KB^^\r\n"
                                             "c.pdf^/docs/c.pdf^      2 KB^Error^\r\n"));
    }

    // A click on the chosen button of either group keeps it chosen: one
    // button of each group is always chosen, so "Export Selected" can never
    // fall back to every row.
    void aClickOnTheChosenButtonKeepsItChosen() {
        const std::string path = dir_ / "selected-only.txt";
        Export(path, [](DlgChooseExport* dlg) {
            for (QRadioButton* chosen : {dlg->optExport[0], dlg->Option1[0]}) {
                QTest::mouseClick(chosen, Qt::LeftButton);
                QVERIFY(chosen->isChecked());
                chosen->setFocus();
                QTest::keyClick(chosen, Qt::Key_Space);
                QVERIFY(chosen->isChecked());
            }
            QVERIFY(!dlg->optExport[1]->isChecked() && !dlg->Option1[1]->isChecked());
            // The other button still moves the choice, in its own group only.
            QTest::mouseClick(dlg->optExport[1], Qt::LeftButton);
            QTest::mouseClick(dlg->optExport[0], Qt::LeftButton);
            QVERIFY(dlg->optExport[0]->isChecked() && !dlg->optExport[1]->isChecked());
            QVERIFY(dlg->Option1[0]->isChecked());
            QTest::mouseClick(dlg->cmdOK, Qt::LeftButton);
        });
        // SampleSource selects a.pdf and c.pdf only.
        QVERIFY(QFile::exists(QString::fromStdString(path)));
        QCOMPARE(ReadFile(path), std::string("Name^Path^Size^Page Count^\r\n"
                                             "a.pdf^/docs/a.pdf^     12 KB^3^\r\n"
                                             "c.pdf^/docs/c.pdf^      2 KB^Error^\r\n"));
    }

    void clearingEveryCheckDisablesOkAndSomeFieldsExportUnderTheirHeaders() {
        const std::string path = dir_ / "two.txt";
        Export(path, [this](DlgChooseExport* dlg) {
            for (int i = 0; i < 4; ++i) Check(dlg, i, false);
            QVERIFY(dlg->NoFieldChecked());
            QVERIFY(!dlg->cmdOK->isEnabled());
            QTest::mouseClick(dlg->cmdOK, Qt::LeftButton);  // disabled: nothing happens
            QVERIFY(dlg->isVisible());
            Check(dlg, 3, true);
            QVERIFY(dlg->cmdOK->isEnabled());
            Check(dlg, 1, true);
            QTest::mouseClick(dlg->cmdOK, Qt::LeftButton);
        });
        QCOMPARE(ReadFile(path), std::string("Path^Page Count^\r\n/docs/a.pdf^3^\r\n/docs/c.pdf^Error^\r\n"));
    }

    void cancelWritesNothingAndTheNextExportShowsDefaults() {
        FakeExportUi ui = Export(dir_ / "never.txt", [this](DlgChooseExport* dlg) {
            Check(dlg, 0, false);
            QTest::mouseClick(dlg->optExport[1], Qt::LeftButton);
            QTest::mouseClick(dlg->Option1[1], Qt::LeftButton);
            QTest::mouseClick(dlg->cmdCancel, Qt::LeftButton);
        });
        QCOMPARE(ui.dialogs, 0);
        QVERIFY(ui.messages.empty());
        QVERIFY(!QFile::exists(QString::fromStdString(dir_ / "never.txt")));

        Export("", [](DlgChooseExport* dlg) {
            QCOMPARE(dlg->lstFields->item(0)->checkState(), Qt::Checked);
            QVERIFY(dlg->optExport[0]->isChecked());
            QVERIFY(dlg->Option1[0]->isChecked());
            QTest::mouseClick(dlg->cmdCancel, Qt::LeftButton);
        });
    }

    void closeBoxCancelsAndEscapeDoesNothing() {
        FakeExportUi ui = Export(dir_ / "never2.txt", [](DlgChooseExport* dlg) {
            QTest::keyClick(dlg, Qt::Key_Escape);
            QTest::keyClick(dlg, Qt::Key_Return);
            QVERIFY(dlg->isVisible());
            dlg->close();
        });
        QCOMPARE(ui.dialogs, 0);
        QVERIFY(ui.messages.empty());
    }

    void noFieldToOfferWarnsInsteadOfExporting() {
        auto source = SampleSource();
        source.columns = 1;  // only the hidden column: nothing to offer
        FakeExportUi ui = Export(dir_ / "never3.txt", [](DlgChooseExport* dlg) {
            QCOMPARE(dlg->lstFields->count(), 0);
            QVERIFY(dlg->cmdOK->isEnabled());  // enabled at start, as designed
            QTest::mouseClick(dlg->cmdOK, Qt::LeftButton);
        }, source);
        QCOMPARE(ui.dialogs, 0);
        QCOMPARE(ui.messages.size(), std::size_t{1});
        QCOMPARE(ui.messages[0].first, std::string("No Columns Selected For Exporting."));
        QCOMPARE(ui.messages[0].second, MessageIcon::Warning);
    }

    void toExcelFileWritesAWorkbook() {
        FakeExportUi ui = Export(dir_ / "book", [](DlgChooseExport* dlg) {
            QTest::mouseClick(dlg->Option1[1], Qt::LeftButton);
            QVERIFY(dlg->Option1[1]->isChecked() && !dlg->Option1[0]->isChecked());
            QVERIFY(dlg->optExport[0]->isChecked());
            QTest::mouseClick(dlg->cmdOK, Qt::LeftButton);
        });
        QCOMPARE(ui.request.initialName, std::string("*.xls"));
        QCOMPARE(ReadFile(dir_ / "book.xls").substr(0, 4), std::string("\xD0\xCF\x11\xE0"));
        QCOMPARE(ui.messages.size(), std::size_t{1});
        QCOMPARE(ui.messages[0].second, MessageIcon::None);
    }

    void rememberedChoicesOpenTheNextExport() {
        ExportChoices remembered;
        exporttest::FakeSource source = SampleSource();
        FakeExportUi first;
        first.answer = SaveDialogAnswer{(dir_ / "remembered.xlsx"), 1};
        WhenShown([this](DlgChooseExport* dlg) {
            Check(dlg, 1, false);
            dlg->Option1[1]->setChecked(true);
            dlg->cmdOK->click();
        });
        ExportList(source, first, &owner_, &remembered);
        QCOMPARE(remembered.clearedFields, std::vector<std::string>{"Path"});
        QVERIFY(remembered.toWorkbook && remembered.xlsx);
        QCOMPARE(remembered.folder, dir_.path());

        // The next export opens as the last was left; Cancel changes nothing.
        FakeExportUi second;
        bool asLeft = false;
        WhenShown([&asLeft](DlgChooseExport* dlg) {
            asLeft = dlg->lstFields->item(0)->checkState() == Qt::Checked &&
                     dlg->lstFields->item(1)->checkState() == Qt::Unchecked && dlg->Option1[1]->isChecked();
            dlg->cmdOK->click();
        });
        ExportList(source, second, &owner_, &remembered);
        QVERIFY(asLeft);
        QCOMPARE(second.request.folder, dir_.path());
        QCOMPARE(second.request.filterIndex, 1);
        QCOMPARE(remembered.clearedFields, std::vector<std::string>{"Path"});

        // Remembered choices that leave no field are no choice.
        remembered.clearedFields = {"Name", "Path", "Size", "Page Count"};
        bool allChecked = false;
        WhenShown([&allChecked](DlgChooseExport* dlg) {
            allChecked = !dlg->NoFieldChecked() && dlg->cmdOK->isEnabled();
            for (int i = 0; i < dlg->lstFields->count(); ++i)
                allChecked = allChecked && dlg->lstFields->item(i)->checkState() == Qt::Checked;
            dlg->cmdCancel->click();
        });
        ExportList(source, second, &owner_, &remembered);
        QVERIFY(allChecked);
    }
};

QTEST_MAIN(ExportDialogTest)
#include "export_dialog_test.moc"
