#include "KeyboardShortcuts.h"

#include "AppSettings.h"
#include "FindCar.h"
#include "LayoutDialog.h"
#include "MainWindow.h"
#include "PanelRegistry.h"
#include "ShortcutSheet.h"

#include <QAction>
#include <QEvent>
#include <QMenu>
#include <QMenuBar>
#include <QSettings>

#include <iterator>

namespace {

// A panel opens and closes with "Alt+W" ("W" as Window) and then its letter:
// one prefix leaves every single key and the toolkit's standard keys alone
// and has room for 36 panels (letters and digits). Letters as mnemonic as
// the menu texts allow; a new registry row needs one here (the build checks).
// No menu title or button may take Alt+W as its mnemonic: the chord would clash.
const char kPanelKeys[] = {
    'D', // Day time
    'I', // Session Info
    'S', // Standing
    'C', // Standing Combined
    'F', // Standing Fastest Lap
    'K', // Class Standings
    'T', // Track Limits
    'E', // Pit Entry
    'X', // Pit Exit
    'H', // Pit Lights
    'O', // Sector Info
    'P', // Participant Follow
    'M', // Messages
    'W', // Meteo (weather)
    'L', // Lap Chart
    'N', // Positioning
    'U', // Stints
    'G', // Flags
    'Y', // Tyres
    'B', // Additional Standings
    'V', // Track Preview
    'A', // Alerts
    'R', // Drive Time
    'J', // Pit Window
    'Q', // Gap Chart
};
static_assert(std::size(kPanelKeys) == PanelRegistry::RowCount, "every registry row needs its panel key");

QString layoutActionName(int index)
{
    return QStringLiteral("actionLayout_%1").arg(index + 1);
}

} // namespace

KeyboardShortcuts::KeyboardShortcuts(MainWindow* window)
    : QObject(window)
    , m_window(window)
{
    auto* layoutMenu = window->menuBar()->findChild<QMenu*>(QStringLiteral("menuLayout"));
    QAction* save = window->action(QStringLiteral("actionLayoutSave"));
    if (layoutMenu && save) {
        // Below "Save...": the layouts the keys load.
        const QList<QAction*> entries = layoutMenu->actions();
        QAction* before = entries.value(entries.indexOf(save) + 1);
        layoutMenu->insertSeparator(before);
        for (int index = 0; index < kLayoutKeys; ++index) {
            auto* layout = new QAction(layoutMenu);
            layout->setObjectName(layoutActionName(index));
            layoutMenu->insertAction(before, layout);
            connect(layout, &QAction::triggered, this, [this, index] { loadLayout(index); });
            m_layoutActions[index] = layout;
        }
        connect(layoutMenu, &QMenu::aboutToShow, this, &KeyboardShortcuts::refreshLayouts);
        // Saving may have added or deleted layouts.
        connect(save, &QAction::triggered, this, &KeyboardShortcuts::refreshLayouts);
        refreshLayouts();
    }

    if (auto* windowMenu = window->menuBar()->findChild<QMenu*>(QStringLiteral("menuWindow"))) {
        QAction* bringAll = window->action(QStringLiteral("actionBring_all_to_primary_desktop"));
        auto* find = new QAction(tr("Find a car..."), windowMenu);
        find->setObjectName(QStringLiteral("actionFind_car"));
        windowMenu->insertAction(bringAll, find);
        connect(find, &QAction::triggered, this, [this] { FindCar::run(m_window); });
    }
    if (auto* help = window->menuBar()->findChild<QMenu*>(QStringLiteral("menuHelp"))) {
        QAction* sheet = help->addAction(tr("Keyboard shortcuts"));
        sheet->setObjectName(QStringLiteral("actionKeyboard_shortcuts"));
        connect(sheet, &QAction::triggered, this, &KeyboardShortcuts::showSheet);
    }
    bind();
    window->installEventFilter(this);
}

KeyboardShortcuts::~KeyboardShortcuts() = default;

