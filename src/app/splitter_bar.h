#pragma once
// SilderBar: the strip between the folder pane and the result pane. Dragging
// it moves the boundary; a double-click widens the result pane, a second one
// puts the boundary back.
#include <QFrame>

namespace quillon {

class SplitterBar : public QFrame {
    Q_OBJECT
public:
    explicit SplitterBar(QWidget* parent = nullptr);

signals:
    // Horizontal movement in pixels since the last report, while dragging.
    void dragged(int dxPixels);
    void doubleClicked();

protected:
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void mouseDoubleClickEvent(QMouseEvent* e) override;

private:
    bool m_dragging = false;
    int m_lastX = 0;
};

// Where the pane boundary goes. Pure, so the rules can be tested apart from
// the mouse.
struct PaneWidth {
    int leftWidth;      // FraSelectPath's width in twips
    int savedWidth;     // width to restore after a widen, 0 when not widened
};
inline constexpr int kMinLeftPane = 600;
inline constexpr int kMinResultPane = 3000;
// The narrowest panes, in twips.
struct PaneLimits {
    int minLeft = kMinLeftPane;
    int minResult = kMinResultPane;
};
// Keeps the left pane between its minimum and what leaves the result pane
// its own minimum.
int clampLeftPane(int wantedTwips, int clientWidthTwips, PaneLimits limits = {});
// A double-click: widen the result pane (the left pane shrinks to its
// minimum) or, when already widened, restore the saved width.
PaneWidth toggleWiden(PaneWidth current, int clientWidthTwips, PaneLimits limits = {});

} // namespace quillon
