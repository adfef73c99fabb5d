// The field-choice dialog of the export command.
//
// Library: quillon_export_ui.
#pragma once

#include <QDialog>

class QGroupBox;
class QListWidget;
class QPushButton;
class QRadioButton;

namespace exporting {

class DlgChooseExport : public QDialog {
    Q_OBJECT
public:
    // Loads the dialog in its design state; copies `owner`'s window icon.
    explicit DlgChooseExport(QWidget* owner);

    // True when no item of lstFields is checked.
    bool NoFieldChecked() const;
    // Twips per pixel of this screen (1440 / logical DPI).
    double TwipsPerPixel() const;

    // Set by Cancel (and by closing the window); read after the dialog closes.
    bool IsCancel = false;

    QListWidget* lstFields = nullptr;
    QRadioButton* optExport[2] = {nullptr, nullptr};  // 0 "Export Selected", 1 "Export All"
    QGroupBox* Frame1 = nullptr;
    QRadioButton* Option1[2] = {nullptr, nullptr};  // 0 "To Text File", 1 "To Excel File"
    QPushButton* cmdOK = nullptr;
    QPushButton* cmdCancel = nullptr;

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void cmdOK_Click();
    void cmdCancel_Click();
    void lstFields_ItemCheck();
    QRect Twips(int left, int top, int width, int height) const;
    void FitCaptions();

    QWidget* owner_;
};

}  // namespace exporting
