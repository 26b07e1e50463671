// The program's face in the notification area: the six temperature icons
// HDD0I..HDD5I (slot n's icon is HDD(n-1)I), their pop-up menu and the siren.
// It shows what the monitoring session tells it.
#pragma once

#include <QObject>
#include <array>
#include <memory>

#include "app/DriveTable.h"
#include "gui/TextTrayIcon.h"
#include "monitor/MonitorSession.h"

class QAction;
class QMenu;
class QWidget;

namespace quorvane {

class SirenSound;

class TTrayBank final : public QObject, public MonitorView {
    Q_OBJECT

public:
    // owner is the main window the icons hide into the tray and the menu's
    // parent. Without a tray the window is minimised the ordinary way.
    TTrayBank(QWidget* owner, bool trayAvailable, bool simulated,
              std::unique_ptr<SirenSound> siren);
    ~TTrayBank() override;

    // The icon of slot 1..6; nullptr for any other slot.
    TTextTrayIcon* Icon(int slot) const;

    void SetFontColor(int slot, uint32_t color);
    void SetBackColor(int slot, uint32_t color);
    // The tooltip (a drive's model, 8-bit characters) and whether the icon
    // is in the tray.
    void SetHint(int slot, const std::string& hint);
    void SetVisible(int slot, bool visible);
    void ShowInfoBalloon(int slot, const std::string& title, const std::string& text, int seconds);
    // Takes every icon out of the tray (the program ends).
    void HideAll();

    // MonitorView
    void SetTrayIconText(int slot, const std::string& text) override;
    void SetTrayIconBorderColor(int slot, uint32_t color) override;
    void SetTrayIconConcerns(int slot, const std::vector<std::string>& concerns) override;
    void SetTrayIconSleeping(int slot, bool sleeping) override;
    void PlaySiren() override;
    void ShowErrorBalloon(int slot, const std::string& title, const std::string& text,
                          int seconds) override;
    void ShowWarningBalloon(int slot, const std::string& title, const std::string& text,
                            int seconds) override;
    void SetTrayIconNote(int slot, const std::string& note) override;
    void ShowHistoryNotice(const std::string& text) override;
    // Hands every changed icon to the tray, once per tick.
    void TickShown() override;

    std::array<TTextTrayIcon*, MaxDrives> TrayIcons{};
    QMenu* PopupMenu;
    QAction* Restore1;
    QAction* Minimize1;
    QAction* History1;
    QAction* Exit1;

signals:
    // A click on any of the icons.
    void IconClicked();
    // One of the icons reports its owner being minimised into the tray.
    void MinimizeToTrayRequested();
    // The history says once why it is not recorded, or that it is again.
    void HistoryNotice(const QString& text);

private:
    // The slot's tooltip: its drive's model, and "sleeping" while left unread.
    void ApplyHint(int slot);

    std::unique_ptr<SirenSound> siren_;
    std::array<std::string, MaxDrives> hints_{};
    std::array<bool, MaxDrives> sleeping_{};
    std::array<std::vector<std::string>, MaxDrives> concerns_{};
    std::array<std::string, MaxDrives> notes_{};
};

} // namespace quorvane
