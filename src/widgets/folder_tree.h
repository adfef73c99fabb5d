#pragma once
// FTV1: a tree of the file system's folders (no files). Selecting a folder
// by hand emits folderSelected; setting it from the program does not, so the
// path box and the tree can follow each other without echoing.
#include <QString>
#include <QTreeView>

class QFileSystemModel;

namespace quillon {

class FolderTree : public QTreeView {
    Q_OBJECT
public:
    explicit FolderTree(QWidget* parent = nullptr);

    // Root of the tree, as a path ("/" unless changed).
    QString rootFolder() const { return m_root; }
    void setRootFolder(const QString& path);

    // Selects and shows the folder named by text; returns false when the text
    // names no folder (the selection is then left as it was).
    bool setSelectedFolder(const QString& text);
    // Path of the selected folder, or empty text when nothing is selected.
    QString selectedFolder() const;

    // Closes every branch except the path to the selected folder.
    void collapseAllButSelected();

signals:
    void folderSelected(const QString& path);

protected:
    void focusInEvent(QFocusEvent* e) override;
    void showEvent(QShowEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    void wheelEvent(QWheelEvent* e) override;

private:
    void reveal();

    QFileSystemModel* m_model;
    QString m_root;
    bool m_settingFromProgram = false;
    // The folder the program selected is kept in view, while the tree is
    // shown, sized and its folders load, until the user moves the tree.
    bool m_revealSelected = false;
};

} // namespace quillon
