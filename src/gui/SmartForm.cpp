#include "gui/SmartForm.h"

#include <QApplication>
#include <QButtonGroup>
#include <QClipboard>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QPainter>
#include <QRadioButton>
#include <QScreen>
#include <QStyle>
#include <QTableWidget>
#include <QToolButton>
#include <QWindow>

#include "gui/Colors.h"
#include "gui/Controls.h"
#include "gui/Fonts.h"

namespace quorvane {

namespace {
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
} // namespace

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
    createGrid();
}

void TSMARTForm::createControls() {
    SMARTNL = new QLabel("S.M.A.R.T.:", this);
    SMARTNL->setObjectName("SMARTNL");
    SMARTNL->move(4, 8);
    SMARTNL->adjustSize();

    SMARTStatusL = new QLabel("...", this);
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
    for (int c = 0; c < SmartGridColumns; ++c)
        SMARTSG->setColumnWidth(c, ColumnWidths[static_cast<size_t>(c)] + 1);
    SMARTSG->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    SMARTSG->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    SMARTSG->setEditTriggers(QAbstractItemView::NoEditTriggers);
    SMARTSG->setSelectionMode(QAbstractItemView::SingleSelection);
    SMARTSG->setWordWrap(false);
    SMARTSG->setItemDelegate(new TSmartGridDelegate(this));
    ShowGrid(SmartGridModel{});
}

RawValueFormat TSMARTForm::RawValuesFormat() const {
    return DECRB->isChecked() ? RawValueFormat::Dec : RawValueFormat::Hex;
}

void TSMARTForm::ShowGrid(const SmartGridModel& grid) {
    grid_ = grid;
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
    SMARTSG->setGeometry(GridLeft, GridTop, GridWidth, heights.Grid);
    setFixedSize(ClientWidth, heights.Window - NonClientHeight);
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
