// Build-time helper: writes the program icon as PNG files of the sizes the
// icon theme wants, from the same drawing the program shows.
//   render_icons OUTDIR SIZE...   ->  OUTDIR/SIZE.png
#include "icons.h"

#include <QDir>
#include <QGuiApplication>

#include <cstdio>

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    if (argc < 3) {
        std::fprintf(stderr, "usage: render_icons OUTDIR SIZE...\n");
        return 2;
    }
    const QDir out(QString::fromLocal8Bit(argv[1]));
    for (int i = 2; i < argc; ++i) {
        const int size = QByteArray(argv[i]).toInt();
        const QString file = out.filePath(QStringLiteral("%1.png").arg(size));
        if (size < 16 || size > 1024 || !quillon::programLogo(size).save(file, "PNG")) {
            std::fprintf(stderr, "render_icons: cannot write %s\n", qPrintable(file));
            return 1;
        }
    }
    return 0;
}
