// The MBR window: one group per primary partition slot, the disk and boot
// signatures and a bar diagram of where the partitions lie. It is made once
// at start-up and shown modally for every reading.
#pragma once

#include <QDialog>
#include <QHash>
#include <QImage>
#include <array>

#include "ata/DriveBus.h"
#include "app/DriveTable.h"
#include "mbr/MbrWindow.h"

class QGroupBox;
class QLabel;
class QTreeWidget;

namespace quorvane {

// A picture of the core (0x00BBGGRR pixels, top row first) as an image.
QImage ToImage(const MbrBitmap& bitmap);

class TMBRForm : public QDialog {
    Q_OBJECT

public:
    explicit TMBRForm(QWidget* parent);

    // One reading of the drive in `slot` (the drive list's item index + 1),
    // then the window shown modally. When nothing could be read the window
    // is not shown and keeps what it showed before.
    void MBRReadSBClick(DriveBus& bus, const ProgramData& data, int slot);
    // The reading alone: fills the window, false when nothing was read.
    bool ReadDrive(DriveBus& bus, const ProgramData& data, int slot);
    // Copies what a reading gives into the controls.
    void ShowReading(const MbrWindowState& state);

    // Controls, by their names; PartNxxx[n - 1] is group n's Partnxxx.
    using GroupLabels = std::array<QLabel*, PartitionSlots>;
    std::array<QGroupBox*, PartitionSlots> PartNGB{};
    GroupLabels PartNColI{};
    GroupLabels PartNActiveL{};
    GroupLabels PartNDirtyL{};
    GroupLabels PartNFSNL{};
    GroupLabels PartNFSL{};
    GroupLabels PartNVolumeLabelNL{};
    GroupLabels PartNDosLabelL{};
    GroupLabels PartNVolumeLabelL{};
    GroupLabels PartNSerialNL{};
    GroupLabels PartNSerialL{};
    GroupLabels PartNClusterSizeNL{};
    GroupLabels PartNClusterSizeL{};
    GroupLabels PartNStartNL{};
    GroupLabels PartNStartL{};
    GroupLabels PartNCountNL{};
    GroupLabels PartNCountL{};
    GroupLabels PartNVolumeL{};
    QLabel* PartImage = nullptr;
    QLabel* PartVolumeIDNL = nullptr;
    QLabel* PartVolumeIDL = nullptr;
    QLabel* PartSignatureNL = nullptr;
    QLabel* PartSignatureL = nullptr;
    // Shown for a GPT disk only.
    QLabel* GptCaptionL = nullptr;
    QLabel* GptNotesL = nullptr;
    QTreeWidget* GptList = nullptr;

private:
    void FormCreate();
    void createControls();
    void assignMembers();
    QLabel* Label(const std::string& name) const;
    void SetCaption(QLabel* label, const std::string& text);
    void ShowGpt(const std::optional<GptView>& gpt);

    QHash<QString, QWidget*> controls_;
    bool placed_ = false; // centred on the screen when first shown
};

} // namespace quorvane
