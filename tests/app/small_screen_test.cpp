// The window on a screen smaller than it would like. Run twice: at a scale
// factor of 2 on the offscreen platform's 800x800 screen (400x400 to the
// window, less than its smallest layout), and under Xvfb at 1024x768 with a
// window manager (openbox), where the frame and title bar are real. It never
// asks for more than the screen, every control can still be reached, a size
// saved on a larger screen is fitted to this one, and a window with no
// geometry that makes sense is centred, its title bar on the screen.
#include "window_fixture.h"

#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

using namespace quillon;

namespace {

QString describe(const QRect& r)
{
    return QStringLiteral("%1,%2 %3x%4").arg(r.x()).arg(r.y()).arg(r.width()).arg(r.height());
}

QRect available(const QWidget& w)
{
    const QScreen* s = QGuiApplication::screenAt(w.frameGeometry().center());
    return (s ? s : QGuiApplication::primaryScreen())->availableGeometry();
}

struct Window : testing_app::FakeServices {
    QSettings settings;
    FrmMain w;
    explicit Window(const QString& conf) : settings(conf, QSettings::IniFormat), w(services({}, &settings)) {}
};

} // namespace

class SmallScreenTest : public QObject {
    Q_OBJECT
private slots:
    // The smallest window fits the screen; Export, Select All, Clear Result
    // Screen and the totals can all be brought into view.
    void theWindowNeverOutgrowsTheScreen()
    {
        QTemporaryDir tmp;
        Window win(tmp.filePath("q.conf"));
        win.w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&win.w));
        const QRect screen = available(win.w);
        QTRY_VERIFY(screen.contains(win.w.frameGeometry()));
        QVERIFY2(win.w.minimumSize().width() <= screen.width() && win.w.minimumSize().height() <= screen.height(),
                 qPrintable(QStringLiteral("minimum %1x%2 on a screen of %3x%4")
                                .arg(win.w.minimumSize().width()).arg(win.w.minimumSize().height())
                                .arg(screen.width()).arg(screen.height())));
        QVERIFY(screen.contains(win.w.frameGeometry()));
        auto* scroll = win.w.findChild<QScrollArea*>();
        for (const char* name : {"cmdControl2", "chkSelectall", "cmdClear", "lblTotalPages", "cmdControl0"}) {
            QWidget* c = testing_app::control<QWidget>(win.w, name);
            if (scroll)
                scroll->ensureWidgetVisible(c, 0, 0);
            QCoreApplication::processEvents();
            const QRect shown(c->mapTo(&win.w, QPoint(0, 0)), c->size());
            QVERIFY2(win.w.rect().contains(shown),
                     qPrintable(QStringLiteral("%1 at %2,%3 %4x%5 is out of the %6x%7 window")
                                    .arg(QString::fromLatin1(name)).arg(shown.x()).arg(shown.y())
                                    .arg(shown.width()).arg(shown.height())
                                    .arg(win.w.width()).arg(win.w.height())));
        }
    }

    // A size saved on a larger screen comes back fitted to this one.
    void aSavedSizeIsFittedToTheScreen()
    {
        QTemporaryDir tmp;
        const QString conf = tmp.filePath("q.conf");
        {
            Window first(conf);
            first.w.setGeometry(QRect(100, 50, 1280, 900));
            first.settings.setValue("window/geometry", first.w.saveGeometry());
        }
        Window second(conf);
        second.w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&second.w));
        const QRect screen = available(second.w);
        QTRY_VERIFY2(screen.contains(second.w.frameGeometry()),
                     qPrintable(describe(second.w.frameGeometry()) + QStringLiteral(" on ") + describe(screen)));
        QVERIFY2(screen.contains(second.w.frameGeometry()),
                 qPrintable(QStringLiteral("%1,%2 %3x%4 on %5x%6")
                                .arg(second.w.frameGeometry().x()).arg(second.w.frameGeometry().y())
                                .arg(second.w.frameGeometry().width()).arg(second.w.frameGeometry().height())
                                .arg(screen.width()).arg(screen.height())));
    }

    // No geometry that makes sense (a corrupt settings file), and a first
    // start: the window is centred, its title bar on the screen.
    void aWindowWithoutGeometryIsCentred()
    {
        QTemporaryDir tmp;
        const QString conf = tmp.filePath("q.conf");
        {
            QSettings s(conf, QSettings::IniFormat);
            s.setValue("window/geometry", QByteArray("\x01\xd9\xd0\xcb garbage", 12));
        }
        for (const QString& file : {conf, tmp.filePath("fresh.conf")}) {
            Window win(file);
            win.w.show();
            QVERIFY(QTest::qWaitForWindowExposed(&win.w));
            const QRect screen = available(win.w);
            QTRY_VERIFY(screen.contains(win.w.frameGeometry()));
            // Centred, within what the window manager's own rounding allows.
            QTRY_VERIFY2(qAbs(win.w.frameGeometry().center().x() - screen.center().x()) <= 2
                             && qAbs(win.w.frameGeometry().center().y() - screen.center().y()) <= 2,
                         qPrintable(describe(win.w.frameGeometry()) + QStringLiteral(" on ") + describe(screen)));
            const QRect frame = win.w.frameGeometry();
            QVERIFY2(qAbs(frame.center().x() - screen.center().x()) <= 2
                         && qAbs(frame.center().y() - screen.center().y()) <= 2,
                     qPrintable(QStringLiteral("frame centre %1,%2, screen centre %3,%4")
                                    .arg(frame.center().x()).arg(frame.center().y())
                                    .arg(screen.center().x()).arg(screen.center().y())));
        }
    }
};

QTEST_MAIN(SmallScreenTest)
#include "small_screen_test.moc"
