#include "WidgetPits.h"

#include "AppSettings.h"
#include "ModelSessionPitIn.h"
#include "ModelSessionPitOut.h"
#include "V2DataProvider.h"

#include <QLayout>
#include <QSettings>
#include <QTableView>

WidgetPits::WidgetPits(V2DataProvider* provider, bool pitOut, const QString& widthKey, QWidget* parent)
    : TablePanel(parent, true)
{
    const QString skin = AppSettings::skin();
    if (pitOut)
        m_model = new ModelSessionPitOut(provider, skin, this);
    else
        m_model = new ModelSessionPitIn(provider, skin, this);
    m_table = addTable(m_model, {widthKey, QString(), true}, QStringLiteral("tableView"));
    connect(this, &ToolWindow::updateSkin, m_model, &ModelSessionPits::updateSkin);
    // The newest stop is the last row.
    connect(provider, pitOut ? &V2DataProvider::analysisPitOut : &V2DataProvider::analysisPitIn, m_table, &QTableView::scrollToBottom);
}

WidgetPits::~WidgetPits() = default;

ModelSessionPits* WidgetPits::model() const
{
    return m_model;
}

QTableView* WidgetPits::table() const
{
    return m_table;
}
