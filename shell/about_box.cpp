#include "shell/about_box.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "shell/version_info.h"
#include "shell/web_link_label.h"

namespace tarnel::shell {

namespace {
QLabel* MakeLabel(QWidget* parent, const QString& text, bool bold, Qt::Alignment align = Qt::AlignLeft)
{
    auto* label = new QLabel(text, parent);
    if (bold) {
        QFont f = label->font();
        f.setBold(true);
        label->setFont(f);
    }
    label->setAlignment(align | Qt::AlignVCenter);
    return label;
}
} // namespace

TAboutBox::TAboutBox(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("AboutBox"));
    setWindowTitle(QStringLiteral("About"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);

    // Every label sits on one bevelled panel, raised outside and lowered inside.
    auto* panel = new QFrame(this);
    panel->setFrameStyle(QFrame::Panel | QFrame::Raised);
    panel->setLineWidth(2);
    auto* inner = new QFrame(panel);
    inner->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    auto* panelLayout = new QVBoxLayout(panel);
    panelLayout->setContentsMargins(4, 4, 4, 4);
    panelLayout->addWidget(inner);

    ProgramIcon = new QLabel(inner);
    ProgramIcon->setObjectName(QStringLiteral("ProgramIcon"));
    ProgramIcon->setFixedSize(73, 73);
    ProgramIcon->setPixmap(QPixmap(QStringLiteral(":/icons/tarnel-73.png")));

    Group = MakeLabel(inner, QStringLiteral("VANTOR"), true);
    Group->setObjectName(QStringLiteral("Group"));
    QFont big = Group->font();
    big.setPixelSize(24);
    Group->setFont(big);
    ProductName = MakeLabel(inner, QStringLiteral("Tarnel - Database Program"), true);
    ProductName->setObjectName(QStringLiteral("ProductName"));
    VersionLabel = MakeLabel(inner, QString(), false, Qt::AlignHCenter);
    VersionLabel->setObjectName(QStringLiteral("VersionLabel"));
    CopyRightLabel = MakeLabel(inner, QString(), false, Qt::AlignHCenter);
    CopyRightLabel->setObjectName(QStringLiteral("CopyRightLabel"));
    Comments = MakeLabel(inner, QString::fromLatin1(kMakerName), true);
    Comments->setObjectName(QStringLiteral("Comments"));
    Display4 = MakeLabel(inner, QString::fromLatin1(kAuthorLine), false, Qt::AlignHCenter);
    Display4->setObjectName(QStringLiteral("Display4"));
    Display4->setWordWrap(true);
    Display4->setMinimumWidth(340);
    LinkLabel1 = new TWebLinkLabel(inner);
    LinkLabel1->setObjectName(QStringLiteral("LinkLabel1"));
    QFont linkFont = LinkLabel1->font();
    linkFont.setBold(true);
    LinkLabel1->setFont(linkFont);
    LinkLabel1->setAlignment(Qt::AlignCenter);

    auto* head = new QHBoxLayout;
    head->addWidget(ProgramIcon, 0, Qt::AlignTop);
    auto* names = new QVBoxLayout;
    names->addWidget(Group);
    names->addWidget(ProductName);
    names->addStretch();
    head->addLayout(names, 1);

    auto* innerLayout = new QVBoxLayout(inner);
    innerLayout->addLayout(head);
    innerLayout->addSpacing(6);
    innerLayout->addWidget(VersionLabel);
    innerLayout->addWidget(CopyRightLabel);
    innerLayout->addSpacing(10);
    innerLayout->addWidget(Comments);
    innerLayout->addWidget(Display4);
    innerLayout->addWidget(LinkLabel1);

    OKButton = new QPushButton(QStringLiteral("OK"), this);
    OKButton->setObjectName(QStringLiteral("OKButton"));
    OKButton->setDefault(true);
    connect(OKButton, &QPushButton::clicked, this, &QDialog::accept);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(panel);
    layout->addWidget(OKButton, 0, Qt::AlignHCenter);
    // A fixed border: the box keeps the size its contents ask for.
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

void TAboutBox::RefreshTexts()
{
    CopyRightLabel->setText(QString::fromStdString(CopyrightText()));
    VersionLabel->setText(QString::fromStdString(VersionText()));
}

void ShowAboutBox(TAboutBox& box)
{
    box.RefreshTexts();
    box.exec();
}

} // namespace tarnel::shell
