#include "export/export_list.h"

#include "export/dlg_choose_export.h"

#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>

#include <exception>
#include <memory>
#include <new>

namespace exporting {

void ExportList(ExportSource& source, ExportUi& ui, QWidget* owner) {
    // A fresh dialog per export: the choices are never remembered.
    auto dlg = std::make_unique<DlgChooseExport>(owner);
    dlg->lstFields->clear();
    const std::size_t columns = source.ColumnCount();
    for (std::size_t i = 1; i < columns; ++i) {  // the hidden last column is not offered
        auto* item = new QListWidgetItem(QString::fromStdString(source.ColumnHeader(i)), dlg->lstFields);
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(Qt::Checked);
    }

    dlg->exec();
    if (dlg->IsCancel) return;
    if (dlg->NoFieldChecked()) {
        ui.ShowMessage(kNoColumnsMessage, MessageIcon::Exclamation);
        return;
    }

    std::vector<bool> checked;
    for (int i = 0; i < dlg->lstFields->count(); ++i) {
        checked.push_back(dlg->lstFields->item(i)->checkState() == Qt::Checked);
    }
    const bool selectedOnly = dlg->optExport[0]->isChecked();
    const bool toWorkbook = !dlg->Option1[0]->isChecked();
    dlg.reset();  // the dialog is gone before the save dialog appears

    try {
        const ExportTable table = BuildExportTable(source, checked, selectedOnly);
        SaveExportFile(table, toWorkbook, ui);
    } catch (const std::bad_alloc&) {
        ui.SetBusy(false);
        ui.ShowMessage("The list could not be exported: there is not enough memory.", MessageIcon::Critical);
    } catch (const std::exception& e) {
        ui.SetBusy(false);
        ui.ShowMessage(std::string("The list could not be exported: ") + e.what(), MessageIcon::Critical);
    }
}

}  // namespace exporting
