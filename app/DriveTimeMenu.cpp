#include "DriveTimeMenu.h"

#include "DialogDriveTimeRules.h"
#include "DriveTimeMonitor.h"
#include "V2DataProvider.h"
#include "WidgetDriveTime.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>

namespace DriveTimeMenu {

void install(QMenuBar* bar, QWidget* window, V2DataProvider* provider)
{
    auto* menu = new QMenu(QObject::tr("Drive time"), bar);
    menu->setObjectName(QStringLiteral("menuDrive_time"));
    QAction* rules = menu->addAction(QObject::tr("Drive-time rules..."));
    rules->setObjectName(QStringLiteral("actionDrive_time_rules"));
    const QList<QAction*> menus = bar->actions();
    bar->insertMenu(menus.isEmpty() ? nullptr : menus.last(), menu);
    QObject::connect(rules, &QAction::triggered, window, [window, provider] {
        DialogDriveTimeRules dialog(DriveTimeRules::load(), provider->getClasses(), window);
        if (dialog.exec() != QDialog::Accepted)
            return;
        const DriveTimeRules chosen = dialog.rules();
        chosen.save();
        // The alerts follow the new rules whether or not a panel is open.
        provider->driveTimeMonitor()->setRules(chosen);
        for (WidgetDriveTime* panel : window->findChildren<WidgetDriveTime*>())
            panel->setRules(chosen);
    });
}

} // namespace DriveTimeMenu
