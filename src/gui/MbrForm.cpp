#include "gui/MbrForm.h"

#include <QGroupBox>
#include <QLabel>
#include <QPainter>
#include <QHeaderView>
#include <QTextDocument>
#include <QTreeWidget>

#include "gui/Colors.h"
#include "gui/Controls.h"
#include "mbr/MbrReading.h"
#include "mbr/VolumeNames.h"

namespace quorvane {

namespace {

constexpr uint32_t Blue = 0x00FF0000;
constexpr uint32_t Red = 0x000000FF;

// The core's texts are UTF-8: volume labels come from the volume's own
// code page or UTF-16, mount points are the system's paths.
QString Text(const std::string& text) {
    return QString::fromStdString(text);
}

// A tooltip that shows its text as written, even when the text looks like
// markup (a mount point can hold any character).
QString PlainToolTip(const QString& text) {
    if (!Qt::mightBeRichText(text))
        return text;
    return "<p style='white-space:pre'>" + text.toHtmlEscaped().replace('\n', "<br>") + "</p>";
}

// Blue text in every state. The indicators are red while enabled and take
// the style's grey when disabled.
void ApplyLook(QLabel* label, MbrLook look) {
    if (look == MbrLook::Plain)
        return;
    QPalette p = label->palette();
    if (look == MbrLook::Blue) {
        p.setColor(QPalette::WindowText, ColorFromRef(Blue));
    } else {
        p.setColor(QPalette::Active, QPalette::WindowText, ColorFromRef(Red));
        p.setColor(QPalette::Inactive, QPalette::WindowText, ColorFromRef(Red));
    }
    label->setPalette(p);
}

// The window's own icon: a drive's partitions as the four coloured bars of
// the diagram.
QIcon MbrIcon() {
    QIcon icon;
    for (int size : {16, 32}) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        const int bar = size / 4;
        for (int slot = 0; slot < PartitionSlots; ++slot)
            painter.fillRect(0, slot * bar, size, bar - size / 16,
                             ColorFromRef(PartitionColors[static_cast<size_t>(slot)]));
        painter.setPen(Qt::black);
        painter.drawRect(0, 0, size - 1, size - 1);
        painter.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

// The layout's columns were measured for a narrow 8-point face. The
// condensed face of the program's font at 10 pixels keeps every caption
// and the longest values (16 serial digits, 10-digit counts, "2047 GB")
// inside its column.
QFont MbrFont() {
    QFont font("DejaVu Sans Condensed");
    font.setPixelSize(10);
    return font;
}

// The group boxes' first line of controls sits 12 pixels below the box's
// top: the frame runs through the middle of the caption, not below it.
constexpr const char* GroupBoxStyle =
    "QGroupBox { border: 1px solid palette(mid); margin-top: 5px; }"
    "QGroupBox::title { subcontrol-origin: margin; left: 6px; padding: 0px 2px;"
    " background-color: palette(window); }";

} // namespace

QImage ToImage(const MbrBitmap& bitmap) {
    QImage image(bitmap.Width, bitmap.Height, QImage::Format_RGB32);
    for (int y = 0; y < bitmap.Height; ++y)
        for (int x = 0; x < bitmap.Width; ++x)
            image.setPixelColor(x, y, ColorFromRef(bitmap.At(x, y)));
    return image;
}

TMBRForm::TMBRForm(QWidget* parent) : QDialog(parent) {
    setObjectName("MBRForm");
    setWindowTitle(MbrFormCaption);
    setWindowIcon(MbrIcon());
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    setModal(true);
    setFont(MbrFont());
    setFixedSize(MbrFormClientWidth, MbrFormClientHeight);
    move(MbrFormLeft, MbrFormTop);
    createControls();
    assignMembers();
    FormCreate();
}

void TMBRForm::createControls() {
    auto controls = MbrFormControls();
    const auto gpt = GptFormControls();
    controls.insert(controls.end(), gpt.begin(), gpt.end());
    for (const MbrControl& c : controls) {
        QWidget* parent = c.Parent.empty() ? this : controls_.value(Text(c.Parent), this);
        QWidget* widget = nullptr;
        if (c.Kind == MbrControlKind::GroupBox) {
            widget = new QGroupBox(Text(c.Caption), parent);
            widget->setStyleSheet(GroupBoxStyle);
        } else if (c.Kind == MbrControlKind::List) {
            auto* list = new QTreeWidget(parent);
            QStringList titles;
            for (const auto& title : GptListColumns())
                titles << Text(title);
            list->setHeaderLabels(titles);
            list->setRootIsDecorated(false);
            list->setUniformRowHeights(true);
            list->setAlternatingRowColors(true);
            list->header()->setStretchLastSection(false);
            list->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
            widget = list;
        } else {
            auto* label = new QLabel(Text(c.Caption), parent);
            // Volume labels come from the disk: never taken as markup.
            label->setTextFormat(Qt::PlainText);
            label->setAlignment(c.Kind == MbrControlKind::Image ? Qt::AlignCenter
                                                                : Qt::AlignLeft | Qt::AlignTop);
            ApplyLook(label, c.Look);
            // A label with a size of its own wraps its lines inside it.
            label->setWordWrap(c.Width > 0 && c.Kind == MbrControlKind::Label);
            widget = label;
        }
        // Set on each control: a style sheet on a group box stops the
        // window's font from reaching the controls inside it.
        widget->setFont(font());
        widget->setObjectName(Text(c.Name));
        widget->setEnabled(c.Enabled);
        if (c.HandCursor)
            widget->setCursor(Qt::PointingHandCursor);
        if (c.Width > 0 && c.Height > 0) {
            widget->setGeometry(c.Left, c.Top, c.Width, c.Height);
        } else {
            // A label without a size takes the size of its caption.
            widget->move(c.Left, c.Top);
            widget->adjustSize();
        }
        controls_.insert(widget->objectName(), widget);
    }
}

void TMBRForm::assignMembers() {
    static constexpr std::pair<const char*, GroupLabels TMBRForm::*> groupLabels[] = {
        {"ColI", &TMBRForm::PartNColI},
        {"ActiveL", &TMBRForm::PartNActiveL},
        {"DirtyL", &TMBRForm::PartNDirtyL},
        {"FSNL", &TMBRForm::PartNFSNL},
        {"FSL", &TMBRForm::PartNFSL},
        {"VolumeLabelNL", &TMBRForm::PartNVolumeLabelNL},
        {"DosLabelL", &TMBRForm::PartNDosLabelL},
        {"VolumeLabelL", &TMBRForm::PartNVolumeLabelL},
        {"SerialNL", &TMBRForm::PartNSerialNL},
        {"SerialL", &TMBRForm::PartNSerialL},
        {"ClusterSizeNL", &TMBRForm::PartNClusterSizeNL},
        {"ClusterSizeL", &TMBRForm::PartNClusterSizeL},
        {"StartNL", &TMBRForm::PartNStartNL},
        {"StartL", &TMBRForm::PartNStartL},
        {"CountNL", &TMBRForm::PartNCountNL},
        {"CountL", &TMBRForm::PartNCountL},
        {"VolumeL", &TMBRForm::PartNVolumeL},
    };
    for (int group = 1; group <= PartitionSlots; ++group) {
        const size_t i = static_cast<size_t>(group - 1);
        const std::string prefix = "Part" + std::to_string(group);
        PartNGB[i] = qobject_cast<QGroupBox*>(controls_.value(Text(prefix + "GB")));
        for (const auto& [suffix, member] : groupLabels)
            (this->*member)[i] = Label(prefix + suffix);
        // The drive-letter label keeps the width up to the volume label
        // beside it, so its tooltip (the mount points) can be reached when
        // the partition has no letter to show.
        PartNDosLabelL[i]->setMinimumWidth(PartNVolumeLabelL[i]->x() - PartNDosLabelL[i]->x());
    }
    PartImage = Label("PartImage");
    PartVolumeIDNL = Label("PartVolumeIDNL");
    PartVolumeIDL = Label("PartVolumeIDL");
    PartSignatureNL = Label("PartSignatureNL");
    PartSignatureL = Label("PartSignatureL");
    GptCaptionL = Label("GptCaptionL");
    GptNotesL = Label("GptNotesL");
    GptList = qobject_cast<QTreeWidget*>(controls_.value("GptList"));
}

QLabel* TMBRForm::Label(const std::string& name) const {
    return qobject_cast<QLabel*>(controls_.value(Text(name)));
}

void TMBRForm::FormCreate() {
    for (int slot = 1; slot <= PartitionSlots; ++slot)
        PartNColI[static_cast<size_t>(slot - 1)]->setPixmap(
            QPixmap::fromImage(ToImage(DrawColourKey(slot))));
    PartImage->setPixmap(QPixmap::fromImage(ToImage(DrawPartImage(std::nullopt))));
    ShowGpt(std::nullopt);
}

void TMBRForm::SetCaption(QLabel* label, const std::string& text) {
    if (!label)
        return;
    label->setText(Text(text));
    label->adjustSize();
}

bool TMBRForm::ReadDrive(DriveBus& bus, const ProgramData& data, int slot) {
    const auto names = MakeVolumeNames(bus);
    const auto table = ReadMbr(bus, data, slot, *names);
    if (!table)
        return false;
    ShowReading(MbrWindowFor(*table, data.Drives[slot].Sectors));
    return true;
}

void TMBRForm::ShowReading(const MbrWindowState& state) {
    SetCaption(PartVolumeIDL, state.PartVolumeIDL);
    SetCaption(PartSignatureL, state.PartSignatureL);
    for (int group = 1; group <= PartitionSlots; ++group) {
        const size_t i = static_cast<size_t>(group - 1);
        const PartitionGroup& texts = state.Groups[i];
        for (const auto& [name, text] : GroupLabelTexts(group, texts))
            SetCaption(Label(name), text);
        for (const auto& [name, enabled] : GroupLabelStates(group, texts))
            if (QLabel* label = Label(name))
                label->setEnabled(enabled);
        PartNDosLabelL[i]->setToolTip(PlainToolTip(Text(texts.DosLabelLHint)));
    }
    PartImage->setPixmap(QPixmap::fromImage(ToImage(DrawPartImage(state))));
    ShowGpt(state.Gpt);
}

// The GPT part below the MBR layout: shown, and the window that much
// taller, only for a disk with a protective entry.
void TMBRForm::ShowGpt(const std::optional<GptView>& gpt) {
    for (QWidget* w : std::initializer_list<QWidget*>{GptCaptionL, GptNotesL, GptList})
        w->setVisible(gpt.has_value());
    setFixedSize(MbrFormClientWidth, gpt ? GptFormClientHeight : MbrFormClientHeight);
    GptList->clear();
    if (!gpt)
        return;
    SetCaption(GptCaptionL, gpt->CaptionL);
    GptNotesL->setText(Text(gpt->NotesL));
    GptNotesL->setToolTip(PlainToolTip(Text(gpt->NotesL)));
    QList<QTreeWidgetItem*> items;
    for (const auto& row : gpt->Rows) {
        QStringList cells;
        for (const auto& cell : row)
            cells << Text(cell);
        items << new QTreeWidgetItem(cells);
    }
    GptList->addTopLevelItems(items);
}

void TMBRForm::MBRReadSBClick(DriveBus& bus, const ProgramData& data, int slot) {
    if (!ReadDrive(bus, data, slot))
        return;
    if (!placed_) {
        CentreOnScreen(this);
        placed_ = true;
    }
    exec();
}

} // namespace quorvane
