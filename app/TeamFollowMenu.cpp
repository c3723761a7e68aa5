#include "TeamFollowMenu.h"

#include "AppSettings.h"
#include "TeamFollowSync.h"
#include "V2DataProvider.h"

#include <QAction>
#include <QMenu>
#include <QStatusBar>

namespace {

const QString kShareFollowedCarsKey = QStringLiteral("share_followed_cars");
constexpr int kNoticeMs = 15000;

void showState(QAction* action, const TeamFollowSync* team)
{
    QString text = QObject::tr("Share followed cars through this server");
    if (team->state() == TeamFollowSync::State::ReceiveOnly)
        text += QObject::tr(" (uploads refused here)");
    else if (team->state() == TeamFollowSync::State::NoChannel)
        text += QObject::tr(" (no team channel here)");
    action->setText(text);
    action->setToolTip(team->stateText());
    action->setStatusTip(team->stateText());
}

} // namespace

namespace TeamFollowMenu {

void install(QMenu* fileMenu, QStatusBar* statusBar, V2DataProvider* provider)
{
    TeamFollowSync* team = provider->teamFollow();
    auto* action = new QAction(fileMenu);
    action->setObjectName(QStringLiteral("actionShare_followed_cars"));
    action->setCheckable(true);
    // Right after the connection data: it is a choice about this server.
    const QList<QAction*> actions = fileMenu->actions();
    fileMenu->insertAction(actions.size() > 1 ? actions.at(1) : nullptr, action);
    fileMenu->setToolTipsVisible(true);

    team->setEnabled(AppSettings::open()->value(kShareFollowedCarsKey, false).toBool());
    action->setChecked(team->isEnabled());
    showState(action, team);
    QObject::connect(action, &QAction::toggled, team, [team](bool on) {
        AppSettings::open()->setValue(kShareFollowedCarsKey, on);
        team->setEnabled(on);
    });
    QObject::connect(team, &TeamFollowSync::stateChanged, action, [action, team] { showState(action, team); });
    QObject::connect(team, &TeamFollowSync::notice, statusBar, [statusBar](const QString& text) { statusBar->showMessage(text, kNoticeMs); });
}

} // namespace TeamFollowMenu
