#pragma once
// FrmMain: the main window. It shows the controls and menus, lays them out,
// keeps the result list, and forwards the search commands to the search
// session, which drives the window back through SearchView. The export
// command reads the list through ExportSource and talks back through ExportUi.
// Its code is split by concern:
//   main_window.cpp           construction, start-up state, events
//   main_window_controls.cpp  the controls and their layout, the splitter
//   main_window_menus.cpp     the menus and what every command is wired to
//   main_window_view.cpp      the search session's view (SearchView)
//   main_window_desktop.cpp   remembered settings, dropped folders
//   main_window_list.cpp      the result list's commands (sort, select, grid...)
//   main_window_files.cpp     open, containing folder, delete, the folder chooser
//   main_window_export.cpp    the export's row source and window
#include "main_layout.h"
#include "result_model.h"
#include "splitter_bar.h"

#include <export/export_list.h>
#include <export/export_table.h>
#include <export/export_ui.h>
#include <search/search_session.h>
#include <search/search_view.h>

#include <QMainWindow>
#include <QPointer>
#include <array>
#include <memory>

class QAction;
class QCheckBox;
class QComboBox;
class QDateEdit;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QMimeData;
class QProgressBar;
class QPushButton;
class QSettings;
class QTableView;

namespace quillon {

class DesktopShell;
class Trash;
class DlgAbout;
class FolderTree;
class FrmBrowseDlg;
class MessageBoxes;
class ProgramStarter;
class Registry;

// The product page that "&Veltrade Product Site" opens.
inline constexpr const char* kProductSiteAddress = "https://quillon.example.org/";

// The folder that holds filePath, with one trailing separator ("/" for a
// file at the top, never "//", which would name no folder).
QString containingFolderPath(const QString& filePath);

// The window's outside world. None of these is owned; all must outlive the window.
struct MainWindowServices {
    MessageBoxes* boxes = nullptr;
    DesktopShell* shell = nullptr;
    Registry* registry = nullptr;
    ProgramStarter* starter = nullptr;
    search::SessionOptions session;
    // Where the window remembers its state between runs; null: nothing is
    // read or written (tests, the screenshot run).
    QSettings* settings = nullptr;
    // Where Delete Files puts files; null: they are deleted for good.
    Trash* trash = nullptr;
};

class FrmMain : public QMainWindow,
                public search::SearchView,
                public exporting::ExportSource,
                public exporting::ExportUi {
    Q_OBJECT
public:
    explicit FrmMain(const MainWindowServices& services, QWidget* parent = nullptr);
    ~FrmMain() override;

    // --- search::SearchView
    void Post(std::function<void()> task) override;
    void SetEnabled(search::Control control, bool enabled) override;
    void SetCaption(search::Caption label, const std::string& text) override;
    void PlaceTotalPagesLabel() override;
    void SelectDateField(int index) override;
    void SetProgressMax(std::int64_t max) override;
    void SetProgressValue(std::int64_t value) override;
    void ClearRows() override;
    void AppendRows(std::vector<search::ResultRow>&& rows) override;
    std::size_t RowCount() const override;
    // Overrides both search::SearchView's and exporting::ExportUi's.
    void ShowMessage(const std::string& text, component::MessageIcon icon) override;
    void RunExport() override;
    void SearchFinished() override;

    // --- exporting::ExportSource
    std::size_t ColumnCount() const override;
    std::string ColumnHeader(std::size_t column) const override;
    std::string RowText(std::size_t row) const override;
    std::optional<std::string> SubItem(std::size_t row, std::size_t cell) const override;
    bool RowSelected(std::size_t row) const override;
    std::vector<exporting::NamedTable> ExtraSheets() const override;

    // --- exporting::ExportUi
    std::optional<exporting::SaveDialogAnswer> AskSavePath(const exporting::SaveDialogRequest& r) override;
    void SetProgressMax(int maximum) override;
    void SetProgressValue(int value) override;
    void SetBusy(bool busy) override;
    exporting::Answer Ask(const std::string& text, bool withCancel) override;
    void Written(const std::string& path) override;

    // The handlers, callable by tests as the controls call them.
    void lvwSearchResult_ColumnClick(int c);   // c: 1-based column position
    void lvwSearchResult_MouseDown(Qt::MouseButton button, const QPoint& globalPos);
    void chkSelectall_Click();
    void Grid_Click();
    void ResizeCols_Click();
    void cmdClear_Click();
    void clsResult_Click();
    void HideListMenuExtras();
    void AutoSizeColumns();
    void OpenCurrentFile();
    void OpenContainingFolder();
    void DeleteSelectedFiles(bool fromContextMenu);
    void cmdSelectPath_Click();
    QString BrowseForFolder(const QString& prompt, const QString& startFolder);
    void about_Click();
    // View > Page Sizes: shows the size columns and the A4 line, and has the
    // searches read sizes; rows already listed without them are counted again.
    void PageSizes_Click(bool on);
    bool pageSizesShown() const;
    // The totals as tables: by size name, and by folder at `depth` below the
    // search folder (header first, a Total line last).
    exporting::NamedTable sizeTotalsTable() const;
    exporting::NamedTable folderTotalsTable(int depth) const;
    // View > Totals by Size / Totals by Folder: the tables in a dialog.
    void TotalsBySize_Click();
    void TotalsByFolder_Click();
    QWidget* totalsDialog() const { return m_totals; }
    // Sets the search path as if typed (the tree follows).
    void setSearchPath(const QString& path);
    // The search folder a dropped path names (a file: its folder), or empty
    // text when the drop holds no local file or folder.
    static QString droppedSearchFolder(const QMimeData* mime);
    // Applies the resize rule to the current client size.
    void applyLayout();
    // What the controls' texts need in their fonts, in twips.
    TextRoom textRoom() const;
    // Keeps the outer window (frame and title included) at least at its
    // smallest size, and the client area at least at its design size.
    void applyMinimumSize();
    // Fits the window (frame included) to the available area of its screen,
    // centred there when `centre`.
    void fitToScreen(bool centre);
    // The widget that holds the controls (inside a scroll area that scrolls
    // only on a screen smaller than the window's smallest layout).
    QWidget* client() const { return m_client; }

    // Parts, for the start-up code and for tests.
    search::SearchSession& session() { return *m_session; }
    ResultListModel* model() const { return m_model; }
    QTableView* list() const { return m_list; }
    QMenu* sysMenu() const { return m_sys; }
    FolderTree* folderTree() const { return m_tree; }
    DlgAbout* aboutBox() const { return m_about; }
    int leftPaneWidth() const { return m_leftShown; }
    bool sortDescending() const { return m_sortDescending; }
    int sortColumn() const { return m_sortColumn; }

signals:
    // A search or a delete's rebuild has fully ended.
    void searchFinished();

protected:
    bool eventFilter(QObject* watched, QEvent* e) override;
    void showEvent(QShowEvent* e) override;
    void moveEvent(QMoveEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    void closeEvent(QCloseEvent* e) override;
    void dragEnterEvent(QDragEnterEvent* e) override;
    void dragMoveEvent(QDragMoveEvent* e) override;
    void dropEvent(QDropEvent* e) override;

private:
    void buildControls();
    void buildMenus();
    void connectControls();
    void FrmMain_Load();
    void searchCommand(int index);
    void restoreSettings();
    void saveSearchSettings();
    void saveWindowSettings();
    void saveExportSettings();
    void saveViewSettings();
    bool handleDrop(QEvent* e);
    void setLabelText(QLabel* label, const QString& text);
    QWidget* widgetFor(search::Control c) const;
    QAction* actionFor(search::Control c) const;
    double tppX() const;
    double tppY() const;
    int currentRow() const;
    void splitterDragged(int dxPixels);
    // Asks the desktop to open target; if it cannot, says so: "<what> could
    // not be opened", shownAs, and the desktop's reason.
    void openInDesktop(const QString& target, const QString& what, const QString& shownAs);
    void showFileName();
    void splitterDoubleClicked();
    // Fits the window once more when its frame first becomes known.
    void fitOnceFramed();
    // Orders the rows by the user's sort and shows its arrow.
    void applySort();

    MainWindowServices m_services;
    search::CriteriaHolder m_criteria;
    std::unique_ptr<search::SearchSession> m_session;

    QWidget* m_client = nullptr;
    // Path bar.
    QGroupBox* m_fraPath = nullptr;
    QLabel* m_lblSearchPath = nullptr;
    QLineEdit* m_txtSearchPath = nullptr;
    QPushButton* m_cmdSelectPath = nullptr;
    QPushButton* m_cmdClear = nullptr;
    // Left pane.
    QGroupBox* m_FraSelectPath = nullptr;
    FolderTree* m_tree = nullptr;
    QCheckBox* m_chkRecursive = nullptr;
    SplitterBar* m_SilderBar = nullptr;
    // Result pane.
    QGroupBox* m_fraSearchResult = nullptr;
    QTableView* m_list = nullptr;
    ResultListModel* m_model = nullptr;
    QLabel* m_lblTotalFiles = nullptr;
    QLabel* m_lblSearchTime = nullptr;
    QLabel* m_lblTotalPages = nullptr;
    QLabel* m_lblTotalA4 = nullptr;
    // Criteria band.
    QGroupBox* m_FraSearch = nullptr;
    std::array<QCheckBox*, 2> m_chkSearchOption{};
    QComboBox* m_cboDateFields = nullptr;
    QLabel* m_lblDateSearch = nullptr;
    QDateEdit* m_dtpFrom = nullptr;
    QDateEdit* m_dtpTo = nullptr;
    QLabel* m_lblFileName = nullptr;
    std::array<QPushButton*, 3> m_cmdControl{};
    QCheckBox* m_chkSelectall = nullptr;
    QProgressBar* m_ProgressBar1 = nullptr;

    // Menus.
    QAction *m_SSearch = nullptr, *m_SStop = nullptr, *m_Export = nullptr, *m_Exit = nullptr;
    QAction *m_Delete1 = nullptr, *m_SelectAll = nullptr;
    QMenu* m_sys = nullptr;
    QAction *m_Cont = nullptr, *m_mnuOPen = nullptr, *m_ResizeCols = nullptr, *m_Grid = nullptr;
    QAction *m_sep3 = nullptr, *m_Delete2 = nullptr, *m_clsResult = nullptr;
    QAction *m_IntSuppage = nullptr, *m_mnHelp = nullptr;
    QAction *m_PageSizes = nullptr, *m_TotalsBySize = nullptr, *m_TotalsByFolder = nullptr;

    // List sort state: one column and one direction for the whole list.
    int m_sortColumn = 0;
    bool m_sortDescending = true; // so that the first header click sorts ascending
    bool m_sorted = false;
    // The user's last sort, put back on the rows of every new search and
    // rebuild; its arrow is shown only over rows in that order.
    SortKey m_sortKey = SortKey::Name;
    int m_sortSection = 0;

    // The left pane's width as the user set it, and as shown: a window too
    // narrow for it shows less without forgetting it.
    PaneWidth m_pane{kDesignLeftPaneWidth, 0};
    int m_leftShown = kDesignLeftPaneWidth;
    // Where this run's last export went.
    QString m_lastExportFolder;
    // The date pickers' width for their widest date, and what it was measured for.
    mutable int m_datePickerWidth = 0;
    mutable QString m_datePickerKey;
    // The A4 equivalents of the listed rows and their pages of unknown size.
    std::int64_t m_a4Total = 0;
    std::int64_t m_unknownPages = 0;
    void showA4Total();
    // The folder the listed rows were searched in, and the folder depth last chosen.
    std::string m_searchRoot;
    int m_folderDepth = 1;
    QPointer<QWidget> m_totals;
    QPointer<FrmBrowseDlg> m_browse;
    DlgAbout* m_about = nullptr;
    exporting::ExportChoices m_exportChoices; // remembered with the settings
    bool m_loaded = false;
    bool m_shownOnce = false;
    bool m_centred = false; // the window was centred, having no geometry of its own
    bool m_fittedFramed = false;
};

} // namespace quillon
