#pragma once
// frmSplash: shown modally for one tick of Timer1 (1000 ms) before the main window.
#include <QDialog>

class QTimer;

namespace quillon {

class FrmSplash : public QDialog {
    Q_OBJECT
public:
    explicit FrmSplash(QWidget* parent = nullptr);
    QTimer* timer() const { return m_timer; }

private:
    QTimer* m_timer;
};

} // namespace quillon
