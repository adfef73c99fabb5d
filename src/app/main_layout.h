#pragma once
// The main window's resize rule as a pure function: client size in twips in,
// the geometry of every control it moves out. Containers' children are
// relative to their container, as the widgets are.
#include "splitter_bar.h"
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
    // The A4 equivalents line below the page totals; empty while sizes are not shown.
    TwipRect lblTotalA4;
    TwipRect FraSearch, chkSearchOption0, chkSearchOption1, lblFileName, chkSelectall;
    TwipRect cboDateFields, lblDateSearch, dtpFrom, dtpTo;
    TwipRect cmdControl0, cmdControl1, cmdControl2, ProgressBar1;
};

// The room the texts need in the font in use, in twips.  A zero keeps the
// control's design size, so layoutFor(W, H) alone is the designed rule.
struct TextRoom {
    int lblSearchPath = 0; // width of "Search &Path :"
    int cmdClear = 0;      // width of "&Clear Result Screen"
    int chkRecursive = 0;  // width of "&Include SubFolders"
    int chkSelectall = 0;  // width of "Select &All"
    int checkBox = 0;      // height a check box needs for its box
    int leftPane = 0;      // narrowest left pane that still shows its title and check box
    // Widths of the status labels' current texts, and the height of a line.
    int lblTotalFiles = 0, lblSearchTime = 0, lblTotalPages = 0;
    // Width of the A4 equivalents line; 0: the line is not shown.
    int lblTotalA4 = 0;
    int statusLine = 0;
    // lblDateSearch: "Between", where "And" starts after the blanks, "And".
    int dateBetween = 0, dateAndAt = 0, dateAnd = 0;
    // A date picker that shows its widest date (every day and month name of
    // the locale), and the date field box that shows its longest item.
    int datePicker = 0, cboDateFields = 0;
    // Where a titled frame's contents begin below its top edge: the style
    // draws the frame's line just above.
    int frameContentTop = 0;
};

// The narrowest panes the splitter may leave so that their texts show.
PaneLimits paneLimits(const TextRoom& room = {});

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
// values, as a toolkit that refuses them would.  Controls whose text needs
// more than their design width (room) get it: the path box and the date
// pickers make way (pickers that need more width take it from the date
// field box, which rarely needs its design width), and the status labels under the list wrap onto further
// lines, which the list gives up, rather than run into each other.
MainLayout layoutFor(int clientWidth, int clientHeight, int leftPaneWidth = kDesignLeftPaneWidth,
                     const TextRoom& room = {});

// Widening the run of blanks between "Between" and "And" in lblDateSearch by
// this much (twips; negative narrows it) puts "And" in the gap between the
// two pickers.  The font's word spacing applies once to such a run.
int dateWordSpacing(const MainLayout& l, const TextRoom& room);

} // namespace quillon
