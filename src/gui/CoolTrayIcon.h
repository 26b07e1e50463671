// One icon in the desktop's notification area, over QSystemTrayIcon: add and
// remove by IconVisible, the tooltip, balloons, a click on the icon, the
// pop-up menu, and hiding the owning window into the tray when it is
// minimised. The tray brings its icons back by itself when the notification
// area restarts.
#pragma once

#include <QIcon>
#include <QObject>
#include <QString>

class QMenu;
class QSystemTrayIcon;
class QWidget;

namespace quorvane {

class TCoolTrayIcon : public QObject {
    Q_OBJECT

public:
    enum class BalloonIcon { None = 0, Information = 1, Warning = 2, Error = 3 };

    // owner is the window hidden into the tray when it is minimised.
    TCoolTrayIcon(QWidget* owner, QObject* parent);

    virtual QIcon Icon() const { return icon_; }
    void SetIcon(const QIcon& icon);

    // The icon is in the tray while this is on. The value is kept even when
    // the desktop has no tray.
    bool IconVisible() const { return iconVisible_; }
    void SetIconVisible(bool visible);

    QString Hint() const { return hint_; }
    void SetHint(const QString& hint);
    bool ShowHint() const { return showHint_; }
    void SetShowHint(bool show);
    // On simulated drives every tooltip says so.
    void SetSimulated(bool simulated);
    // The tooltip the tray shows.
    QString ToolTip() const;

    // A disabled icon ignores the mouse.
    bool Enabled() const { return enabled_; }
    void SetEnabled(bool enabled) { enabled_ = enabled; }

    void SetPopupMenu(QMenu* menu);
    QMenu* PopupMenu() const { return popupMenu_; }

    // Minimising the owner hides it into the tray (and fires MinimizeToTray).
    bool MinimizeToTray() const { return minimizeToTray_; }
    void SetMinimizeToTray(bool on) { minimizeToTray_ = on; }

    // Title at most 63 characters, text at most 255; shown for seconds.
    void ShowBalloon(const QString& title, const QString& text, int seconds, BalloonIcon kind);

signals:
    // A left click on the icon.
    void Click();
    // The owner is being minimised into the tray.
    void MinimizeToTrayRequested();
    // A balloon was handed to the tray (none is shown while the icon is not).
    void BalloonHintShow(const QString& title, const QString& text, int seconds,
                         quorvane::TCoolTrayIcon::BalloonIcon kind);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void UpdateToolTip();

    QWidget* owner_;
    QSystemTrayIcon* tray_;
    QIcon icon_;
    QString hint_;
    QMenu* popupMenu_ = nullptr;
    bool iconVisible_ = false;
    bool showHint_ = true;
    bool simulated_ = false;
    bool enabled_ = true;
    bool minimizeToTray_ = false;
};

} // namespace quorvane
