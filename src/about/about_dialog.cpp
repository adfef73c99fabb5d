#include "about_dialog.h"

#include "icons.h"
#include "sys_info.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace quillon {

DlgAbout::DlgAbout(Registry& registry, ProgramStarter& starter, MessageBoxes& boxes, QWidget* parent)
    : QDialog(parent), m_registry(registry), m_starter(starter), m_boxes(boxes)
{
    setObjectName(QStringLiteral("dlgAbout"));
    setWindowTitle(QStringLiteral("About"));
    setModal(false);
    QFont verdana(QStringLiteral("Verdana"));
    setFont(verdana);

    auto* frame = new QFrame(this);
    frame->setObjectName(QStringLiteral("Frame1"));
    frame->setFrameShape(QFrame::StyledPanel);
    auto* image = new QLabel(frame);
    image->setObjectName(QStringLiteral("Image1"));
    image->setPixmap(programLogo(64));

    auto label = [this](const char* name, const QString& text) {
        auto* l = new QLabel(text, this);
        l->setObjectName(QString::fromLatin1(name));
        l->setWordWrap(true);
        return l;
    };
    QLabel* title = label("Label1", QStringLiteral("QUILLON COUNTER " QUILLON_VERSION));
    QFont bold = title->font();
    bold.setBold(true);
    bold.setPointSize(bold.pointSize() + 4);
    title->setFont(bold);
    QLabel* l3 = label("Label3", QStringLiteral("Support: quillon@example.org"));
    QLabel* l4 = label("Label4", QStringLiteral("Quillon counts the pages of the TIFF and PDF files below a folder."));
    QLabel* l5 = label("Label5", QStringLiteral("https://quillon.example.org/"));
    QLabel* l6 = label("Label6", QStringLiteral("Warning: this program is protected by copyright law. "
                                                "Unauthorised reproduction or distribution of it, or of any "
                                                "part of it, is prohibited."));
    auto* line = new QFrame(this);
    line->setObjectName(QStringLiteral("Line1"));
    line->setFrameShape(QFrame::HLine);

    m_ok = new QPushButton(QStringLiteral("&OK"), this);
    m_ok->setObjectName(QStringLiteral("cmdOk"));
    m_ok->setDefault(true);
    m_sysInfo = new QPushButton(QStringLiteral("System Info..."), this);
    m_sysInfo->setObjectName(QStringLiteral("cmdSysInfo"));

    auto* frameLayout = new QHBoxLayout(frame);
    frameLayout->addWidget(image, 0, Qt::AlignTop);
    auto* texts = new QVBoxLayout;
    texts->addWidget(title);
    texts->addWidget(l4);
    texts->addWidget(l3);
    texts->addWidget(l5);
    frameLayout->addLayout(texts, 1);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(l6, 1);
    auto* buttonColumn = new QVBoxLayout;
    buttonColumn->addWidget(m_ok);
    buttonColumn->addWidget(m_sysInfo);
    buttons->addLayout(buttonColumn);

    auto* outer = new QVBoxLayout(this);
    outer->addWidget(frame);
    outer->addWidget(line);
    outer->addLayout(buttons);
    resize(480, 260);

    connect(m_ok, &QPushButton::clicked, this, &QDialog::close);
    connect(m_sysInfo, &QPushButton::clicked, this,
            [this] { StartSysInfo(m_registry, m_starter, m_boxes, this); });
}

} // namespace quillon
