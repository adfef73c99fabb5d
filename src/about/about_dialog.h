#pragma once
// dlgAbout: the modeless about box, created once and shown again on later clicks.
#include <QDialog>

class QPushButton;

namespace quillon {

class MessageBoxes;
class Registry;
class ProgramStarter;

class DlgAbout : public QDialog {
    Q_OBJECT
public:
    // The interfaces are not owned and must outlive the box.
    DlgAbout(Registry& registry, ProgramStarter& starter, MessageBoxes& boxes,
             QWidget* parent = nullptr);

    QPushButton* okButton() const { return m_ok; }
    QPushButton* sysInfoButton() const { return m_sysInfo; }

private:
    Registry& m_registry;
    ProgramStarter& m_starter;
    MessageBoxes& m_boxes;
    QPushButton* m_ok;
    QPushButton* m_sysInfo;
};

} // namespace quillon
