// The main window's Information group: the selected drive's identity, size,
// feature flags and temperatures, the vendor's logo and the AAM and APM
// groups. It shows what the core's screen state holds.
#pragma once

#include <QGroupBox>
#include <QPixmap>
#include <array>

#include "app/ScreenState.h"

class QLabel;

namespace quorvane {

class TFeatureGroup;

class TInformationGroup : public QGroupBox {
    Q_OBJECT

public:
    explicit TInformationGroup(QWidget* parent);

    // Copies the panel: captions, enabled states and the logo.
    void ShowPanel(const InfoPanel& panel);
    // The captions of HDDTempL, HDDTempLoL, HDDTempHiL and HDDAirTempL.
    void ShowTemperatures(const TemperatureCaptions& captions);

    QLabel* HDDSNNL;
    QLabel* HDDSNL;
    QLabel* HDDFirmwareNL;
    QLabel* HDDFirmwareL;
    QLabel* HDDModelNL;
    QLabel* HDDModelL;
    QLabel* HDDSizeNL;
    QLabel* HDDSizeL;
    QLabel* HDDHPANL;
    QLabel* HDDHPAUL;
    QLabel* HDDLBA48L;
    QLabel* HDDSMARTL;
    QLabel* HDDHPAL;
    QLabel* HDDSecML;
    QLabel* HDDTempNL;
    QLabel* HDDTempL;
    QLabel* HDDTempLoL;
    QLabel* HDDTempHiL;
    QLabel* HDDAirTempL;
    QLabel* HDDLogoI;
    TFeatureGroup* AAMGB;
    TFeatureGroup* APMGB;

private:
    // The vendor logo of the index the core gives (121 x 33), read when
    // first shown: most runs show one or two of them, if any.
    const QPixmap& Logo(size_t index);
    std::array<QPixmap, 9> logos_;
};

} // namespace quorvane
