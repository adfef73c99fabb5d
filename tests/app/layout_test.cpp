// The resize rule, the minimum size, the splitter's pane rules and the
// browse dialog's placement, as pure functions.
#include "browse_dialog.h"
#include "main_layout.h"
#include "splitter_bar.h"

#include <QtTest>

using namespace quillon;

class LayoutTest : public QObject {
    Q_OBJECT
private slots:
    void minimumOuterSize()
    {
        QCOMPARE(clampOuterSize(9000, 6000).width, 10170);
        QCOMPARE(clampOuterSize(12000, 5000).height, 5730);
        QCOMPARE(clampOuterSize(12000, 7000).width, 12000);
        QCOMPARE(clampOuterSize(12000, 7000).height, 7000);
    }

    void pathBarAndBandAt12050x6040()
    {
        const MainLayout l = layoutFor(12050, 6040);
        QCOMPARE(l.fraPath, (TwipRect{30, 30, 12000, 495}));
        QCOMPARE(l.cmdClear.left, 10265);
        QCOMPARE(l.cmdSelectPath.left, 9935);
        QCOMPARE(l.txtSearchPath.width, 8855);
        QCOMPARE(l.FraSearch.top, 4465);
        QCOMPARE(l.FraSearch.width, 12000);
        QCOMPARE(l.ProgressBar1.width, 12000 - 150 - 130);
        // Export stands under chkSelectall; Stop and Start 30 twips apart to its left.
        QCOMPARE(l.chkSelectall.left + l.chkSelectall.width, l.ProgressBar1.left + l.ProgressBar1.width);
        QCOMPARE(l.cmdControl2.left, l.chkSelectall.left);
        QCOMPARE(l.cmdControl1.left, l.cmdControl2.left - 990);
        QCOMPARE(l.cmdControl0.left, l.cmdControl1.left - 990);
        QCOMPARE(l.lblFileName.width, l.chkSelectall.left - 945);
    }

    void panesAt12050x6040()
    {
        const MainLayout l = layoutFor(12050, 6040);
        QCOMPARE(l.FraSelectPath.top, 525);
        QCOMPARE(l.FraSelectPath.height, 3910);
        QCOMPARE(l.FraSelectPath.width, 2715);
        QCOMPARE(l.fraSearchResult.left, 2775);
        QCOMPARE(l.fraSearchResult.width, 9255);
        QCOMPARE(l.lvwSearchResult.width, 9145);
        QCOMPARE(l.lvwSearchResult.height, l.FTV1.height);
        QCOMPARE(l.chkRecursive.top, 3910 - 290);
        QCOMPARE(l.FTV1.height, 3620 - 230);
        QCOMPARE(l.lblTotalFiles.top, 195 + l.lvwSearchResult.height + 50);
        QCOMPARE(l.lblSearchTime.top, l.lblTotalFiles.top);
        QCOMPARE(l.lblTotalPages.left, 9255 - (1905 + 100));
    }

    void tinyClientKeepsRefusedExtents()
    {
        // Negative widths and heights are refused; the old values stay.
        const MainLayout l = layoutFor(10, 10);
        const MainLayout d = designLayout();
        QCOMPARE(l.fraPath.width, d.fraPath.width);
        QVERIFY(l.FraSelectPath.height >= 0);
        QVERIFY(l.lvwSearchResult.width >= 0);
    }

    void movedBoundaryMovesTheResultPane()
    {
        const MainLayout l = layoutFor(12050, 6040, 4000);
        QCOMPARE(l.fraSearchResult.left, 4060);
        QCOMPARE(l.fraSearchResult.left + l.fraSearchResult.width, 12030);
        QCOMPARE(l.SilderBar.left, 4030);
        QCOMPARE(l.SilderBar.top, l.FraSelectPath.top + 300);
        QCOMPARE(l.SilderBar.height, l.FraSelectPath.height - 330);
    }

    void splitterWidenAndRestore()
    {
        PaneWidth p{2715, 0};
        p = toggleWiden(p, 12050);
        QCOMPARE(p.leftWidth, kMinLeftPane);
        QCOMPARE(p.savedWidth, 2715);
        p = toggleWiden(p, 12050);
        QCOMPARE(p.leftWidth, 2715);
        QCOMPARE(p.savedWidth, 0);
        // Dragging past either edge stops at the limits.
        QCOMPARE(clampLeftPane(-500, 12050), kMinLeftPane);
        QCOMPARE(clampLeftPane(20000, 12050), 12050 - 50 - kMinResultPane);
    }

    void browsePlacement_data()
    {
        QTest::addColumn<bool>("hasOwner");
        QTest::addColumn<QPoint>("owner");
        QTest::addColumn<QPoint>("expected");
        const QSize screen(1280, 1024);
        Q_UNUSED(screen);
        QTest::newRow("beside owner") << true << QPoint(500, 300) << QPoint(573, 376);
        QTest::newRow("far left and up") << true << QPoint(-200, -100) << QPoint(0, 0);
        QTest::newRow("right edge") << true << QPoint(1200, 300) << QPoint(1280 - 324, 376);
        QTest::newRow("bottom edge") << true << QPoint(100, 900) << QPoint(173, 1024 - 331);
        QTest::newRow("no owner") << false << QPoint(5000, 5000) << QPoint(73, 76);
    }

    void browsePlacement()
    {
        QFETCH(bool, hasOwner);
        QFETCH(QPoint, owner);
        QFETCH(QPoint, expected);
        const auto o = hasOwner ? std::optional<QPoint>(owner) : std::nullopt;
        QCOMPARE(quillon::browsePlacement(o, kBrowseOuterSize, QSize(1280, 1024)), expected);
    }
};

QTEST_MAIN(LayoutTest)
#include "layout_test.moc"
