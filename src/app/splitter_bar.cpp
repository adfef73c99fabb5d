#include "splitter_bar.h"

#include <QMouseEvent>
#include <algorithm>

namespace quillon {

SplitterBar::SplitterBar(QWidget* parent) : QFrame(parent)
{
    setObjectName(QStringLiteral("SilderBar"));
    setCursor(Qt::SplitHCursor);
    setToolTip(QStringLiteral("Double Clik to Expand Search Result Window And Mouse down and move for "
                              "change distance between window"));
}

void SplitterBar::mousePressEvent(QMouseEvent* e)
{
    if (e->button() == Qt::LeftButton) {
        m_dragging = true;
        m_lastX = static_cast<int>(e->globalPosition().x());
    }
    QFrame::mousePressEvent(e);
}

void SplitterBar::mouseMoveEvent(QMouseEvent* e)
{
    if (m_dragging) {
        const int x = static_cast<int>(e->globalPosition().x());
        if (x != m_lastX) {
            const int dx = x - m_lastX;
            m_lastX = x;
            emit dragged(dx);
        }
    }
    QFrame::mouseMoveEvent(e);
}

void SplitterBar::mouseReleaseEvent(QMouseEvent* e)
{
    if (e->button() == Qt::LeftButton)
        m_dragging = false;
    QFrame::mouseReleaseEvent(e);
}

void SplitterBar::mouseDoubleClickEvent(QMouseEvent* e)
{
    m_dragging = false;
    if (e->button() == Qt::LeftButton)
        emit doubleClicked();
}

int clampLeftPane(int wanted, int clientWidth, PaneLimits limits)
{
    const int maxLeft = std::max(limits.minLeft, clientWidth - 50 - limits.minResult);
    return std::clamp(wanted, limits.minLeft, maxLeft);
}

PaneWidth toggleWiden(PaneWidth current, int clientWidth, PaneLimits limits)
{
    if (current.savedWidth > 0)
        return {clampLeftPane(current.savedWidth, clientWidth, limits), 0};
    return {limits.minLeft, current.leftWidth};
}

} // namespace quillon
