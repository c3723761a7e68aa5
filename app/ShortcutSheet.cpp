#include "ShortcutSheet.h"

#include "KeyboardShortcuts.h"
#include "MainWindow.h"

#include <QAction>
#include <QDialogButtonBox>
#include <QHeaderView>
#include <QMenu>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace {

// A menu text as read: no mnemonic marks, no trailing dots.
QString plain(QString text)
{
    text.replace(QStringLiteral("&&"), QStringLiteral("\x01"));
    text.remove(QLatin1Char('&'));
    text.replace(QLatin1Char('\x01'), QLatin1Char('&'));
    while (text.endsWith(QLatin1Char('.')))
        text.chop(1);
    return text;
}

// "Window → Standing": the menu holding the action, then its text.
QString describe(const QAction* action)
{
    for (QWidget* holder : action->associatedWidgets()) {
        if (const auto* menu = qobject_cast<const QMenu*>(holder))
            return plain(menu->title()) + QStringLiteral(" → ") + plain(action->text());
    }
    return plain(action->text());
}

} // namespace

ShortcutSheet::ShortcutSheet(MainWindow* window)
    : QDialog(window)
    , m_table(new QTableWidget(0, 2, this))
{
    setObjectName(QStringLiteral("ShortcutSheet"));
    setWindowTitle(tr("Keyboard shortcuts"));
    m_table->setObjectName(QStringLiteral("shortcutTable"));
    m_table->setHorizontalHeaderLabels({ tr("Action"), tr("Keys") });
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->verticalHeader()->hide();
    m_table->setTabKeyNavigation(false); // Tab reaches Close; the arrows move in the table
    m_table->horizontalHeader()->setStretchLastSection(true);
    for (const KeyboardShortcuts::Shortcut& shortcut : KeyboardShortcuts::table()) {
        const QAction* action = window->action(shortcut.action);
        if (!action || !action->isVisible())
            continue;
        QStringList keys;
        for (const QKeySequence& sequence : KeyboardShortcuts::keysOf(shortcut))
            keys << sequence.toString(QKeySequence::NativeText);
        const int row = m_table->rowCount();
        m_table->insertRow(row);
        m_table->setItem(row, 0, new QTableWidgetItem(describe(action)));
        m_table->setItem(row, 1, new QTableWidgetItem(keys.join(tr(" or "))));
    }
    m_table->resizeColumnsToContents();

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, Qt::Horizontal, this);
    buttons->setObjectName(QStringLiteral("buttonBox"));
    // Enter closes the sheet as Escape does.
    buttons->button(QDialogButtonBox::Close)->setDefault(true);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_table);
    layout->addWidget(buttons);
    resize(520, 560);
}

ShortcutSheet::~ShortcutSheet() = default;

QTableWidget* ShortcutSheet::table() const
{
    return m_table;
}
