#include "WidgetPits.h"

#include "AppSettings.h"
#include "ModelSessionPitIn.h"
#include "ModelSessionPitOut.h"
#include "V2DataProvider.h"

#include <QLayout>
#include <QSettings>
#include <QTableView>

namespace {

const QRect kDefaultGeometry(100, 100, 200, 200);
constexpr bool kDefaultShow = false;

} // namespace

WidgetPits::WidgetPits(V2DataProvider* provider, bool pitOut, const QString& group, const QString& widthKey, QWidget* parent)
    : TablePanel(parent, true)
{
    setGroupName(group);
    const QString skin = AppSettings::skin();
    if (pitOut)
        m_model = new ModelSessionPitOut(provider, skin, this);
    else
        m_model = new ModelSessionPitIn(provider, skin, this);
    m_table = addTable(m_model, {widthKey, QString(), true}, contentWidget(), QStringLiteral("tableView"));
    contentWidget()->layout()->addWidget(m_table);
    connect(this, &ToolWindow::updateSkin, m_model, &ModelSessionPits::updateSkin);
    // The newest stop is the last row.
    connect(provider, pitOut ? &V2DataProvider::analysisPitOut : &V2DataProvider::analysisPitIn, m_table, &QTableView::scrollToBottom);
}

WidgetPits::~WidgetPits() = default;

void WidgetPits::loadWidgetGeometry(QSettings& settings)
{
    loadGroupGeometry(settings, kDefaultGeometry, kDefaultShow);
}

ModelSessionPits* WidgetPits::model() const
{
    return m_model;
}

QTableView* WidgetPits::table() const
{
    return m_table;
}
