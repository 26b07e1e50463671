// The main window's About group: the program's icon, name and version, the
// operating system, and the two links.
#pragma once

#include <QGroupBox>
#include <string>

class QLabel;

namespace quorvane {

class TLinkLabel;

class TAboutGroup : public QGroupBox {
    Q_OBJECT

public:
    explicit TAboutGroup(QWidget* parent);

    // The program's four-part version and the system's text; an empty
    // system text leaves "...".
    void ShowVersions(const std::string& version, const std::string& system);

    QLabel* Image1;
    QLabel* ProgNameL;
    QLabel* VersionL;
    QLabel* FlagI;
    QLabel* OSL;
    QLabel* HomeNL;
    TLinkLabel* HomeL;
    QLabel* MailNL;
    TLinkLabel* MailL;

signals:
    // A link label asks the desktop to open its target.
    void OpenLinkRequested(const QString& target);
};

} // namespace quorvane
