#include "gui/SmartForm.h"

#include <QApplication>
#include <QButtonGroup>
#include <QClipboard>
#include <QComboBox>
#include <QFontMetrics>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QStyle>
#include <QTableWidget>
#include <QToolButton>
#include <QWindow>
#include <algorithm>

#include "gui/Colors.h"
#include "gui/Controls.h"
#include "gui/Fonts.h"
#include "app/SelfTests.h"
#include "smart/NvmeHealthGrid.h"
#include "smart/SmartHealth.h"

namespace quorvane {

namespace {
// The narrowest the columns get; a font that needs more for the texts a
// column can hold widens it (FitSmartColumns).
constexpr std::array<int, SmartGridColumns> ColumnWidths = {167, 23, 33, 86, 53, 48, 40};
constexpr int GridTop = 36;
constexpr int GridLeft = 2;
constexpr int GridWidth = 479;

// Shows the wait cursor while alive, and the previous one again afterwards,
// whatever happens in between.
class WaitCursor {
public:
    WaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~WaitCursor() { QApplication::restoreOverrideCursor(); }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;
};
// The widest of texts.
int Widest(const QFontMetrics& metrics, const QStringList& texts) {
    int widest = 0;
    for (const QString& text : texts)
        widest = std::max(widest, metrics.horizontalAdvance(text));
    return widest;
}

// The widest of the characters, repeated count times.
int WidestRun(const QFontMetrics& metrics, const QString& characters, int count) {
    int widest = 0;
    for (QChar c : characters)
        widest = std::max(widest, metrics.horizontalAdvance(QString(count, c)));
    return widest;
}

} // namespace

std::array<int, SmartGridColumns> FitSmartColumns(const QFontMetrics& metrics, int available) {
    const SmartGridRow header = SmartGridHeader();
    std::array<int, SmartGridColumns> text{};
    for (int c = 0; c < SmartGridColumns; ++c)
        text[static_cast<size_t>(c)] =
            metrics.horizontalAdvance(QString::fromStdString(header[static_cast<size_t>(c)]));
    auto atLeast = [&text](int column, int width) {
        text[static_cast<size_t>(column)] = std::max(text[static_cast<size_t>(column)], width);
    };
    for (const SMARTAttributeName& name : SMARTAttributeNames)
        atLeast(SmartColName, metrics.horizontalAdvance(
                                  QString::fromStdString(AttributeNameText(name.Id, name.Name))));
    const QString digits = "0123456789";
    // Value, worst and threshold are bytes: three digits.
    for (int column : {SmartColAttr, SmartColWorst, SmartColThreshold})
        atLeast(column, WidestRun(metrics, digits, 3));
    // A 48-bit raw value: 15 decimal digits, or 12 hexadecimal ones and "h".
    atLeast(SmartColRaw, WidestRun(metrics, digits, 15));
    atLeast(SmartColRaw,
            WidestRun(metrics, digits + "ABCDEF", 12) + metrics.horizontalAdvance("h"));
    int flags = 0;
    for (QChar letter : QString("SCEPOF"))
        flags += std::max(metrics.horizontalAdvance(letter), metrics.horizontalAdvance('-'));
    atLeast(SmartColFlags, flags);
    atLeast(SmartColStatus, Widest(metrics, {AttributeOkText, AttributeBelowThresholdText}));

    // A cell's text starts 2 pixels in and keeps 2 from the next grid line,
    // which takes the column's last pixel.
    std::array<int, SmartGridColumns> widths{};
    int sum = 0;
    for (size_t c = 0; c < widths.size(); ++c) {
        widths[c] = std::max(ColumnWidths[c], text[c] + 4) + 1;
        sum += widths[c];
    }
    // What the grid has left goes to the names, so that no empty strip
    // follows the last column; a font too wide for the grid narrows the
    // names first (down to the layout's width), so that numbers stay whole.
    if (sum < available)
        widths[SmartColName] += available - sum;
    else
        widths[SmartColName] =
            std::max(ColumnWidths[SmartColName] + 1, widths[SmartColName] - (sum - available));
    return widths;
}

void TSmartGridDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                               const QModelIndex& index) const {
    const auto* form = qobject_cast<const TSMARTForm*>(parent());
    const bool selected = option.state & QStyle::State_Selected;
    const uint32_t back = form ? form->CellBackground(index.row(), index.column(), selected)
                               : ColorToRef(option.palette.base().color());
    painter->save();
    painter->fillRect(option.rect, ColorFromRef(back));
    painter->setPen(option.palette.color(QPalette::WindowText));
    painter->setFont(option.font);
    const QRect textRect = option.rect.adjusted(2, 2, 0, 0);
    painter->drawText(textRect, Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine,
                      index.data().toString());
    painter->restore();
}

