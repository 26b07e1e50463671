#include "gui/TrayBank.h"

#include <QAction>
#include <QMenu>
#include <QStyle>
#include <QWidget>

#include "gui/Controls.h"
#include "gui/LazyIcon.h"
#include "gui/Siren.h"
#include "monitor/WatchText.h"

namespace quorvane {

TTrayBank::TTrayBank(QWidget* owner, bool trayAvailable, bool simulated,
                     std::unique_ptr<SirenSound> siren)
    : QObject(owner), siren_(std::move(siren)) {
    setObjectName("TrayBank");
    PopupMenu = new QMenu(owner);
    PopupMenu->setObjectName("PopupMenu");
    // The menu's icons are read when it first opens.
    Restore1 = PopupMenu->addAction(LazyStandardIcon(QStyle::SP_TitleBarNormalButton), "Restore");
    Restore1->setObjectName("Restore1");
    PopupMenu->addSeparator()->setObjectName("N1");
    Minimize1 = PopupMenu->addAction(LazyStandardIcon(QStyle::SP_TitleBarMinButton), "Minimize");
    Minimize1->setObjectName("Minimize1");
    History1 = PopupMenu->addAction(LazyStandardIcon(QStyle::SP_FileDialogContentsView),
                                    "History");
    History1->setObjectName("History1");
    PopupMenu->addSeparator()->setObjectName("N2");
    Exit1 = PopupMenu->addAction(LazyStandardIcon(QStyle::SP_DialogCloseButton), "Exit");
    Exit1->setObjectName("Exit1");

    for (size_t i = 0; i < TrayIcons.size(); ++i) {
        auto* icon = new TTextTrayIcon(owner, this);
        icon->setObjectName(QString("HDD%1I").arg(i));
        icon->SetPopupMenu(PopupMenu);
        // Without a tray a hidden window could never be reached again, so
        // the window is then minimised the ordinary way.
        icon->SetMinimizeToTray(trayAvailable);
        icon->SetSimulated(simulated);
        connect(icon, &TCoolTrayIcon::Click, this, &TTrayBank::IconClicked);
        connect(icon, &TCoolTrayIcon::MinimizeToTrayRequested, this,
                &TTrayBank::MinimizeToTrayRequested);
        TrayIcons[i] = icon;
    }
}

TTrayBank::~TTrayBank() = default;

TTextTrayIcon* TTrayBank::Icon(int slot) const {
    return DriveTable::IsSlot(slot) ? TrayIcons[static_cast<size_t>(slot - 1)] : nullptr;
}

void TTrayBank::SetFontColor(int slot, uint32_t color) {
    if (TTextTrayIcon* icon = Icon(slot))
        icon->SetFontColor(color);
}

void TTrayBank::SetBackColor(int slot, uint32_t color) {
    if (TTextTrayIcon* icon = Icon(slot))
        icon->SetColor(color);
}

void TTrayBank::SetHint(int slot, const std::string& hint) {
    if (!DriveTable::IsSlot(slot))
        return;
    hints_[static_cast<size_t>(slot - 1)] = hint;
    ApplyHint(slot);
}

void TTrayBank::SetTrayIconSleeping(int slot, bool sleeping) {
    if (!DriveTable::IsSlot(slot) || sleeping_[static_cast<size_t>(slot - 1)] == sleeping)
        return;
    sleeping_[static_cast<size_t>(slot - 1)] = sleeping;
    ApplyHint(slot);
}

void TTrayBank::SetTrayIconConcerns(int slot, const std::vector<std::string>& concerns) {
    if (!DriveTable::IsSlot(slot) || concerns_[static_cast<size_t>(slot - 1)] == concerns)
        return;
    concerns_[static_cast<size_t>(slot - 1)] = concerns;
    ApplyHint(slot);
}

void TTrayBank::ApplyHint(int slot) {
    const size_t i = static_cast<size_t>(slot - 1);
    const std::string hint = ConcernsHint(hints_[i], concerns_[i]);
    if (TTextTrayIcon* icon = Icon(slot))
        icon->SetHint(CoreText(TrayTooltip(hint, sleeping_[i], notes_[i])));
}

void TTrayBank::SetTrayIconNote(int slot, const std::string& note) {
    if (!DriveTable::IsSlot(slot) || notes_[static_cast<size_t>(slot - 1)] == note)
        return;
    notes_[static_cast<size_t>(slot - 1)] = note;
    ApplyHint(slot);
}

void TTrayBank::ShowHistoryNotice(const std::string& text) {
    emit HistoryNotice(CoreText(text));
}

void TTrayBank::SetVisible(int slot, bool visible) {
    if (TTextTrayIcon* icon = Icon(slot)) {
        icon->Apply(); // the tray shows the look as it is, not the one before
        icon->SetIconVisible(visible);
    }
}

void TTrayBank::ShowInfoBalloon(int slot, const std::string& title, const std::string& text,
                                int seconds) {
    if (TTextTrayIcon* icon = Icon(slot))
        icon->ShowBalloon(CoreText(title), CoreText(text), seconds,
                          TCoolTrayIcon::BalloonIcon::Information);
}

void TTrayBank::HideAll() {
    for (TTextTrayIcon* icon : TrayIcons)
        icon->SetIconVisible(false);
}

void TTrayBank::SetTrayIconText(int slot, const std::string& text) {
    if (TTextTrayIcon* icon = Icon(slot))
        icon->SetText(CoreText(text));
}

void TTrayBank::SetTrayIconBorderColor(int slot, uint32_t color) {
    if (TTextTrayIcon* icon = Icon(slot))
        icon->SetBorderColor(color);
}

void TTrayBank::TickShown() {
    for (TTextTrayIcon* icon : TrayIcons)
        icon->Apply();
}

void TTrayBank::PlaySiren() {
    if (siren_)
        siren_->Play();
}

void TTrayBank::ShowErrorBalloon(int slot, const std::string& title, const std::string& text,
                                 int seconds) {
    if (TTextTrayIcon* icon = Icon(slot))
        icon->ShowBalloon(CoreText(title), CoreText(text), seconds,
                          TCoolTrayIcon::BalloonIcon::Error);
}

void TTrayBank::ShowWarningBalloon(int slot, const std::string& title, const std::string& text,
                                   int seconds) {
    if (TTextTrayIcon* icon = Icon(slot))
        icon->ShowBalloon(CoreText(title), CoreText(text), seconds,
                          TCoolTrayIcon::BalloonIcon::Warning);
}

} // namespace quorvane
