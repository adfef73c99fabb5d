#include "browse_dialog.h"

#include "folder_tree.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QPushButton>
#include <QScreen>
#include <QStandardPaths>
#include <QWhatsThis>

namespace quillon {

namespace {
// The program-wide help-file setting that the dialog swaps while it is shown.
const char* const kHelpFileProperty = "helpFile";
const char* const kDialogHelpFile = "windows.hlp";
} // namespace

QPoint browsePlacement(std::optional<QPoint> owner, QSize dialog, QSize screen)
{
    if (!owner)
        return {73, 76};
    int x = owner->x() + 73;
    int y = owner->y() + 76;
    if (x < 0)
        x = 0;
    if (y < 0)
        y = 0;
    if (x + dialog.width() > screen.width())
        x = screen.width() - dialog.width();
    if (y + dialog.height() > screen.height())
        y = screen.height() - dialog.height();
    return {x, y};
}

QString whatsThisText(int helpNumber)
{
    switch (helpNumber) {
    case kHelpTree:
        return QStringLiteral("Shows the folders of this computer. Click a folder to choose it; "
                              "click the arrow beside a folder to show the folders inside it.");
    case kHelpOk:
        return QStringLiteral("Closes this dialog and uses the selected folder.");
    case kHelpCancel:
        return QStringLiteral("Closes this dialog without choosing a folder.");
    default:
        return QString();
    }
}

FrmBrowseDlg::FrmBrowseDlg(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmBrowseDlg"));
    setWindowTitle(QStringLiteral("Browse For Folder"));
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint
                   | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint
                   | Qt::WindowContextHelpButtonHint);
    setWindowIcon(QIcon());
    setModal(true);

    m_prompt1 = new QLabel(QStringLiteral("Select the folder where you want to begin the search."), this);
    m_prompt1->setObjectName(QStringLiteral("labPrompt1"));
    m_prompt1->setWordWrap(true);
    m_prompt1->setGeometry(11, 11, 240, 33);
    m_prompt2 = new QLabel(this);
    m_prompt2->setObjectName(QStringLiteral("labPrompt2"));
    m_prompt2->setGeometry(11, 44, 240, 20);
    m_prompt2->hide();

    m_tree = new FolderTree(this);
    m_tree->setRootFolder(folderString(0));
    m_tree->setWhatsThis(whatsThisText(kHelpTree));

    m_ok = new QPushButton(QStringLiteral("OK"), this);
    m_ok->setObjectName(QStringLiteral("cmdOK"));
    m_ok->setGeometry(150, 270, 75, 23);
    m_ok->setDefault(true);
    m_ok->setWhatsThis(whatsThisText(kHelpOk));
    m_cancel = new QPushButton(QStringLiteral("Cancel"), this);
    m_cancel->setObjectName(QStringLiteral("cmdCancel"));
    m_cancel->setGeometry(231, 270, 75, 23);
    m_cancel->setWhatsThis(whatsThisText(kHelpCancel));
    connect(m_ok, &QPushButton::clicked, this, &FrmBrowseDlg::accept);
    connect(m_cancel, &QPushButton::clicked, this, &FrmBrowseDlg::reject);

    setShowPrompt2(false);
    // The tree is first in the tab order.
    setTabOrder(m_tree, m_ok);
    setTabOrder(m_ok, m_cancel);

    m_menu = new QMenu(this);
    m_menu->setObjectName(QStringLiteral("mnuContext"));
    QAction* whatsThis = m_menu->addAction(QStringLiteral("&What's This?"));
    whatsThis->setObjectName(QStringLiteral("mnuContextWhatsThis"));
    connect(whatsThis, &QAction::triggered, this, [this] {
        if (!m_ContextControl)
            return;
        m_lastHelpShown = helpNumberOf(m_ContextControl);
        QWhatsThis::showText(m_ContextControl->mapToGlobal(m_ContextControl->rect().center()),
                             whatsThisText(m_lastHelpShown), m_ContextControl);
        m_ContextControl = nullptr;
    });

    connect(m_tree, &FolderTree::folderSelected, this,
            [this](const QString& path) { emit SelectionChanged(path); });

    // Keys and right-button releases reach the dialog before its controls.
    for (QWidget* w : {static_cast<QWidget*>(m_tree), m_tree->viewport(),
                       static_cast<QWidget*>(m_ok), static_cast<QWidget*>(m_cancel)})
        w->installEventFilter(this);

    // Client area of a 324 x 331 framed dialog.
    setFixedSize(318, 303);
}

FrmBrowseDlg::~FrmBrowseDlg() = default;

void FrmBrowseDlg::setOwner(QWidget* frm) { m_Owner = frm; }
QString FrmBrowseDlg::prompt1() const { return m_prompt1->text(); }
void FrmBrowseDlg::setPrompt1(const QString& s) { m_prompt1->setText(s); }
QString FrmBrowseDlg::prompt2() const { return m_prompt2->text(); }
void FrmBrowseDlg::setPrompt2(const QString& s) { m_prompt2->setText(s); }
bool FrmBrowseDlg::showPrompt2() const { return !m_prompt2->isHidden(); }