TSMARTForm::TSMARTForm(QWidget* parent) : QDialog(parent) {
    setObjectName("SMARTForm");
    setWindowTitle("S.M.A.R.T.");
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    setFont(FormFont());
    setFixedSize(ClientWidth, 94);
    createControls();
    createSelfTestRow();
    createGrid();
}

void TSMARTForm::createControls() {
    SMARTNL = new QLabel("S.M.A.R.T.:", this);
    SMARTNL->setObjectName("SMARTNL");
    SMARTNL->move(4, 8);
    SMARTNL->adjustSize();

    SMARTStatusL = new QLabel(NotMeasuredText, this);
    SMARTStatusL->setObjectName("SMARTStatusL");
    SMARTStatusL->setGeometry(68, 8, 120, 14);
    QPalette blue = SMARTStatusL->palette();
    blue.setColor(QPalette::WindowText, ColorFromRef(0x00FF0000));
    SMARTStatusL->setPalette(blue);

    RAWValuesRG = new QGroupBox("RAW Values", this);
    RAWValuesRG->setObjectName("RAWValuesRG");
    RAWValuesRG->setGeometry(308, 0, 97, 33);
    HEXRB = new QRadioButton("HEX", RAWValuesRG);
    HEXRB->setObjectName("HEXRB");
    HEXRB->setGeometry(4, 14, 46, 17);
    DECRB = new QRadioButton("DEC", RAWValuesRG);
    DECRB->setObjectName("DECRB");
    DECRB->setGeometry(50, 14, 46, 17);
    rawGroup_ = new QButtonGroup(this);
    rawGroup_->addButton(HEXRB, static_cast<int>(RawValueFormat::Hex));
    rawGroup_->addButton(DECRB, static_cast<int>(RawValueFormat::Dec));
    HEXRB->setChecked(true);
    connect(rawGroup_, &QButtonGroup::idClicked, this, &TSMARTForm::RawValuesChosen);

    ReadSMARTSB =
        MakeSpeedButton(this, "ReadSMARTSB", style()->standardIcon(QStyle::SP_BrowserReload),
                        "Read S.M.A.R.T.", 408, 4);
    CopySMARTWindowSB = MakeSpeedButton(this, "CopySMARTWindowSB",
                                        style()->standardIcon(QStyle::SP_FileDialogContentsView),
                                        "Capture window to clipboard", 432, 4);
    SaveSMARTSB =
        MakeSpeedButton(this, "SaveSMARTSB", style()->standardIcon(QStyle::SP_DialogSaveButton),
                        "Save S.M.A.R.T. Report", 456, 4);
    connect(ReadSMARTSB, &QToolButton::clicked, this, &TSMARTForm::ReadRequested);
    connect(CopySMARTWindowSB, &QToolButton::clicked, this, &TSMARTForm::CopySMARTWindowSBClick);
    connect(SaveSMARTSB, &QToolButton::clicked, this, &TSMARTForm::SaveRequested);
}

void TSMARTForm::createGrid() {
    SMARTSG = new QTableWidget(this);
    SMARTSG->setObjectName("SMARTSG");
    SMARTSG->setFont(GridFont());
    SMARTSG->setGeometry(GridLeft, GridTop, GridWidth, 50);
    SMARTSG->setColumnCount(SmartGridColumns);
    SMARTSG->horizontalHeader()->hide();
    SMARTSG->verticalHeader()->hide();
    // A row is 15 pixels and its grid line one more.
    SMARTSG->verticalHeader()->setMinimumSectionSize(1);
    SMARTSG->verticalHeader()->setDefaultSectionSize(SmartGridDefaultRowHeight + 1);
    SMARTSG->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    SMARTSG->horizontalHeader()->setMinimumSectionSize(1);
    // The grid grows with its rows, so all of them always show: a scroll bar
    // would only take the room of the columns.
    SMARTSG->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    widths_ = FitSmartColumns(SMARTSG->fontMetrics(), GridWidth - 2 * SMARTSG->frameWidth());
    for (int c = 0; c < SmartGridColumns; ++c)
        SMARTSG->setColumnWidth(c, widths_[static_cast<size_t>(c)]);
    SMARTSG->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    SMARTSG->setEditTriggers(QAbstractItemView::NoEditTriggers);
    SMARTSG->setSelectionMode(QAbstractItemView::SingleSelection);
    SMARTSG->setWordWrap(false);
    SMARTSG->setItemDelegate(new TSmartGridDelegate(this));
    ShowGrid(SmartGridModel{});
}

