#include "main_layout.h"

#include <algorithm>

namespace quillon {

MainLayout designLayout()
{
    MainLayout l;
    l.fraPath = {30, 30, 10020, 495};
    l.lblSearchPath = {30, 180, 975, 195};
    l.txtSearchPath = {1050, 150, 6870, 285};
    l.cmdSelectPath = {7950, 150, 300, 285};
    l.cmdClear = {8280, 150, 1665, 285};
    l.FraSelectPath = {30, 540, 2715, 2910};
    l.FTV1 = {90, 210, 2535, 2220};
    l.chkRecursive = {75, 2535, 1785, 240};
    l.SilderBar = {2745, 630, 60, 2790};
    l.fraSearchResult = {2805, 540, 7245, 2910};
    l.lvwSearchResult = {60, 210, 7125, 2220};
    l.lblTotalFiles = {105, 2580, 720, 195};
    l.lblSearchTime = {1515, 2580, 345, 195};
    l.lblTotalPages = {3510, 2625, 1905, 195};
    l.FraSearch = {30, 3450, 10020, 1545};
    l.chkSearchOption0 = {165, 210, 705, 240};
    l.chkSearchOption1 = {165, 480, 660, 195};
    l.lblFileName = {915, 255, 2640, 390};
    l.chkSelectall = {8985, 240, 960, 345};
    l.cboDateFields = {150, 750, 2715, 315};
    l.lblDateSearch = {2910, 795, 2400, 195};
    l.dtpFrom = {3585, 750, 1350, 315};
    l.dtpTo = {5400, 750, 1350, 315};
    l.cmdControl0 = {6930, 750, 960, 300};
    l.cmdControl1 = {7950, 750, 960, 300};
    l.cmdControl2 = {8970, 750, 960, 300};
    l.ProgressBar1 = {150, 1140, 9765, 315};
    return l;
}

OuterSize clampOuterSize(int outerWidth, int outerHeight)
{
    return {std::max(outerWidth, kMinOuterWidth), std::max(outerHeight, kMinOuterHeight)};
}

namespace {
// A width or height the toolkit would refuse (negative) leaves the old value.
void setExtent(int& field, int value)
{
    if (value >= 0)
        field = value;
}
} // namespace

TwipRect totalPagesPlace(const TwipRect& frame, const TwipRect& label, const TwipRect& timeLabel)
{
    TwipRect r = label;
    r.left = frame.width - (label.width + 100);
    r.top = timeLabel.top;
    return r;
}

MainLayout layoutFor(int W, int H, int leftPaneWidth)
{
    MainLayout l = designLayout();
    l.FraSelectPath.width = std::max(0, leftPaneWidth);

    l.fraPath.left = 30;
    l.fraPath.top = 30;
    setExtent(l.fraPath.width, W - 50);
    l.cmdClear.left = l.fraPath.width - (l.cmdClear.width + 70);
    l.cmdSelectPath.left = l.cmdClear.left - (l.cmdSelectPath.width + 30);
    setExtent(l.txtSearchPath.width, l.cmdSelectPath.left - (l.txtSearchPath.left + 30));

    l.FraSearch.left = 30;
    l.FraSearch.top = H - (l.FraSearch.height + 30);
    setExtent(l.FraSearch.width, W - 50);
    setExtent(l.ProgressBar1.width, l.FraSearch.width - (l.ProgressBar1.left + 130));
    l.chkSelectall.left = l.ProgressBar1.left + l.ProgressBar1.width - l.chkSelectall.width;
    setExtent(l.lblFileName.width, l.chkSelectall.left - (l.lblFileName.left + 30));
    l.cmdControl2.left = l.chkSelectall.left;
    l.cmdControl1.left = l.cmdControl2.left - (l.cmdControl1.width + 30);
    l.cmdControl0.left = l.cmdControl1.left - (l.cmdControl0.width + 30);

    l.FraSelectPath.left = 30;
    l.FraSelectPath.top = l.fraPath.top + l.fraPath.height;
    setExtent(l.FraSelectPath.height, l.FraSearch.top - (l.fraPath.top + l.fraPath.height + 30));
    l.chkRecursive.top = l.FraSelectPath.height - (l.chkRecursive.height + 50);
    setExtent(l.FTV1.height, l.chkRecursive.top - (l.FTV1.top + 20));
    // The tree keeps its design margins inside a pane the splitter resized.
    setExtent(l.FTV1.width, l.FraSelectPath.width - 180);
    setExtent(l.chkRecursive.width, std::min(1785, l.FraSelectPath.width - 75));

    const int L = l.FraSelectPath.left + l.FraSelectPath.width + 30;
    l.fraSearchResult.left = L;
    l.fraSearchResult.top = l.FraSelectPath.top;
    setExtent(l.fraSearchResult.width, (l.fraPath.left + l.fraPath.width) - L);
    l.fraSearchResult.height = l.FraSelectPath.height;

    l.lvwSearchResult.left = 60;
    l.lvwSearchResult.top = 195;
    setExtent(l.lvwSearchResult.width, l.fraSearchResult.width - (60 + 50));
    l.lvwSearchResult.height = l.FTV1.height;
    l.lblTotalFiles.top = l.lvwSearchResult.top + l.lvwSearchResult.height + 50;
    l.lblSearchTime.top = l.lblTotalFiles.top;
    l.lblTotalPages = totalPagesPlace(l.fraSearchResult, l.lblTotalPages, l.lblSearchTime);

    // The splitter sits in the gap between the panes and spans their height,
    // so it can be grabbed wherever the boundary has been moved.
    l.SilderBar.left = l.FraSelectPath.left + l.FraSelectPath.width;
    l.SilderBar.top = l.FraSelectPath.top + 90;
    setExtent(l.SilderBar.height, l.FraSelectPath.height - 120);
    return l;
}

} // namespace quillon