QVector<KeyboardShortcuts::Shortcut> KeyboardShortcuts::table()
{
    QVector<Shortcut> shortcuts;
    for (int row = 0; row < PanelRegistry::RowCount; ++row)
        shortcuts.append({ QLatin1String(PanelRegistry::info(row).actionName), QKeySequence(QStringLiteral("Alt+W, %1").arg(QLatin1Char(kPanelKeys[row]))) });
    for (int index = 0; index < kLayoutKeys; ++index)
        shortcuts.append({ layoutActionName(index), QKeySequence(QStringLiteral("Ctrl+%1").arg(index + 1)) });
    shortcuts.append({ QStringLiteral("actionFind_car"), QKeySequence(), QKeySequence::Find });
    // Function keys for the replay, as media players and debuggers step.
    shortcuts.append({ QStringLiteral("actionReplay_play_pause"), QKeySequence(Qt::Key_F8) });
    shortcuts.append({ QStringLiteral("actionReplay_back"), QKeySequence(Qt::Key_F7) });
    shortcuts.append({ QStringLiteral("actionReplay_forward"), QKeySequence(Qt::Key_F9) });
    shortcuts.append({ QStringLiteral("actionReplay_back_minute"), QKeySequence(Qt::SHIFT + Qt::Key_F7) });
    shortcuts.append({ QStringLiteral("actionReplay_forward_minute"), QKeySequence(Qt::SHIFT + Qt::Key_F9) });
    shortcuts.append({ QStringLiteral("actionDelay"), QKeySequence(Qt::CTRL + Qt::SHIFT + Qt::Key_D) });
    shortcuts.append({ QStringLiteral("actionAcknowledge_all_alerts"), QKeySequence(Qt::CTRL + Qt::SHIFT + Qt::Key_K) });
    shortcuts.append({ QStringLiteral("actionKeyboard_shortcuts"), QKeySequence(), QKeySequence::HelpContents });
    return shortcuts;
}

QList<QKeySequence> KeyboardShortcuts::keysOf(const Shortcut& shortcut)
{
    if (shortcut.standard != QKeySequence::UnknownKey)
        return QKeySequence::keyBindings(shortcut.standard);
    return { shortcut.keys };
}

void KeyboardShortcuts::bind()
{
    for (const Shortcut& shortcut : table()) {
        QAction* action = m_window->action(shortcut.action);
        if (!action)
            continue;
        action->setShortcuts(keysOf(shortcut));
        // The panels are windows of their own: the keys work from them too.
        action->setShortcutContext(Qt::ApplicationShortcut);
        // A held key acts once: a repeated play/pause ends anywhere, and each
        // jump or layout rebuilds what the panels show.
        action->setAutoRepeat(false);
    }
}

bool KeyboardShortcuts::eventFilter(QObject* watched, QEvent* event)
{
    // Actions made after this object (by later parts of the window) get their keys too.
    if (watched == m_window && event->type() == QEvent::Show) {
        bind();
        m_window->removeEventFilter(this);
    }
    return QObject::eventFilter(watched, event);
}

void KeyboardShortcuts::refreshLayouts()
{
    const auto settings = AppSettings::open();
    settings->beginGroup(LayoutDialog::kLayoutsGroup);
    m_layoutNames = settings->childGroups();
    settings->endGroup();
    for (int index = 0; index < kLayoutKeys; ++index) {
        QAction* layout = m_layoutActions[index];
        if (!layout)
            continue;
        // An action with no layout is hidden, and so are its keys.
        layout->setVisible(index < m_layoutNames.size());
        // "&" would be read as a mnemonic.
        layout->setText(m_layoutNames.value(index).replace(QLatin1Char('&'), QStringLiteral("&&")));
    }
}

QAction* KeyboardShortcuts::layoutAction(int index) const
{
    return index >= 0 && index < kLayoutKeys ? m_layoutActions[index] : nullptr;
}

void KeyboardShortcuts::loadLayout(int index)
{
    // The name at that place now: layouts saved or deleted since the menu was shown count.
    refreshLayouts();
    const QString name = m_layoutNames.value(index);
    if (name.isEmpty())
        return;
    // The whole layout: its panels open, the others hidden, everything in its place.
    m_window->setLayout(name);
    m_window->applyLayout(name);
}

void KeyboardShortcuts::showSheet()
{
    ShortcutSheet sheet(m_window);
    sheet.exec();
}
