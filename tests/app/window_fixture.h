#pragma once
// A main window under test: fake services that record what they are asked,
// its controls by name, and a search run through the buttons.
#include "fixtures.h"
#include "main_window.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>

namespace testing_app {

struct FakeServices {
    FakeBoxes boxes;
    FakeShell shell;
    FakeRegistry registry;
    FakeStarter starter;

    quillon::MainWindowServices services(search::SessionOptions session = {}, QSettings* settings = nullptr,
                                         quillon::Trash* trash = nullptr)
    {
        return quillon::MainWindowServices{&boxes, &shell, &registry, &starter, std::move(session), settings, trash};
    }
};

// The window's control of that name; the test stops when there is none.
template <class T> T* control(const QWidget& w, const char* name)
{
    T* c = w.findChild<T*>(QString::fromLatin1(name));
    if (!c)
        qFatal("no control %s", name);
    return c;
}

// Sets the search controls, clicks Start and waits until the rows are built.
inline bool searchThroughButtons(quillon::FrmMain& w, const QString& folder, bool tif, bool pdf,
                                 bool recursive = true)
{
    control<QLineEdit>(w, "txtSearchPath")->setText(folder);
    control<QCheckBox>(w, "chkSearchOption0")->setChecked(tif);
    control<QCheckBox>(w, "chkSearchOption1")->setChecked(pdf);
    control<QCheckBox>(w, "chkRecursive")->setChecked(recursive);
    QSignalSpy done(&w, &quillon::FrmMain::searchFinished);
    control<QPushButton>(w, "cmdControl0")->click();
    return done.count() > 0 || done.wait(30000);
}

} // namespace testing_app
