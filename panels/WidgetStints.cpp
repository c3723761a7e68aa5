#include "WidgetStints.h"

#include "AppSettings.h"
#include "CarNumberOrder.h"
#include "ModelSessionStints.h"
#include "PanelRegistry.h"
#include "V2DataProvider.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QSettings>
#include <QTableView>

#include <algorithm>

namespace {

const QString kWidthKey = QStringLiteral("stints_%1");

} // namespace

WidgetStints::WidgetStints(V2DataProvider* provider, QWidget* parent)
    : TablePanel(parent, true)
    , m_provider(provider)
    , m_model(new ModelSessionStints(provider, AppSettings::skin(), this))
    , m_cars(new QComboBox(contentWidget()))
{
    PanelRegistry::place(this, PanelRegistry::Stints);
    m_cars->setObjectName(QStringLiteral("comboBoxParticipants"));
    m_cars->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    m_table = addTable(m_model, {kWidthKey, QString(), true}, contentWidget(), QStringLiteral("tableView"));
    auto* bar = new QHBoxLayout;
    bar->addWidget(new QLabel(tr("Car:"), contentWidget()));
    bar->addWidget(m_cars);
    bar->addStretch();
    auto* layout = static_cast<QBoxLayout*>(contentWidget()->layout());
    layout->addLayout(bar);
    layout->addWidget(m_table);

    connect(m_cars, QOverload<int>::of(&QComboBox::currentIndexChanged), this, &WidgetStints::chooseCar);
    connect(provider, &V2DataProvider::sessionEntry, this, &WidgetStints::refillCars);
    connect(this, &ToolWindow::updateSkin, m_model, &ModelSessionStints::setSkin);
    refillCars();
    chooseCar(m_cars->currentIndex());
}

WidgetStints::~WidgetStints() = default;

void WidgetStints::setBikeLayout(bool bikes)
{
    m_model->setBikeLayout(bikes);
}

ModelSessionStints* WidgetStints::model() const
{
    return m_model;
}

QComboBox* WidgetStints::carList() const
{
    return m_cars;
}

QTableView* WidgetStints::table() const
{
    return m_table;
}

void WidgetStints::refillCars()
{
    QStringList cars = m_provider->getEntryList();
    std::sort(cars.begin(), cars.end(), &CarNumberOrder::less);
    {
        // Refilling is not the user's choice.
        const QSignalBlocker blocker(m_cars);
        m_cars->clear();
        m_cars->addItems(cars);
        // The first car when none was chosen yet; a chosen car that left is
        // not swapped for another (its times would be read as another's):
        // no selection until it comes back.
        if (m_chosen.isEmpty() && !cars.isEmpty())
            m_chosen = cars.first();
        m_cars->setCurrentIndex(m_cars->findText(m_chosen, Qt::MatchFixedString | Qt::MatchCaseSensitive));
    }
    if (m_cars->currentText() != m_model->participant())
        m_model->setParticipant(m_cars->currentText());
}

bool WidgetStints::setCar(const QString& car)
{
    const int index = m_cars->findText(car, Qt::MatchFixedString | Qt::MatchCaseSensitive);
    if (index < 0)
        return false;
    m_cars->setCurrentIndex(index);
    return true;
}

void WidgetStints::chooseCar(int index)
{
    if (index >= 0)
        m_chosen = m_cars->itemText(index);
    m_model->setParticipant(index >= 0 ? m_cars->itemText(index) : QString());
}
