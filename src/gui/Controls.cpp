#include "gui/Controls.h"

#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QToolButton>
#include <algorithm>

#include "gui/Colors.h"
#include "platform/TerminalText.h"

namespace quorvane {

namespace {
constexpr uint32_t LinkColor = 0x00FF0000;      // blue
constexpr uint32_t LinkHoverColor = 0x000000FF; // red
} // namespace

TLinkLabel::TLinkLabel(const QString& text, const QString& target, QWidget* parent)
    : QLabel(text, parent), target_(target) {
    QFont f = font();
    f.setUnderline(true);
    setFont(f);
    SetTextColor(LinkColor);
}

void TLinkLabel::SetTextColor(uint32_t color) {
    QPalette p = palette();
    p.setColor(QPalette::WindowText, ColorFromRef(color));
    setPalette(p);
}

void TLinkLabel::enterEvent(QEnterEvent* event) {
    SetTextColor(LinkHoverColor);
    setCursor(Qt::PointingHandCursor);
    QLabel::enterEvent(event);
}

void TLinkLabel::leaveEvent(QEvent* event) {
    SetTextColor(LinkColor);
    unsetCursor();
    QLabel::leaveEvent(event);
}

void TLinkLabel::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        emit Clicked(target_);
    QLabel::mouseReleaseEvent(event);
}

TColorSwatch::TColorSwatch(QWidget* parent) : QLabel(parent) {
    setFixedSize(10, 10);
    setCursor(Qt::PointingHandCursor);
    Paint(0);
}

void TColorSwatch::Paint(uint32_t color) {
    color_ = color;
    QPixmap pixmap(10, 10);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    // The outline of (0,0)-(9,9) covers columns and rows 0..8; the fill of
    // (1,1)-(8,8) covers 1..7.
    painter.fillRect(0, 0, 9, 9, Qt::black);
    painter.fillRect(1, 1, 7, 7, ColorFromRef(color));
    painter.end();
    setPixmap(pixmap);
}

void TColorSwatch::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        emit Clicked();
    QLabel::mouseReleaseEvent(event);
}

TUpDown::TUpDown(int min, int max, int increment, int position, QWidget* parent)
    : QWidget(parent), min_(min), max_(max), increment_(increment),
      position_(std::clamp(position, min, max)) {
    auto* up = new QToolButton(this);
    auto* down = new QToolButton(this);
    up->setObjectName("Up");
    down->setObjectName("Down");
    up->setArrowType(Qt::UpArrow);
    down->setArrowType(Qt::DownArrow);
    up->setAutoRepeat(true);
    down->setAutoRepeat(true);
    connect(up, &QToolButton::clicked, this, [this] { Step(+1); });
    connect(down, &QToolButton::clicked, this, [this] { Step(-1); });
    setFixedSize(16, 21);
    up->setGeometry(0, 0, 16, 11);
    down->setGeometry(0, 10, 16, 11);
}

void TUpDown::SetPosition(int position) {
    position = std::clamp(position, min_, max_);
    if (position == position_)
        return;
    position_ = position;
    emit PositionChanged(position_);
}

void TUpDown::Step(int direction) {
    SetPosition(position_ + (direction > 0 ? increment_ : -increment_));
    emit Clicked();
}

QToolButton* MakeSpeedButton(QWidget* parent, const char* name, const QIcon& icon,
                             const QString& hint, int x, int y) {
    auto* button = new QToolButton(parent);
    button->setObjectName(name);
    button->setIcon(icon);
    button->setIconSize(QSize(16, 16));
    button->setAutoRaise(true);
    button->setToolTip(hint);
    button->setGeometry(x, y, 23, 22);
    return button;
}

} // namespace quorvane

namespace quorvane {

QLabel* MakeLabel(QWidget* parent, const QString& name, const QString& text, int x, int y,
                  int width) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(name);
    label->move(x, y);
    if (width > 0)
        label->resize(width, label->sizeHint().height());
    else
        label->adjustSize();
    return label;
}

QCheckBox* MakeCheckBox(QWidget* parent, const char* name, const QString& text, int x, int y,
                        bool checked) {
    auto* box = new QCheckBox(text, parent);
    box->setObjectName(name);
    box->move(x, y);
    box->adjustSize();
    box->setChecked(checked);
    return box;
}

void SetTextColor(QWidget* widget, uint32_t color) {
    QPalette p = widget->palette();
    p.setColor(QPalette::Active, QPalette::WindowText, ColorFromRef(color));
    p.setColor(QPalette::Inactive, QPalette::WindowText, ColorFromRef(color));
    widget->setPalette(p);
}

void CentreOnScreen(QWidget* window) {
    QScreen* screen = window->screen();
    if (!screen)
        return;
    const QRect area = screen->availableGeometry();
    const QSize outer = window->frameGeometry().size();
    const int x = area.left() + std::max(0, (area.width() - outer.width()) / 2);
    const int y = area.top() + std::max(0, (area.height() - outer.height()) / 2);
    window->move(x, y);
}

QString CoreText(const std::string& text) {
    return QString::fromStdString(Latin1ToUtf8(text));
}

} // namespace quorvane
