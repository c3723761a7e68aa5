#include "AlertsMenu.h"

#include "AlertRules.h"
#include "AppSettings.h"
#include "DialogAlertRules.h"
#include "TeamAlertEngine.h"
#include "V2DataProvider.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <QSettings>

AlertsMenu::AlertsMenu(QMenuBar* bar, QMenu* before, V2DataProvider* provider, QWidget* window)
    : QObject(window)
    , m_menu(new QMenu(tr("Alerts"), bar))
    , m_provider(provider)
    , m_window(window)
{
    m_menu->setObjectName(QStringLiteral("menuAlerts"));
    if (before)
        bar->insertMenu(before->menuAction(), m_menu);
    else
        bar->addMenu(m_menu);
    QAction* rules = m_menu->addAction(tr("Alert rules..."));
    rules->setObjectName(QStringLiteral("actionAlertRules"));
    connect(rules, &QAction::triggered, this, &AlertsMenu::editRules);

    const std::unique_ptr<QSettings> settings = AppSettings::open();
    m_provider->teamAlerts()->setRules(AlertRules::load(*settings));
}

AlertsMenu::~AlertsMenu() = default;

QMenu* AlertsMenu::menu() const
{
    return m_menu;
}

void AlertsMenu::editRules()
{
    DialogAlertRules dialog(m_provider->teamAlerts()->rules(), m_window);
    dialog.setObjectName(QStringLiteral("DialogAlertRules"));
    if (dialog.exec() != QDialog::Accepted)
        return;
    const AlertRules rules = dialog.rules();
    m_provider->teamAlerts()->setRules(rules);
    const std::unique_ptr<QSettings> settings = AppSettings::open();
    rules.save(*settings);
}
