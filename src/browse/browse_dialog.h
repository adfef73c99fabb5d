#pragma once
// frmBrowseDlg: the modal "Browse For Folder" dialog. Set its properties,
// call Browse(), then read SelectedFolder() when it returned true.
#include <QDialog>
#include <QPoint>
#include <QPointer>
#include <QSize>
#include <QString>
#include <optional>

class QLabel;
class QMenu;
class QPushButton;

namespace quillon {

class FolderTree;

// The dialog's outer size once Browse has placed it.
inline constexpr QSize kBrowseOuterSize{324, 331};

// Where Browse puts the dialog's upper left corner: 73/76 pixels right of and
// below the owner's corner, kept on the screen; without an owner 73/76 from
// the screen's corner.
QPoint browsePlacement(std::optional<QPoint> ownerTopLeft, QSize dialogSize, QSize screenSize);

// What's This help numbers of the dialog's controls, and our own texts for them.
inline constexpr int kHelpTree = 2224;
inline constexpr int kHelpOk = 28443;
inline constexpr int kHelpCancel = 28444;
QString whatsThisText(int helpNumber);

class FrmBrowseDlg : public QDialog {
    Q_OBJECT
public:
    explicit FrmBrowseDlg(QWidget* parent = nullptr);
    ~FrmBrowseDlg() override;

    /// Sets the object reference of the browse dialog's parent form. The dialog will be modal
    /// and displayed 73 pixels to the right and 76 pixels below the upper left corner of the
    /// owner form.
    void setOwner(QWidget* frm);
    /// Returns/sets the text that is displayed as the first (upper) dialog prompt. This
    /// property setting is only evaluated before the dialog opens.
    QString prompt1() const;
    void setPrompt1(const QString& sPrompt);
    /// Returns/sets the text that is displayed as the second (lower) dialog prompt.
    /// ShowPrompt2 must be set to True to display this prompt. Can be set in the
    /// SelectionChanged event while the dialog is shown.
    QString prompt2() const;
    void setPrompt2(const QString& sPrompt);
    /// Returns/sets a value that determines whether the second (lower) dialog prompt is
    /// visible. This property setting is only evaluated before the dialog opens.
    bool showPrompt2() const;
    void setShowPrompt2(bool show);
    /// Returns/sets the root folder in the dialog box. This property setting is only
    /// evaluated before the dialog opens.
    QString rootFolder() const;
    void setRootFolder(const QString& sFolder);
    /// Returns/sets the initially selected folder in the dialog box. This property setting is
    /// only evaluated before the dialog opens.
    QString preSelectedFolder() const;
    void setPreSelectedFolder(const QString& sFolder);

    /// Displays the Browse for Folder dialog box. Returns True if a folder selection was made
    /// and the OK button was clicked, returns False if the Cancel button was clicked or the
    /// dialog was close from the control menu.
    bool Browse();
    /// Returns the Folder object selected by the user. This property is set after the dialog
    /// is closed by an OK button click.
    std::optional<QString> selectedFolder() const { return m_SelectedFolder; }
    /// Returns the display name or path of a special shell folder specified by a
    /// ftvSpecialFolderConstants value. Can be assigned directly to the RootFolder and
    /// PreSelectedFolder properties.
    static QString folderString(int nFolder);

    // Controls, for the owner and for tests.
    FolderTree* tree() const { return m_tree; }
    QPushButton* okButton() const { return m_ok; }
    QPushButton* cancelButton() const { return m_cancel; }
    QLabel* prompt1Label() const { return m_prompt1; }
    QLabel* prompt2Label() const { return m_prompt2; }
    QMenu* contextMenu() const { return m_menu; }

    // Pops up mnuContext for a control; returns when the menu closes.
    void openContextMenuFor(QWidget* control, const QPoint& globalPos);
    // Help number shown by the last "What's This?" (0 before any).
    int lastHelpShown() const { return m_lastHelpShown; }

signals:
    void SelectionChanged(const QString& folder);

protected:
    void closeEvent(QCloseEvent* e) override;
    void showEvent(QShowEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;

public slots:
    void accept() override;
    void reject() override;

private:
    void restoreHelpFile();
    int helpNumberOf(QWidget* control) const;

    QPointer<QWidget> m_Owner;
    std::optional<QString> m_SelectedFolder;
    QPointer<QWidget> m_ContextControl;
    QString m_HelpFile;
    int m_lastHelpShown = 0;

    QLabel* m_prompt1;
    QLabel* m_prompt2;
    FolderTree* m_tree;
    QPushButton* m_ok;
    QPushButton* m_cancel;
    QMenu* m_menu;
};

} // namespace quillon
