#include "export/dlg_choose_export.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCloseEvent>
#include <QFontMetrics>
#include <QGroupBox>
#include <QKeyEvent>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QShowEvent>

#include <algorithm>
#include <cmath>

namespace exporting {

DlgChooseExport::DlgChooseExport(QWidget* owner)
    : QDialog(owner, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                         Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint),
      owner_(owner) {
    setWindowTitle("Choose fields to export");
    if (owner) setWindowIcon(owner->windowIcon());
    setModal(true);

    lstFields = new QListWidget(this);
    lstFields->setObjectName("lstFields");
    optExport[0] = new QRadioButton("Export Selected", this);
    optExport[0]->setObjectName("optExport0");
    optExport[1] = new QRadioButton("Export All", this);
    optExport[1]->setObjectName("optExport1");
    Frame1 = new QGroupBox(this);
    Frame1->setObjectName("Frame1");
    Option1[0] = new QRadioButton("To Text File", Frame1);
    Option1[0]->setObjectName("Option10");
    Option1[1] = new QRadioButton("To Excel File", Frame1);
    Option1[1]->setObjectName("Option11");
    cmdOK = new QPushButton("&Ok", this);
    cmdOK->setObjectName("cmdOK");
    cmdCancel = new QPushButton("&Cancel", this);
    cmdCancel->setObjectName("cmdCancel");

    // Positions in twips, converted with this screen's resolution.
    resize(Twips(0, 0, 3000, 4350).size());
    setFixedSize(size());
    lstFields->setGeometry(Twips(15, 0, 2985, 2310));
    optExport[0]->setGeometry(Twips(210, 2520, 1425, 285));
    optExport[1]->setGeometry(Twips(1710, 2520, 1035, 285));
    Frame1->setGeometry(Twips(135, 2940, 2685, 780));
    Option1[0]->setGeometry(Twips(165, 180, 2370, 240));
    Option1[1]->setGeometry(Twips(165, 465, 2370, 240));
    cmdOK->setGeometry(Twips(240, 3855, 1245, 375));
    cmdCancel->setGeometry(Twips(1560, 3855, 1215, 375));
    FitCaptions();

    // Two independent groups, each with exactly one button chosen.  Explicit
    // groups: Qt's automatic grouping by parent also looks into Frame1, so a
    // click on the chosen "Export Selected" would unchoose it (and export
    // every row) while a button of the other group is chosen.
    for (QRadioButton* const* group : {optExport, Option1}) {
        auto* exclusive = new QButtonGroup(this);
        exclusive->addButton(group[0], 0);
        exclusive->addButton(group[1], 1);
    }
    optExport[0]->setChecked(true);
    Option1[0]->setChecked(true);

    // Neither button answers Enter or Escape.
    for (QPushButton* b : {cmdOK, cmdCancel}) {
        b->setAutoDefault(false);
        b->setDefault(false);
    }

    // Tab order by tab index: Option1(1), optExport(0), optExport(1), cmdOK,
    // cmdCancel, Frame1 (takes no focus), Option1(0), lstFields.
    QWidget* order[] = {Option1[1], optExport[0], optExport[1], cmdOK, cmdCancel, Option1[0], lstFields};
    for (std::size_t i = 0; i + 1 < std::size(order); ++i) setTabOrder(order[i], order[i + 1]);

    connect(cmdOK, &QPushButton::clicked, this, [this] { cmdOK_Click(); });
    connect(cmdCancel, &QPushButton::clicked, this, [this] { cmdCancel_Click(); });
    connect(lstFields, &QListWidget::itemChanged, this, [this] { lstFields_ItemCheck(); });
}

double DlgChooseExport::TwipsPerPixel() const {
    const double dpi = logicalDpiX();
    return dpi > 0 ? 1440.0 / dpi : 15.0;
}

QRect DlgChooseExport::Twips(int left, int top, int width, int height) const {
    const double tpp = TwipsPerPixel();
    auto px = [tpp](int twips) { return static_cast<int>(std::lround(twips / tpp)); };
    return QRect(px(left), px(top), px(width), px(height));
}

void DlgChooseExport::FitCaptions() {
    // "Export Selected" and "Export All" side by side need more than the
    // design width in most fonts: each button gets the width of its caption,
    // and the dialog widens by what the pair lacks, its other controls with it.
    const int gap = Twips(0, 0, 75, 0).width();
    QRect first = optExport[0]->geometry();
    QRect second = optExport[1]->geometry();
    first.setWidth(std::max(first.width(), optExport[0]->sizeHint().width()));
    second.moveLeft(std::max(second.left(), first.right() + 1 + gap));
    second.setWidth(std::max(second.width(), optExport[1]->sizeHint().width()));
    int grow = std::max(0, second.right() + 1 + first.left() - width());
    // The title bar shows the whole title: its text (window managers draw it
    // bold) beside the bar's icon and buttons.
    QFont titleFont = QApplication::font();
    titleFont.setBold(true);
    constexpr int kTitleBarButtons = 120;
    grow = std::max(grow, QFontMetrics(titleFont).horizontalAdvance(windowTitle()) + kTitleBarButtons - width());
    optExport[0]->setGeometry(first);
    optExport[1]->setGeometry(second);
    if (grow == 0) return;
    setFixedSize(width() + grow, height());
    for (QWidget* w : {static_cast<QWidget*>(lstFields), static_cast<QWidget*>(Frame1)})
        w->resize(w->width() + grow, w->height());
    cmdOK->resize(cmdOK->width() + grow / 2, cmdOK->height());
    cmdCancel->setGeometry(cmdCancel->x() + grow / 2, cmdCancel->y(), cmdCancel->width() + grow - grow / 2,
                           cmdCancel->height());
}

bool DlgChooseExport::NoFieldChecked() const {
    for (int i = 0; i < lstFields->count(); ++i) {
        if (lstFields->item(i)->checkState() == Qt::Checked) return false;
    }
    return true;
}

void DlgChooseExport::cmdOK_Click() { hide(); }

void DlgChooseExport::cmdCancel_Click() {
    IsCancel = true;
    hide();
}

void DlgChooseExport::lstFields_ItemCheck() { cmdOK->setEnabled(!NoFieldChecked()); }

void DlgChooseExport::showEvent(QShowEvent* event) {
    // Centred over the main window (over the screen when there is none).
    QRect area = owner_ ? owner_->frameGeometry() : QRect();
    if (!area.isValid() && screen()) area = screen()->availableGeometry();
    if (area.isValid()) {
        QRect frame = frameGeometry();
        frame.moveCenter(area.center());
        move(frame.topLeft());
    }
    QDialog::showEvent(event);
}

void DlgChooseExport::closeEvent(QCloseEvent* event) {
    // The close box (or a keyboard close command) acts as Cancel.
    IsCancel = true;
    hide();
    event->accept();
    done(QDialog::Rejected);
}

void DlgChooseExport::keyPressEvent(QKeyEvent* event) {
    // No button is the dialog's Escape or Enter button: those keys do nothing.
    if (event->key() == Qt::Key_Escape || event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

}  // namespace exporting
