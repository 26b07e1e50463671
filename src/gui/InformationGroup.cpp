#include "gui/InformationGroup.h"

#include <QLabel>
#include <QPainter>

#include "app/FeatureLevels.h"
#include "gui/Controls.h"
#include "gui/FeatureGroup.h"
#include "smart/SmartHealth.h"

namespace quorvane {

namespace {
constexpr uint32_t Blue = 0x00FF0000;
constexpr uint32_t Red = 0x000000FF;
} // namespace

TInformationGroup::TInformationGroup(QWidget* parent) : QGroupBox("Information", parent) {
    setObjectName("InformationGB");
    setGeometry(8, 72, 481, 157);

    constexpr int valueX = 118;
    HDDModelNL = MakeLabel(this, "HDDModelNL", "Model Number:", 8, 20);
    HDDModelL = MakeLabel(this, "HDDModelL", NotMeasuredText, valueX, 20, 236);
    SetTextColor(HDDModelL, Blue);
    HDDSNNL = MakeLabel(this, "HDDSNNL", "Serial Number:", 8, 38);
    HDDSNL = MakeLabel(this, "HDDSNL", NotMeasuredText, valueX, 38, 236);
    HDDFirmwareNL = MakeLabel(this, "HDDFirmwareNL", "Firmware Revision:", 8, 56);
    HDDFirmwareL = MakeLabel(this, "HDDFirmwareL", NotMeasuredText, valueX, 56, 120);

    HDDSizeNL = MakeLabel(this, "HDDSizeNL", "Size, GB:", 8, 74);
    HDDSizeL = MakeLabel(this, "HDDSizeL", NotMeasuredText, 62, 74, 56);
    SetTextColor(HDDSizeL, Blue);
    HDDHPANL = MakeLabel(this, "HDDHPANL", "HPA, MB:", 120, 74);
    HDDHPAUL = MakeLabel(this, "HDDHPAUL", NotMeasuredText, 176, 74, 56);

    HDDLBA48L = MakeLabel(this, "HDDLBA48L", "LBA48", 8, 92);
    HDDSMARTL = MakeLabel(this, "HDDSMARTL", "S.M.A.R.T.", 54, 92);
    HDDHPAL = MakeLabel(this, "HDDHPAL", "HPA", 124, 92);
    HDDSecML = MakeLabel(this, "HDDSecML", "Security", 158, 92);
    SetTextColor(HDDSecML, Blue);

    HDDTempNL = MakeLabel(this, "HDDTempNL", QString::fromUtf8("Temperature, °C:"), 8, 112);
    HDDTempL = MakeLabel(this, "HDDTempL", NotMeasuredText, 112, 112, 28);
    HDDTempL->setToolTip("Temperature");
    HDDTempLoL = MakeLabel(this, "HDDTempLoL", NotMeasuredText, 140, 112, 28);
    HDDTempLoL->setToolTip("Low Airflow Temperature");
    SetTextColor(HDDTempLoL, Blue);
    HDDTempHiL = MakeLabel(this, "HDDTempHiL", NotMeasuredText, 168, 112, 28);
    HDDTempHiL->setToolTip("High Airflow Temperature");
    SetTextColor(HDDTempHiL, Red);
    HDDAirTempL = MakeLabel(this, "HDDAirTempL", NotMeasuredText, 196, 112, 28);
    HDDAirTempL->setToolTip("Airflow Temperature");

    for (QLabel* l : {HDDLBA48L, HDDSMARTL, HDDHPAL, HDDHPANL, HDDHPAUL, HDDSecML, HDDTempNL,
                      HDDTempL, HDDTempLoL, HDDTempHiL, HDDAirTempL})
        l->setEnabled(false);

    HDDLogoI = new QLabel(this);
    HDDLogoI->setObjectName("HDDLogoI");
    HDDLogoI->setGeometry(352, 20, 121, 33);

    AAMGB = new TFeatureGroup("AAM", FeatureName(Feature::AAM),
                              QString::fromStdString(FeatureGetHint(Feature::AAM)),
                              QString::fromStdString(FeatureSetHint(Feature::AAM)), this);
    AAMGB->setGeometry(240, 54, 115, 97);
    APMGB = new TFeatureGroup("APM", FeatureName(Feature::APM),
                              QString::fromStdString(FeatureGetHint(Feature::APM)),
                              QString::fromStdString(FeatureSetHint(Feature::APM)), this);
    APMGB->setGeometry(358, 54, 115, 97);
}

void TInformationGroup::ShowPanel(const InfoPanel& panel) {
    HDDSNL->setText(CoreText(panel.HDDSNL));
    HDDFirmwareL->setText(CoreText(panel.HDDFirmwareL));
    HDDModelL->setText(CoreText(panel.HDDModelL));
    HDDSizeL->setText(CoreText(panel.HDDSizeL));
    HDDHPAUL->setText(CoreText(panel.HDDHPAUL));
    HDDLBA48L->setEnabled(panel.HDDLBA48LEnabled);
    HDDSMARTL->setEnabled(panel.HDDSMARTLEnabled);
    for (QLabel* l : {HDDHPAL, HDDHPANL, HDDHPAUL})
        l->setEnabled(panel.HDDHPALEnabled);
    HDDSecML->setEnabled(panel.HDDSecMLEnabled);
    for (QLabel* l : {HDDTempNL, HDDTempL, HDDTempLoL, HDDTempHiL, HDDAirTempL})
        l->setEnabled(panel.HDDTempEnabled);

    QPixmap logo(HDDLogoI->size());
    logo.fill(Qt::white);
    if (panel.LogoIndex && *panel.LogoIndex >= 0 &&
        *panel.LogoIndex < static_cast<int>(logos_.size())) {
        QPainter painter(&logo);
        painter.drawPixmap(0, 0, Logo(static_cast<size_t>(*panel.LogoIndex)));
    }
    HDDLogoI->setPixmap(logo);
    AAMGB->Show(panel.AAMGB);
    APMGB->Show(panel.APMGB);
}

const QPixmap& TInformationGroup::Logo(size_t index) {
    QPixmap& logo = logos_[index];
    if (logo.isNull())
        logo = QPixmap(QString(":/logos/logo%1.png").arg(index));
    return logo;
}

void TInformationGroup::ShowTemperatures(const TemperatureCaptions& captions) {
    HDDTempL->setText(CoreText(captions.HDDTempL));
    HDDTempLoL->setText(CoreText(captions.HDDTempLoL));
    HDDTempHiL->setText(CoreText(captions.HDDTempHiL));
    HDDAirTempL->setText(CoreText(captions.HDDAirTempL));
}

} // namespace quorvane
