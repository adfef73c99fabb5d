#pragma once
// A small table of totals (by size, by folder) that the user can read and
// copy, with an optional depth chooser that asks for the table again.
#include <QDialog>
#include <QString>
#include <QStringList>

#include <functional>

class QPushButton;
class QSpinBox;
class QTableWidget;

namespace quillon {

class TotalsDialog : public QDialog {
    Q_OBJECT
public:
    struct Table {
        QStringList header;
        QList<QStringList> rows;
    };
    // `depthTable`, when given, makes the table at a depth; a depth chooser
    // then shows above the table, starting at `depth`.
    TotalsDialog(const QString& title, QWidget* parent, std::function<Table(int)> depthTable = {}, int depth = 1);
    void setTable(const Table& table);
    // The table as tab-separated lines, header first: what Copy puts on the clipboard.
    QString tableText() const;
    int depth() const;
    QTableWidget* table() const { return m_table; }

private:
    void fitToTable();
    QTableWidget* m_table = nullptr;
    QSpinBox* m_depth = nullptr;
    QPushButton* m_copy = nullptr;
    std::function<Table(int)> m_depthTable;
};

} // namespace quillon
