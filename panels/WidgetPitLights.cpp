#include "WidgetPitLights.h"

#include "PanelRegistry.h"
#include "ResizableQlabelImage.h"
#include "SharedTables.h"
#include "V2DataProvider.h"

#include <QGridLayout>
#include <QLabel>
#include <QSettings>

WidgetPitLights::WidgetPitLights(V2DataProvider* provider, QWidget* parent)
    : ToolWindow(parent, true)
    , m_provider(provider)
    , m_entry(new ResizableQlabelImage(contentWidget()))
    , m_exit(new ResizableQlabelImage(contentWidget()))
{
    PanelRegistry::place(this, PanelRegistry::PitLights);
    m_entry->setObjectName(QStringLiteral("labelPitIn"));
    m_exit->setObjectName(QStringLiteral("labelPitOut"));
    auto* grid = new QGridLayout;
    grid->addWidget(new QLabel(tr("Pit In"), contentWidget()), 0, 0, Qt::AlignHCenter);
    grid->addWidget(new QLabel(tr("Pit Out"), contentWidget()), 0, 1, Qt::AlignHCenter);
    grid->addWidget(m_entry, 1, 0);
    grid->addWidget(m_exit, 1, 1);
    grid->setRowStretch(1, 1);
    static_cast<QBoxLayout*>(contentWidget()->layout())->addLayout(grid);
    connect(provider, &V2DataProvider::pitLights, this, &WidgetPitLights::processUpdate);
    processUpdate();
}

WidgetPitLights::~WidgetPitLights() = default;

QStringList WidgetPitLights::shownPictures() const
{
    return {m_entryPicture, m_exitPicture};
}

void WidgetPitLights::processUpdate()
{
    const QString entry = SharedTables::pitLightPicture(m_provider->getPitEntryStatus());
    const QString exit = SharedTables::pitLightPicture(m_provider->getPitExitStatus());
    // Only a light that changed is drawn again.
    if (entry != m_entryPicture) {
        m_entryPicture = entry;
        m_entry->setImage(QPixmap(entry));
    }
    if (exit != m_exitPicture) {
        m_exitPicture = exit;
        m_exit->setImage(QPixmap(exit));
    }
}
