// Small controls the windows are built from.
#pragma once

#include <QCheckBox>
#include <QLabel>
#include <QToolButton>
#include <QWidget>
#include <cstdint>
#include <string>

namespace quorvane {

// A label whose text is a link: blue and underlined, red with the hand
// cursor while the pointer is over it; a click opens the target with the
// desktop's default handler.
class TLinkLabel : public QLabel {
    Q_OBJECT

public:
    TLinkLabel(const QString& text, const QString& target, QWidget* parent);
    QString Target() const { return target_; }

signals:
    void Clicked(const QString& target);

protected:
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void SetTextColor(uint32_t color);
    QString target_;
};

// A 10 x 10 colour swatch with the hand cursor: a 7 x 7 square of the colour
// inside a black 9 x 9 frame.
class TColorSwatch : public QLabel {
    Q_OBJECT

public:
    explicit TColorSwatch(QWidget* parent);
    void Paint(uint32_t color);
    uint32_t PaintedColor() const { return color_; }

signals:
    void Clicked();

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    uint32_t color_ = 0;
};

// Up and down arrows that step a position within a range, for a read-only
// edit beside them.
class TUpDown : public QWidget {
    Q_OBJECT

public:
    TUpDown(int min, int max, int increment, int position, QWidget* parent);
    int Position() const { return position_; }
    void SetPosition(int position);
    int Min() const { return min_; }
    int Max() const { return max_; }
    // Steps as a click on an arrow does: +1 up, -1 down.
    void Step(int direction);

signals:
    // An arrow was clicked (the position may have stayed at its limit).
    void Clicked();
    void PositionChanged(int position);

private:
    int min_, max_, increment_, position_;
};

// A small flat button with a picture and a hint.
QToolButton* MakeSpeedButton(QWidget* parent, const char* name, const QIcon& icon,
                             const QString& hint, int x, int y);

// A label at (x, y), as wide as its text or as given.
QLabel* MakeLabel(QWidget* parent, const QString& name, const QString& text, int x, int y,
                  int width = 0);
QCheckBox* MakeCheckBox(QWidget* parent, const char* name, const QString& text, int x, int y,
                        bool checked);
// Colours the enabled text only: a disabled label keeps the greyed look that
// tells a missing feature.
void SetTextColor(QWidget* widget, uint32_t color);

// Centres a window on its screen's available area; one larger than the area
// keeps its top left corner inside it.
void CentreOnScreen(QWidget* window);

// A text of the core (a drive's strings, captions, grid cells: 8-bit
// characters) as the widgets take it.
QString CoreText(const std::string& text);

} // namespace quorvane
