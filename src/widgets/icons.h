#pragma once
// The program's pictures, drawn here rather than shipped as image files.
#include <QIcon>
#include <QPixmap>

namespace quillon {

QIcon tiffRowIcon();    // ImageList1 image 1
QIcon pdfRowIcon();     // ImageList1 image 2
QIcon programIcon();    // 16x16 and 32x32
QPixmap programLogo(int size); // splash and about box

} // namespace quillon