void TSMARTForm::createSelfTestRow() {
    SelfTestNL = new QLabel("Self-test:", this);
    SelfTestNL->setObjectName("SelfTestNL");
    SelfTestKindCB = new QComboBox(this);
    SelfTestKindCB->setObjectName("SelfTestKindCB");
    SelfTestStartB = new QPushButton("Start", this);
    SelfTestStartB->setObjectName("SelfTestStartB");
    SelfTestAbortB = new QPushButton("Abort", this);
    SelfTestAbortB->setObjectName("SelfTestAbortB");
    SelfTestPB = new QProgressBar(this);
    SelfTestPB->setObjectName("SelfTestPB");
    SelfTestPB->setRange(0, 100);
    SelfTestPB->setTextVisible(true);
    SelfTestPB->setAlignment(Qt::AlignCenter);
    connect(SelfTestStartB, &QPushButton::clicked, this, [this] {
        if (SelfTestKindCB->currentIndex() >= 0)
            emit SelfTestRequested(
                static_cast<SelfTestKind>(SelfTestKindCB->currentData().toInt()));
    });
    connect(SelfTestAbortB, &QPushButton::clicked, this,
            [this] { emit SelfTestRequested(SelfTestKind::Abort); });

    SelfTestLogSG = new QTableWidget(this);
    SelfTestLogSG->setObjectName("SelfTestLogSG");
    SelfTestLogSG->setFont(GridFont());
    SelfTestLogSG->setColumnCount(SelfTestLogColumns);
    QStringList header;
    for (const std::string& text : SelfTestLogHeader())
        header << CoreText(text);
    SelfTestLogSG->setHorizontalHeaderLabels(header);
    SelfTestLogSG->verticalHeader()->hide();
    SelfTestLogSG->verticalHeader()->setMinimumSectionSize(1);
    SelfTestLogSG->verticalHeader()->setDefaultSectionSize(SmartGridDefaultRowHeight + 1);
    SelfTestLogSG->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    QHeaderView* columns = SelfTestLogSG->horizontalHeader();
    columns->setFont(GridFont());
    columns->setHighlightSections(false);
    // The status takes what the short columns leave.
    for (int c = 0; c < SelfTestLogColumns; ++c)
        columns->setSectionResizeMode(c, c == 2 ? QHeaderView::Stretch
                                                : QHeaderView::ResizeToContents);
    SelfTestLogSG->setEditTriggers(QAbstractItemView::NoEditTriggers);
    SelfTestLogSG->setSelectionMode(QAbstractItemView::NoSelection);
    SelfTestLogSG->setFocusPolicy(Qt::NoFocus); // a table to read: no current cell
    SelfTestLogSG->setWordWrap(false);
    ShowSelfTests(SelfTestScreen{});
}

void TSMARTForm::ShowSelfTests(const SelfTestScreen& screen) {
    const SelfTestRowState& row = screen.Row;
    // The chooser is filled anew only when the kinds change, so that a tick
    // leaves the user's choice alone.
    QList<int> kinds;
    for (SelfTestKind kind : row.Kinds)
        kinds << static_cast<int>(kind);
    QList<int> shown;
    for (int i = 0; i < SelfTestKindCB->count(); ++i)
        shown << SelfTestKindCB->itemData(i).toInt();
    if (kinds != shown) {
        SelfTestKindCB->clear();
        for (SelfTestKind kind : row.Kinds)
            SelfTestKindCB->addItem(SelfTestKindCaption(kind), static_cast<int>(kind));
    }
    const bool offered = !row.Kinds.empty();
    SelfTestNL->setEnabled(offered);
    SelfTestKindCB->setEnabled(row.CanStart);
    SelfTestStartB->setEnabled(row.CanStart);
    SelfTestAbortB->setEnabled(row.CanAbort);
    SelfTestPB->setEnabled(offered);
    SelfTestPB->setValue(row.PercentDone);
    SelfTestPB->setFormat(CoreText(row.CanAbort ? row.Progress : screen.Note));

    SelfTestLogSG->clearSpans();
    SelfTestLogSG->setEnabled(offered);
    const bool note = !screen.LogNote.empty();
    SelfTestLogSG->setRowCount(note ? 1 : static_cast<int>(screen.Log.size()));
    const auto cell = [this](int r, int c, const QString& text) {
        if (QTableWidgetItem* item = SelfTestLogSG->item(r, c))
            item->setText(text);
        else
            SelfTestLogSG->setItem(r, c, new QTableWidgetItem(text));
    };
    if (note) {
        SelfTestLogSG->setSpan(0, 0, 1, SelfTestLogColumns);
        cell(0, 0, CoreText(screen.LogNote));
        for (int c = 1; c < SelfTestLogColumns; ++c)
            cell(0, c, {});
        return;
    }
    for (size_t r = 0; r < screen.Log.size(); ++r)
        for (int c = 0; c < SelfTestLogColumns; ++c)
            cell(static_cast<int>(r), c, CoreText(screen.Log[r][static_cast<size_t>(c)]));
}

