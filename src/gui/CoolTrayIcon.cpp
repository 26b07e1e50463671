#include "gui/CoolTrayIcon.h"

#include <QEvent>
#include <QMenu>
#include <QSystemTrayIcon>
#include <QWidget>
#include <string>

#include "monitor/TextIcon.h"

namespace quorvane {

namespace {
// The program's texts are 8-bit texts: the limits count those characters.
std::string Text8(const QString& text) {
    return text.toLatin1().toStdString();
}
QString FromText8(const std::string& text) {
    return QString::fromLatin1(text);
}
} // namespace

TCoolTrayIcon::TCoolTrayIcon(QWidget* owner, QObject* parent)
    : QObject(parent), owner_(owner), tray_(new QSystemTrayIcon(this)) {
    connect(tray_, &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
                if (enabled_ && reason == QSystemTrayIcon::Trigger)
                    emit Click();
            });
    // Filters run newest first, so of several icons on one window the last
    // one created sees the minimise first and takes it: one notification per
    // minimise.
    if (owner_)
        owner_->installEventFilter(this);
    UpdateToolTip();
}

void TCoolTrayIcon::SetIcon(const QIcon& icon) {
    icon_ = icon;
    tray_->setIcon(icon);
}

void TCoolTrayIcon::SetIconVisible(bool visible) {
    iconVisible_ = visible;
    tray_->setVisible(visible);
}

void TCoolTrayIcon::SetHint(const QString& hint) {
    hint_ = hint;
    UpdateToolTip();
}

void TCoolTrayIcon::SetShowHint(bool show) {
    showHint_ = show;
    UpdateToolTip();
}

void TCoolTrayIcon::SetSimulated(bool simulated) {
    simulated_ = simulated;
    UpdateToolTip();
}

QString TCoolTrayIcon::ToolTip() const {
    return tray_->toolTip();
}

void TCoolTrayIcon::UpdateToolTip() {
    tray_->setToolTip(FromText8(TrayTooltip(Text8(hint_), showHint_, simulated_)));
}

void TCoolTrayIcon::SetPopupMenu(QMenu* menu) {
    popupMenu_ = menu;
    tray_->setContextMenu(menu);
}

void TCoolTrayIcon::ShowBalloon(const QString& title, const QString& text, int seconds,
                                BalloonIcon kind) {
    // A balloon belongs to an icon in the tray; a hidden icon shows none.
    if (!iconVisible_)
        return;
    const QString cutTitle = FromText8(BalloonTitle(Text8(title)));
    const QString cutText = FromText8(BalloonText(Text8(text)));
    QSystemTrayIcon::MessageIcon icon = QSystemTrayIcon::NoIcon;
    switch (kind) {
    case BalloonIcon::None:
        break;
    case BalloonIcon::Information:
        icon = QSystemTrayIcon::Information;
        break;
    case BalloonIcon::Warning:
        icon = QSystemTrayIcon::Warning;
        break;
    case BalloonIcon::Error:
        icon = QSystemTrayIcon::Critical;
        break;
    }
    tray_->showMessage(cutTitle, cutText, icon, seconds * 1000);
    emit BalloonHintShow(cutTitle, cutText, seconds, kind);
}

bool TCoolTrayIcon::eventFilter(QObject* watched, QEvent* event) {
    if (watched == owner_ && event->type() == QEvent::WindowStateChange && minimizeToTray_ &&
        owner_->isMinimized() && owner_->isVisible()) {
        emit MinimizeToTrayRequested();
        owner_->hide();
        return true;
    }
    return QObject::eventFilter(watched, event);
}

} // namespace quorvane
