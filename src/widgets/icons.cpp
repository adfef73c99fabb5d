#include "icons.h"

#include <QFont>
#include <QPainter>
#include <QPainterPath>

namespace quillon {

namespace {

// A page with a folded corner and a coloured band carrying a short label.
QPixmap documentPixmap(int size, const QColor& band, const QString& label)
{
    QPixmap pm(size, size);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal s = size;
    const qreal fold = s * 0.28;
    QPainterPath page;
    page.moveTo(s * 0.15, s * 0.04);
    page.lineTo(s * 0.85 - fold, s * 0.04);
    page.lineTo(s * 0.85, s * 0.04 + fold);
    page.lineTo(s * 0.85, s * 0.96);
    page.lineTo(s * 0.15, s * 0.96);
    page.closeSubpath();
    p.setPen(QPen(QColor(90, 90, 90), std::max(1.0, s / 16)));
    p.setBrush(Qt::white);
    p.drawPath(page);
    p.setBrush(QColor(220, 220, 220));
    QPainterPath corner;
    corner.moveTo(s * 0.85 - fold, s * 0.04);
    corner.lineTo(s * 0.85 - fold, s * 0.04 + fold);
    corner.lineTo(s * 0.85, s * 0.04 + fold);
    corner.closeSubpath();
    p.drawPath(corner);
    const QRectF bandRect(0, s * 0.52, s, s * 0.36);
    p.setPen(Qt::NoPen);
    p.setBrush(band);
    p.drawRect(bandRect);
    QFont f;
    f.setBold(true);
    f.setPixelSize(std::max(5, static_cast<int>(s * 0.30)));
    p.setFont(f);
    p.setPen(Qt::white);
    p.drawText(bandRect, Qt::AlignCenter, label);
    return pm;
}

// A quill over a stack of pages: the program's mark.
QPixmap quillPixmap(int size)
{
    QPixmap pm(size, size);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal s = size;
    p.setPen(QPen(QColor(40, 60, 120), std::max(1.0, s / 20)));
    for (int i = 2; i >= 0; --i) {
        p.setBrush(i == 0 ? QColor(255, 255, 255) : QColor(230, 236, 248));
        p.drawRect(QRectF(s * (0.12 + 0.06 * i), s * (0.30 - 0.06 * i), s * 0.55, s * 0.62));
    }
    QPainterPath feather;
    feather.moveTo(s * 0.30, s * 0.80);
    feather.cubicTo(s * 0.45, s * 0.45, s * 0.70, s * 0.15, s * 0.95, s * 0.05);
    feather.cubicTo(s * 0.85, s * 0.35, s * 0.60, s * 0.60, s * 0.30, s * 0.80);
    p.setBrush(QColor(30, 110, 190));
    p.setPen(QPen(QColor(20, 60, 110), std::max(1.0, s / 32)));
    p.drawPath(feather);
    return pm;
}

} // namespace

QIcon tiffRowIcon()
{
    QIcon icon;
    icon.addPixmap(documentPixmap(16, QColor(30, 130, 60), QStringLiteral("T")));
    icon.addPixmap(documentPixmap(32, QColor(30, 130, 60), QStringLiteral("TIF")));
    return icon;
}

QIcon pdfRowIcon()
{
    QIcon icon;
    icon.addPixmap(documentPixmap(16, QColor(190, 30, 30), QStringLiteral("P")));
    icon.addPixmap(documentPixmap(32, QColor(190, 30, 30), QStringLiteral("PDF")));
    return icon;
}

QIcon programIcon()
{
    QIcon icon;
    icon.addPixmap(quillPixmap(16));
    icon.addPixmap(quillPixmap(32));
    return icon;
}

QPixmap programLogo(int size)
{
    return quillPixmap(size);
}

} // namespace quillon