void FrmBrowseDlg::setShowPrompt2(bool show)
{
    m_prompt2->setVisible(show);
    if (show)
        m_tree->setGeometry(10, 67, 298, 184);
    else
        m_tree->setGeometry(10, 43, 298, 208);
}

QString FrmBrowseDlg::rootFolder() const { return m_tree->rootFolder(); }
void FrmBrowseDlg::setRootFolder(const QString& s) { m_tree->setRootFolder(s); }
QString FrmBrowseDlg::preSelectedFolder() const { return m_tree->selectedFolder(); }
void FrmBrowseDlg::setPreSelectedFolder(const QString& s) { m_tree->setSelectedFolder(s); }

QString FrmBrowseDlg::folderString(int nFolder)
{
    switch (nFolder) {
    case 0:  // the desktop: the top of the folder namespace, here the file system's root
    case 17: // the computer
        return QDir::toNativeSeparators(QDir::rootPath());
    case 5: { // the user's documents
        const QString docs = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
        return QDir::toNativeSeparators(QDir(docs).exists() ? docs : QDir::homePath());
    }
    case 16: { // the desktop folder itself
        const QString desk = QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
        return QDir::toNativeSeparators(QDir(desk).exists() ? desk : QDir::homePath());
    }
    case 40: // the user's profile
        return QDir::toNativeSeparators(QDir::homePath());
    default:
        return QString();
    }
}

bool FrmBrowseDlg::Browse()
{
    m_HelpFile = qApp->property(kHelpFileProperty).toString();
    qApp->setProperty(kHelpFileProperty, QString::fromLatin1(kDialogHelpFile));

    std::optional<QPoint> owner;
    QSize screenSize(1024, 768);
    if (QScreen* s = (m_Owner ? m_Owner->screen() : QGuiApplication::primaryScreen()))
        screenSize = s->geometry().size();
    if (m_Owner)
        owner = m_Owner->frameGeometry().topLeft();
    move(browsePlacement(owner, kBrowseOuterSize, screenSize));

    m_tree->collapseAllButSelected();
    emit SelectionChanged(m_tree->selectedFolder());
    const QModelIndex sel = m_tree->currentIndex();
    if (sel.isValid())
        m_tree->scrollTo(sel);

    exec();
    restoreHelpFile();
    return m_SelectedFolder.has_value();
}

void FrmBrowseDlg::restoreHelpFile()
{
    qApp->setProperty(kHelpFileProperty, m_HelpFile);
}

void FrmBrowseDlg::accept()
{
    const QString folder = m_tree->selectedFolder();
    if (folder.isEmpty())
        m_SelectedFolder.reset();
    else
        m_SelectedFolder = folder;
    restoreHelpFile();
    QDialog::accept();
}

void FrmBrowseDlg::reject()
{
    m_SelectedFolder.reset();
    restoreHelpFile();
    QDialog::reject();
}

void FrmBrowseDlg::closeEvent(QCloseEvent* e)
{
    // The close box hides the dialog and keeps the instance for another
    // Browse; the program disposes of the dialog by deleting it.
    m_SelectedFolder.reset();
    restoreHelpFile();
    e->ignore();
    QDialog::reject();
}

void FrmBrowseDlg::showEvent(QShowEvent* e)
{
    QDialog::showEvent(e);
    m_tree->setFocus();
}

int FrmBrowseDlg::helpNumberOf(QWidget* control) const
{
    if (control == m_tree || control == m_tree->viewport())
        return kHelpTree;
    if (control == m_ok)
        return kHelpOk;
    if (control == m_cancel)
        return kHelpCancel;
    return 0;
}

void FrmBrowseDlg::openContextMenuFor(QWidget* control, const QPoint& globalPos)
{
    m_ContextControl = (control == m_tree->viewport()) ? m_tree : control;
    m_menu->exec(globalPos);
}

bool FrmBrowseDlg::eventFilter(QObject* watched, QEvent* e)
{
    auto* w = qobject_cast<QWidget*>(watched);
    if (w && e->type() == QEvent::MouseButtonRelease) {
        auto* me = static_cast<QMouseEvent*>(e);
        if (me->button() == Qt::RightButton) {
            openContextMenuFor(w, me->globalPosition().toPoint());
            return true;
        }
    }
    if (w && e->type() == QEvent::KeyPress) {
        auto* ke = static_cast<QKeyEvent*>(e);
        const auto mods = ke->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier);
        if (ke->key() == Qt::Key_F10 && mods == Qt::ShiftModifier) {
            QWidget* focus = QApplication::focusWidget();
            if (!focus || !isAncestorOf(focus))
                focus = w;
            openContextMenuFor(focus, QCursor::pos());
            return true;
        }
    }
    return QDialog::eventFilter(watched, e);
}

} // namespace quillon
