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

// The splitter starts this far below the panes' tops, clear of their titles.
constexpr int kSplitterTop = 300;
// Between texts that share a line, and between a text and a control.
constexpr int kTextGap = 120;
constexpr int kControlGap = 30;
// Status labels: 105 twips in from the frame's left edge, 100 from its right.
constexpr int kStatusLeft = 105;
constexpr int kStatusRight = 100;

int widthOr(int need, int design) { return need > 0 ? need : design; }

// The status labels under the list: file count and time from the left, the
// page totals right-aligned, each moved to a line of its own when it would
// run into the one before.  Returns how many lines they take.
int placeStatus(MainLayout& l, const TextRoom& room, int line)
{
    const int right = l.fraSearchResult.width - kStatusRight;
    TwipRect& files = l.lblTotalFiles;
    TwipRect& time = l.lblSearchTime;
    TwipRect& totals = l.lblTotalPages;
    files.left = kStatusLeft;
    files.width = widthOr(room.lblTotalFiles, files.width);
    time.width = widthOr(room.lblSearchTime, time.width);
    totals.width = widthOr(room.lblTotalPages, totals.width);

    int lines = 1;
    time.left = std::max(designLayout().lblSearchTime.left, files.left + files.width + kTextGap);
    if (time.left + time.width > right) {
        time.left = kStatusLeft;
        ++lines;
    }
    const int timeLine = lines - 1;
    totals.left = right - totals.width;
    if (totals.left < time.left + time.width + kTextGap)
        ++lines;
    const int totalsLine = lines - 1;
    TwipRect& a4 = l.lblTotalA4;
    if (room.lblTotalA4 > 0) {
        // A line of its own under the page totals, right-aligned with them.
        ++lines;
        a4.width = room.lblTotalA4;
        a4.left = std::max(kStatusLeft, right - a4.width);
    } else {
        a4 = {};
    }

    const int top = l.lvwSearchResult.top + l.lvwSearchResult.height - (lines - 1) * line + 50;
    files.top = top;
    time.top = top + timeLine * line;
    totals.top = top + totalsLine * line;
    files.height = time.height = totals.height = line;
    if (room.lblTotalA4 > 0) {
        a4.top = top + (lines - 1) * line;
        a4.height = line;
    }
    return lines;
}

} // namespace

PaneLimits paneLimits(const TextRoom& room)
{
    const int widestStatus = std::max({room.lblTotalFiles, room.lblSearchTime, room.lblTotalPages, room.lblTotalA4});
    return {std::max(kMinLeftPane, room.leftPane),
            std::max(kMinResultPane, widestStatus + kStatusLeft + kStatusRight)};
}

int dateWordSpacing(const MainLayout& l, const TextRoom& room)
{
    if (room.dateBetween <= 0)
        return 0;
    const int andAt = l.dtpFrom.left + l.dtpFrom.width + kControlGap - l.lblDateSearch.left;
    return andAt - room.dateAndAt;
}

