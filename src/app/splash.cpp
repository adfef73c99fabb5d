#include "splash.h"

#include "icons.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QTimer>
#include <QVBoxLayout>

namespace quillon {

FrmSplash::FrmSplash(QWidget* parent) : QDialog(parent), m_timer(new QTimer(this))
{
    setObjectName(QStringLiteral("frmSplash"));
    setWindowFlags(Qt::SplashScreen | Qt::FramelessWindowHint);
    setModal(true);

    auto* frame = new QFrame(this);
    frame->setObjectName(QStringLiteral("Frame1"));
    frame->setFrameShape(QFrame::Box);
    auto* outer = new QVBoxLayout(this);
    outer->addWidget(frame);

    auto* picture = new QFrame(frame);
    picture->setObjectName(QStringLiteral("Picture1"));
    auto* image = new QLabel(picture);
    image->setObjectName(QStringLiteral("Image1"));
    image->setPixmap(programLogo(96));
    auto* picLayout = new QVBoxLayout(picture);
    picLayout->addWidget(image);

    auto label = [frame](const char* name, const QString& text) {
        auto* l = new QLabel(text, frame);
        l->setObjectName(QString::fromLatin1(name));
        l->setWordWrap(true);
        return l;
    };
    QLabel* title = label("Label1", QStringLiteral("QUILLON COUNTER " QUILLON_VERSION));
    QFont f = title->font();
    f.setPointSize(f.pointSize() + 8);
    f.setBold(true);
    title->setFont(f);
    QLabel* l3 = label("Label3", QStringLiteral("Counts the pages of TIFF and PDF files below a folder."));
    QLabel* l4 = label("Label4", QStringLiteral("Support: quillon@example.org"));
    QLabel* l5 = label("Label5", QStringLiteral("Copyright \u00A9 the Quillon developers."));
    QLabel* l6 = label("Label6", QStringLiteral("Warning: this program is protected by copyright law. "
                                                "Unauthorised copying or distribution is prohibited."));

    auto* text = new QVBoxLayout;
    text->addWidget(title);
    text->addWidget(l3);
    text->addWidget(l4);
    text->addWidget(l5);
    text->addStretch();
    text->addWidget(l6);
    auto* row = new QHBoxLayout(frame);
    row->addWidget(picture);
    row->addLayout(text, 1);
    resize(460, 220);

    m_timer->setObjectName(QStringLiteral("Timer1"));
    m_timer->setInterval(1000);
    m_timer->setSingleShot(true);
    connect(m_timer, &QTimer::timeout, this, &QDialog::accept);
    m_timer->start();
}

} // namespace quillon