RawValueFormat TSMARTForm::RawValuesFormat() const {
    return DECRB->isChecked() ? RawValueFormat::Dec : RawValueFormat::Hex;
}

// An NVMe grid uses the name, value (raw) and status columns: the columns it
// leaves empty hide, and their room goes to the column left of them, so the
// grid keeps its width.
void TSMARTForm::ApplyColumns(const SmartGridModel& grid) {
    int carried = 0;
    for (int c = SmartGridColumns - 1; c >= 0; --c) {
        const int width = widths_[static_cast<size_t>(c)];
        const bool used = c == SmartColName || GridColumnUsed(grid, c);
        SMARTSG->setColumnHidden(c, !used);
        if (!used) {
            carried += width;
            continue;
        }
        SMARTSG->setColumnWidth(c, width + carried);
        carried = 0;
    }
}

void TSMARTForm::ShowGrid(const SmartGridModel& grid) {
    grid_ = grid;
    ApplyColumns(grid);
    SMARTSG->setRowCount(grid.RowCount());
    for (int r = 0; r < grid.RowCount(); ++r) {
        for (int c = 0; c < SmartGridColumns; ++c) {
            const QString text =
                CoreText(grid.Rows[static_cast<size_t>(r)][static_cast<size_t>(c)]);
            if (QTableWidgetItem* item = SMARTSG->item(r, c)) {
                item->setText(text);
            } else {
                auto* made = new QTableWidgetItem(text);
                // The header is a fixed row: it is never selected.
                if (r == 0)
                    made->setFlags(made->flags() & ~Qt::ItemIsSelectable);
                SMARTSG->setItem(r, c, made);
            }
        }
    }
    ApplyHeights(grid.RowCount());
}

void TSMARTForm::ApplyHeights(int rowCount) {
    const SmartGridHeights heights = ComputeSmartGridHeights(rowCount);
    PlaceBelowGrid(heights.Grid);
    // The grid rules' window, and the self-test part under the grid.
    setFixedSize(ClientWidth, heights.Window - NonClientHeight + SelfTestPartHeight);
}

void TSMARTForm::PlaceBelowGrid(int gridHeight) {
    SMARTSG->setGeometry(GridLeft, GridTop, GridWidth, gridHeight);
    const int row = GridTop + gridHeight + 4;
    SelfTestNL->setGeometry(4, row + 5, 52, 14);
    SelfTestKindCB->setGeometry(58, row + 1, 92, 22);
    SelfTestStartB->setGeometry(154, row, 60, SelfTestRowHeight);
    SelfTestAbortB->setGeometry(218, row, 60, SelfTestRowHeight);
    SelfTestPB->setGeometry(284, row + 1, GridLeft + GridWidth - 284, 22);
    SelfTestLogSG->setGeometry(GridLeft, row + SelfTestRowHeight + 4, GridWidth,
                               SelfTestLogHeight);
}

void TSMARTForm::FitWithin(const QRect& area) {
    // Before its first showing the window has no frame yet: the caption's
    // height stands in for it.
    const int frame = std::max(frameGeometry().height() - height(), NonClientHeight);
    const int excess = height() + frame - area.height();
    if (excess <= 0)
        return;
    const int gridHeight = std::max(SMARTSG->height() - excess, 0);
    PlaceBelowGrid(gridHeight);
    setFixedSize(ClientWidth, GridTop + gridHeight + 4 + SelfTestPartHeight);
}

uint32_t TSMARTForm::CellBackground(int row, int /*column*/, bool selected) const {
    if (row < 0 || row >= grid_.RowCount())
        return ColorToRef(palette().base().color());
    return SmartCellBackground(grid_.Rows[static_cast<size_t>(row)], row, selected,
                               ColorToRef(palette().button().color()),
                               ColorToRef(palette().base().color()));
}

void TSMARTForm::CopySMARTWindowSBClick() {
    WaitCursor wait;
    QPixmap shot;
    // The whole window with its frame and caption, as the screen shows it;
    // platforms without a screen to read give the window's own contents.
    if (QScreen* s = screen(); s && QGuiApplication::platformName() == "xcb" && isVisible()) {
        const QRect frame = frameGeometry().translated(-s->geometry().topLeft());
        shot = s->grabWindow(0, frame.x(), frame.y(), frame.width(), frame.height());
    }
    if (shot.isNull())
        shot = grab();
    if (!shot.isNull())
        QGuiApplication::clipboard()->setPixmap(shot);
}

} // namespace quorvane
