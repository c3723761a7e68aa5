#pragma once

#include "AppSettings.h"
#include "MainWindow.h"
#include "PanelRegistry.h"
#include "ToolWindow.h"

#include <QAction>
#include <QMenu>
#include <QSettings>

#include <utility>

// Panels for main-window tests: every registry row built as a light panel
// that records the display options it is given.
using PanelRegistry::Factories;
using PanelRegistry::RowCount;
using PanelRegistry::info;

// A panel as panels are: its registry group and its own geometry defaults;
// it records the options it is given.
class TestPanel final : public ToolWindow
{
public:
    explicit TestPanel(int row)
        : ToolWindow(nullptr, true)
    {
        setPlace(QLatin1String(info(row).group), QRect(33, 44, 301, 201), true);
    }
    void setUsaUnits(bool on) override { options << QStringLiteral("units %1").arg(on); }
    void setBikeLayout(bool bikes) override { options << QStringLiteral("bikes %1").arg(bikes); }
    void setNewestFirst(bool on) override { options << QStringLiteral("newest %1").arg(on); }
    void setUseOpenGL(bool on) override { options << QStringLiteral("opengl %1").arg(on); }
    QList<int> followSlots() const override { return blocks; }
    QStringList options;
    QList<int> blocks;
};

template <int Row>
ToolWindow* makePanel(V2DataProvider*, QWidget*)
{
    return new TestPanel(Row);
}

template <std::size_t... Rows>
Factories allFactories(std::index_sequence<Rows...>)
{
    return {{&makePanel<Rows>...}};
}

// Every panel of the registry built, as a test panel.
inline Factories everyPanel()
{
    return allFactories(std::make_index_sequence<RowCount>());
}

// Only some panels built.
inline Factories somePanels(std::initializer_list<int> rows)
{
    const Factories all = everyPanel();
    Factories some{};
    for (int row : rows)
        some[row] = all[row];
    return some;
}

inline TestPanel* testPanel(MainWindow& window, int row)
{
    return static_cast<TestPanel*>(window.panel(row));
}

inline QVariant stored(const QString& key)
{
    return AppSettings::open()->value(key);
}

inline QStringList actionTexts(QMenu* menu)
{
    QStringList texts;
    for (QAction* action : menu->actions())
        texts << (action->isSeparator() ? QStringLiteral("|") : action->text());
    return texts;
}