MainLayout layoutFor(int W, int H, int leftPaneWidth, const TextRoom& room)
{
    MainLayout l = designLayout();
    l.FraSelectPath.width = std::max(0, leftPaneWidth);
    l.lblSearchPath.width = std::max(l.lblSearchPath.width, room.lblSearchPath);
    l.txtSearchPath.left = std::max(l.txtSearchPath.left, l.lblSearchPath.left + l.lblSearchPath.width + kControlGap);
    l.cmdClear.width = std::max(l.cmdClear.width, room.cmdClear);
    for (TwipRect* box : {&l.chkSearchOption0, &l.chkSearchOption1, &l.chkRecursive, &l.chkSelectall})
        box->height = std::max(box->height, room.checkBox);
    if (room.datePicker > l.dtpFrom.width) {
        // Wider pickers push the second one toward the buttons: the date
        // field box gives up what it does not need to keep them clear.
        const int grow = room.datePicker - l.dtpFrom.width;
        const int give = std::clamp(2 * grow, 0, std::max(0, l.cboDateFields.width - room.cboDateFields));
        l.dtpFrom.width = l.dtpTo.width = room.datePicker;
        l.cboDateFields.width -= give;
        for (TwipRect* r : {&l.lblDateSearch, &l.dtpFrom, &l.dtpTo})
            r->left -= give;
        l.dtpTo.left += grow;
    }
    if (room.dateBetween > 0) {
        // "Between" before the first picker, "And" between the two.
        l.dtpFrom.left = std::max(l.dtpFrom.left, l.lblDateSearch.left + room.dateBetween + kControlGap);
        const int andLeft = l.dtpFrom.left + l.dtpFrom.width + kControlGap;
        l.dtpTo.left = std::max(l.dtpTo.left, andLeft + room.dateAnd + kControlGap);
        l.lblDateSearch.width = std::max(l.lblDateSearch.width, andLeft + room.dateAnd - l.lblDateSearch.left);
    }

    // Nothing lies over a titled frame's top line: the tree, the list and
    // the criteria band's controls start below it (the band grows by as much).
    const int dropCriteria = std::max(0, room.frameContentTop - l.chkSearchOption0.top);
    if (dropCriteria > 0) {
        l.FraSearch.height += dropCriteria;
        for (TwipRect* r : {&l.chkSearchOption0, &l.chkSearchOption1, &l.lblFileName, &l.chkSelectall,
                            &l.cboDateFields, &l.lblDateSearch, &l.dtpFrom, &l.dtpTo, &l.cmdControl0,
                            &l.cmdControl1, &l.cmdControl2, &l.ProgressBar1})
            r->top += dropCriteria;
    }
    l.FTV1.top = std::max(l.FTV1.top, room.frameContentTop);

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
    if (room.chkSelectall > l.chkSelectall.width) {
        // A caption wider than the design grows to the left, over the
        // folder label's end; the buttons below keep their places.
        l.chkSelectall.left -= room.chkSelectall - l.chkSelectall.width;
        l.chkSelectall.width = room.chkSelectall;
        setExtent(l.lblFileName.width, l.chkSelectall.left - (l.lblFileName.left + 30));
    }

    l.FraSelectPath.left = 30;
    l.FraSelectPath.top = l.fraPath.top + l.fraPath.height;
    setExtent(l.FraSelectPath.height, l.FraSearch.top - (l.fraPath.top + l.fraPath.height + 30));
    l.chkRecursive.top = l.FraSelectPath.height - (l.chkRecursive.height + 50);
    setExtent(l.FTV1.height, l.chkRecursive.top - (l.FTV1.top + 20));
    // The tree keeps its design margins inside a pane the splitter resized.
    setExtent(l.FTV1.width, l.FraSelectPath.width - 180);
    setExtent(l.chkRecursive.width, std::max(room.chkRecursive, std::min(1785, l.FraSelectPath.width - 75)));

    const int L = l.FraSelectPath.left + l.FraSelectPath.width + 30;
    l.fraSearchResult.left = L;
    l.fraSearchResult.top = l.FraSelectPath.top;
    setExtent(l.fraSearchResult.width, (l.fraPath.left + l.fraPath.width) - L);
    l.fraSearchResult.height = l.FraSelectPath.height;

    l.lvwSearchResult.left = 60;
    l.lvwSearchResult.top = std::max(195, room.frameContentTop);
    setExtent(l.lvwSearchResult.width, l.fraSearchResult.width - (60 + 50));
    // Its bottom stays 15 twips above the tree's, as designed.
    l.lvwSearchResult.height = l.FTV1.top + l.FTV1.height - 15 - l.lvwSearchResult.top;
    const int line = std::max(l.lblTotalFiles.height, room.statusLine);
    const int lines = placeStatus(l, room, line);
    setExtent(l.lvwSearchResult.height, l.lvwSearchResult.height - (lines - 1) * line);

    // The splitter sits in the gap between the panes and spans their height,
    // so it can be grabbed wherever the boundary has been moved.
    // It starts below the panes' titles, which it would otherwise cover.
    l.SilderBar.left = l.FraSelectPath.left + l.FraSelectPath.width;
    l.SilderBar.top = l.FraSelectPath.top + kSplitterTop;
    setExtent(l.SilderBar.height, l.FraSelectPath.height - kSplitterTop - 30);
    return l;
}

} // namespace quillon
