#pragma once
// The main window's resize rule as a pure function: client size in twips in,
// the geometry of every control it moves out. Containers' children are
// relative to their container, as the widgets are.
#include "twips.h"

namespace quillon {

// Smallest outer window size (frame, title and menu bar included).
inline constexpr int kMinOuterWidth = 10170;
inline constexpr int kMinOuterHeight = 5730;
// Design client area.
inline constexpr int kDesignClientWidth = 10050;
inline constexpr int kDesignClientHeight = 5040;
// Design width of the left pane FraSelectPath.
inline constexpr int kDesignLeftPaneWidth = 2715;
inline constexpr int kSplitterWidth = 60;

struct MainLayout {
    TwipRect fraPath, lblSearchPath, txtSearchPath, cmdSelectPath, cmdClear;
    TwipRect FraSelectPath, FTV1, chkRecursive;
    TwipRect SilderBar;
    TwipRect fraSearchResult, lvwSearchResult, lblTotalFiles, lblSearchTime, lblTotalPages;
    TwipRect FraSearch, chkSearchOption0, chkSearchOption1, lblFileName, chkSelectall;
    TwipRect cboDateFields, lblDateSearch, dtpFrom, dtpTo;
    TwipRect cmdControl0, cmdControl1, cmdControl2, ProgressBar1;
};

// The design positions, before any resize.
MainLayout designLayout();

// Outer size after the minimum is enforced.
struct OuterSize {
    int width, height;
};
OuterSize clampOuterSize(int outerWidth, int outerHeight);

// The resize rule for a client area of clientWidth x clientHeight twips and a
// left pane of leftPaneWidth twips (the splitter moves it; design 2715).
// Values that would come out negative are left at their previous (design)
// values, as a toolkit that refuses them would.
MainLayout layoutFor(int clientWidth, int clientHeight, int leftPaneWidth = kDesignLeftPaneWidth);

// lblTotalPages' place in fraSearchResult: right-aligned, on the status line.
TwipRect totalPagesPlace(const TwipRect& fraSearchResult, const TwipRect& lblTotalPages,
                         const TwipRect& lblSearchTime);

} // namespace quillon
