#include "gui/AboutGroup.h"

#include <QLabel>

#include "gui/Controls.h"
#include "monitor/TextIcon.h"
#include "platform/Version.h"
#include "smart/SmartHealth.h"

namespace quorvane {

TAboutGroup::TAboutGroup(QWidget* parent) : QGroupBox("About", parent) {
    setObjectName("AboutGB");
    setGeometry(266, 232, 219, 155);

    Image1 = new QLabel(this);
    Image1->setObjectName("Image1");
    Image1->setGeometry(8, 16, 32, 32);
    Image1->setPixmap(QPixmap(":/quorvane-32.png"));
    ProgNameL = MakeLabel(this, "ProgNameL", ProgramTitle, 48, 16);
    QFont bold = ProgNameL->font();
    bold.setBold(true);
    ProgNameL->setFont(bold);
    ProgNameL->adjustSize();
    VersionL = MakeLabel(this, "VersionL", "", 48, 33, 120);
    QFont tahoma = VersionL->font();
    tahoma.setFamilies({"Tahoma", "DejaVu Sans"});
    VersionL->setFont(tahoma);
    FlagI = new QLabel(this);
    FlagI->setObjectName("FlagI");
    FlagI->setGeometry(178, 16, 32, 16);
    FlagI->setPixmap(QPixmap(":/flag.png"));
    // Kernel numbers and a distribution name can take two lines.
    OSL = MakeLabel(this, "OSL", NotMeasuredText, 8, 52, 205);
    OSL->setWordWrap(true);
    OSL->resize(205, 28);
    OSL->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    HomeNL = MakeLabel(this, "HomeNL", "Homepage:", 8, 84);
    HomeL = new TLinkLabel(HomePageText, HomePageUrl, this);
    HomeL->setObjectName("HomeL");
    HomeL->move(76, 84);
    HomeL->adjustSize();
    MailNL = MakeLabel(this, "MailNL", "Support E-Mail:", 8, 101);
    MailL = new TLinkLabel(SupportMailbox, SupportMailTarget, this);
    MailL->setObjectName("MailL");
    MailL->move(8, 115);
    MailL->adjustSize();

    connect(HomeL, &TLinkLabel::Clicked, this, &TAboutGroup::OpenLinkRequested);
    connect(MailL, &TLinkLabel::Clicked, this, &TAboutGroup::OpenLinkRequested);
}

void TAboutGroup::ShowVersions(const std::string& version, const std::string& system) {
    if (!system.empty())
        OSL->setText(QString::fromStdString(system));
    VersionL->setText(QString::fromStdString(version));
    VersionL->adjustSize();
}

} // namespace quorvane
