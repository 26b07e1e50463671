// The S.M.A.R.T. window: the selected drive's attributes as a coloured grid,
// its status, HEX/DEC for the raw column, a window image for the clipboard
// and the report file; under the grid the drive's own self-test (a kind,
// Start, Abort and its progress) and its self-test log.
#pragma once

#include <QDialog>
#include <QStyledItemDelegate>

#include "app/ScreenState.h"
#include "smart/SmartGrid.h"

class QButtonGroup;
class QComboBox;
class QFontMetrics;
class QGroupBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QTableWidget;
class QToolButton;

namespace quorvane {

// The grid's column widths (each with its grid line) for the grid's font:
// each column at least as wide as the layout's and wide enough for the
// longest text it can hold (a 48-bit raw value in decimal is 15 digits, in
// hexadecimal 12 digits and "h"); what is left of available goes to the name
// column.
std::array<int, SmartGridColumns> FitSmartColumns(const QFontMetrics& metrics, int available);

// Paints the grid's cells: the background from the row's texts, the text 2
// pixels right of and below the cell's corner.
class TSmartGridDelegate : public QStyledItemDelegate {
    Q_OBJECT

public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
};

class TSMARTForm : public QDialog {
    Q_OBJECT

public:
    explicit TSMARTForm(QWidget* parent);

    // The client height is the outer height less this (caption and frame).
    static constexpr int NonClientHeight = 36;
    static constexpr int ClientWidth = 487;
    // What the self-test row and the log table add under the grid.
    static constexpr int SelfTestRowHeight = 24;
    static constexpr int SelfTestLogHeight = 86;
    static constexpr int SelfTestPartHeight = SelfTestRowHeight + 4 + SelfTestLogHeight + 4;

    QLabel* SMARTNL;
    QLabel* SMARTStatusL;
    QGroupBox* RAWValuesRG;
    QRadioButton* HEXRB;
    QRadioButton* DECRB;
    QToolButton* ReadSMARTSB;
    QToolButton* CopySMARTWindowSB;
    QToolButton* SaveSMARTSB;
    QTableWidget* SMARTSG;
    QLabel* SelfTestNL;
    QComboBox* SelfTestKindCB; // item data: the SelfTestKind
    QPushButton* SelfTestStartB;
    QPushButton* SelfTestAbortB;
    QProgressBar* SelfTestPB;
    QTableWidget* SelfTestLogSG;

    // The RAWValuesRG choice: item 0 "HEX", item 1 "DEC".
    RawValueFormat RawValuesFormat() const;
    // Fills the grid and sizes the window by the row count.
    void ShowGrid(const SmartGridModel& grid);
    // The self-test row and the log table; the chooser keeps its choice
    // while the drive offers the same kinds.
    void ShowSelfTests(const SelfTestScreen& screen);
    // A window taller than area (a screen's free area), frame included,
    // becomes as tall as fits; the grid then scrolls.
    void FitWithin(const QRect& area);
    // The background a cell is painted with (0x00BBGGRR).
    uint32_t CellBackground(int row, int column, bool selected) const;
    // Puts an image of the window, frame included where the platform can
    // give it, on the clipboard.
    void CopySMARTWindowSBClick();

signals:
    // ReadSMARTSB: read the selected drive again.
    void ReadRequested();
    // A HEX/DEC click (item index 0 or 1): the raw column changes form, and
    // the drive is read again.
    void RawValuesChosen(int index);
    // SaveSMARTSB: write the report file.
    void SaveRequested();
    // SelfTestStartB (the chosen kind) or SelfTestAbortB (SelfTestKind::Abort).
    void SelfTestRequested(SelfTestKind kind);

private:
    void createControls();
    void createGrid();
    void createSelfTestRow();
    void ApplyHeights(int rowCount);
    // The grid at gridHeight, the self-test row and log under it, and the
    // window's height to match.
    void PlaceBelowGrid(int gridHeight);
    void ApplyColumns(const SmartGridModel& grid);

    QButtonGroup* rawGroup_;
    SmartGridModel grid_;
    std::array<int, SmartGridColumns> widths_{}; // the attribute grid's columns
};

} // namespace quorvane
