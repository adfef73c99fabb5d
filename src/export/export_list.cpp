#include "export/export_list.h"

#include "export/dlg_choose_export.h"

#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>

#include <algorithm>
#include <exception>
#include <memory>
#include <new>

namespace exporting {

void ExportList(ExportSource& source, ExportUi& ui, QWidget* owner, ExportChoices* remembered) {
    // A fresh dialog per export, in its design state or the remembered choices.
    auto dlg = std::make_unique<DlgChooseExport>(owner);
    dlg->lstFields->clear();
    const std::size_t columns = source.ColumnCount();
    for (std::size_t i = 1; i < columns; ++i) {  // the hidden last column is not offered
        auto* item = new QListWidgetItem(QString::fromStdString(source.ColumnHeader(i)), dlg->lstFields);
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(Qt::Checked);
    }
    if (remembered) {
        const auto& cleared = remembered->clearedFields;
        for (int i = 0; i < dlg->lstFields->count(); ++i) {
            QListWidgetItem* item = dlg->lstFields->item(i);
            if (std::find(cleared.begin(), cleared.end(), item->text().toStdString()) != cleared.end())
                item->setCheckState(Qt::Unchecked);
        }
        // Remembered choices that leave nothing to export are no choice.
        if (dlg->NoFieldChecked())
            for (int i = 0; i < dlg->lstFields->count(); ++i) dlg->lstFields->item(i)->setCheckState(Qt::Checked);
        dlg->cmdOK->setEnabled(true);
        dlg->Option1[remembered->toWorkbook ? 1 : 0]->setChecked(true);
    }

    dlg->exec();
    if (dlg->IsCancel) return;
    if (dlg->NoFieldChecked()) {
        ui.ShowMessage(kNoColumnsMessage, MessageIcon::Warning);
        return;
    }

    std::vector<bool> checked;
    for (int i = 0; i < dlg->lstFields->count(); ++i) {
        checked.push_back(dlg->lstFields->item(i)->checkState() == Qt::Checked);
    }
    const bool selectedOnly = dlg->optExport[0]->isChecked();
    const bool toWorkbook = !dlg->Option1[0]->isChecked();
    if (remembered) {
        remembered->clearedFields.clear();
        for (int i = 0; i < dlg->lstFields->count(); ++i)
            if (!checked[static_cast<std::size_t>(i)])
                remembered->clearedFields.push_back(dlg->lstFields->item(i)->text().toStdString());
        remembered->toWorkbook = toWorkbook;
    }
    dlg.reset();  // the dialog is gone before the save dialog appears

    try {
        ExportTable table = BuildExportTable(source, checked, selectedOnly);
        // The caret text writes the list alone; a workbook adds these sheets.
        for (NamedTable& sheet : source.ExtraSheets()) table.AddSheet(std::move(sheet));
        SaveExportFile(table, toWorkbook, ui, remembered);
    } catch (const std::bad_alloc&) {
        ui.SetBusy(false);
        ui.ShowMessage("The list could not be exported: there is not enough memory.", MessageIcon::Critical);
    } catch (const std::exception& e) {
        ui.SetBusy(false);
        ui.ShowMessage(std::string("The list could not be exported: ") + e.what(), MessageIcon::Critical);
    }
}

}  // namespace exporting
