#include "WidgetGapChart.h"

#include "AppSettings.h"
#include "CarNumberOrder.h"
#include "GapChartView.h"
#include "PanelRegistry.h"
#include "V2DataProvider.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QSettings>
#include <QSignalBlocker>
#include <QToolButton>

#include <algorithm>

namespace {

// The chart's options outside layouts, kept under the name of its layout group.
const QString kOptionsGroup = QStringLiteral("view_gapchart");
const QString kLapWidthKey = QStringLiteral("lap_width");
const QString kSecondHeightKey = QStringLiteral("second_height");
// The user's cars, comma-separated (an empty text is no car: the store
// would read an empty list back as none); absent: the followed cars.
const QString kCarsKey = QStringLiteral("cars");
// Empty: the leader.
const QString kReferenceKey = QStringLiteral("reference");
constexpr double kDefaultLapWidth = 12.0;
constexpr double kDefaultSecondHeight = 4.0;

} // namespace

WidgetGapChart::WidgetGapChart(V2DataProvider* provider, QWidget* parent)
    : ToolWindow(parent, true)
    , m_provider(provider)
    , m_view(new GapChartView(contentWidget()))
    , m_reference(new QComboBox(contentWidget()))
    , m_cars(new QToolButton(contentWidget()))
    , m_carMenu(new QMenu(m_cars))
    , m_follow(new QToolButton(contentWidget()))
{
    PanelRegistry::place(this, PanelRegistry::GapChart);
    m_view->setObjectName(QStringLiteral("gapChartView"));
    m_reference->setObjectName(QStringLiteral("comboBox_Reference"));
    m_cars->setObjectName(QStringLiteral("toolButton_Cars"));
    m_follow->setObjectName(QStringLiteral("toolButton_Newest"));
    m_view->setToolTip(tr("Gap to the reference at the end of each lap (the lap end times of the car and of the reference).\n"
                          "Squares: pit-entry laps. Bands: laps under a safety car (grey) or a full-course yellow (yellow).\n"
                          "A car a lap down (the reference had ended the next lap before it ended this one) or a lap up\n"
                          "(it ended the lap before the reference began it) is clipped to that lap and drawn dotted.\n"
                          "Ctrl+wheel or +/-: zoom the laps; Ctrl+Shift+wheel or Ctrl+ +/-: zoom the gaps.\n"
                          "Drag or arrow keys: pan; End: back to the newest lap."));
    m_cars->setText(tr("Cars"));
    m_cars->setPopupMode(QToolButton::InstantPopup);
    m_cars->setMenu(m_carMenu);
    m_follow->setText(tr("Newest lap"));
    m_follow->setCheckable(true);
    m_follow->setToolTip(tr("The view follows the newest lap until you pan away from it"));
    auto* bar = new QHBoxLayout;
    bar->addWidget(new QLabel(tr("Gap to:"), contentWidget()));
    bar->addWidget(m_reference);
    bar->addWidget(m_cars);
    bar->addStretch(1);
    bar->addWidget(m_follow);
    auto* layout = static_cast<QBoxLayout*>(contentWidget()->layout());
    layout->addLayout(bar);
    layout->addWidget(m_view, 1);

    const auto settings = AppSettings::open();
    settings->beginGroup(kOptionsGroup);
    m_view->setScale(settings->value(kLapWidthKey, kDefaultLapWidth).toDouble(), settings->value(kSecondHeightKey, kDefaultSecondHeight).toDouble());
    const QVariant cars = settings->value(kCarsKey);
    const QString reference = settings->value(kReferenceKey).toString();
    settings->endGroup();
    m_view->setSkin(AppSettings::skin());
    if (cars.isValid())
        m_view->setChosenCars(cars.toString().split(QLatin1Char(','), Qt::SkipEmptyParts));
    m_view->setReference(reference);
    m_view->setProvider(provider);
    fillReferences();
    m_follow->setChecked(m_view->followsNewest());

    connect(this, &ToolWindow::updateSkin, m_view, &GapChartView::setSkin);
    connect(m_view, &GapChartView::scaleChanged, this, &WidgetGapChart::saveOptions);
    connect(m_view, &GapChartView::followNewestChanged, m_follow, &QToolButton::setChecked);
    connect(m_follow, &QToolButton::clicked, m_view, &GapChartView::setFollowNewest);
    connect(m_carMenu, &QMenu::aboutToShow, this, &WidgetGapChart::fillCarMenu);
    connect(provider, &V2DataProvider::sessionEntry, this, &WidgetGapChart::fillReferences);
    connect(m_reference, QOverload<int>::of(&QComboBox::activated), this, [this](int index) {
        m_view->setReference(m_reference->itemData(index).toString());
        saveOptions();
    });
}

WidgetGapChart::~WidgetGapChart() = default;

GapChartView* WidgetGapChart::view() const
{
    return m_view;
}

QComboBox* WidgetGapChart::referenceBox() const
{
    return m_reference;
}

QMenu* WidgetGapChart::carMenu() const
{
    return m_carMenu;
}

void WidgetGapChart::fillReferences()
{
    const QSignalBlocker blocker(m_reference);
    QStringList cars = m_provider->getEntryList();
    const QString chosen = m_view->reference();
    // A kept reference stays listed before its entry arrives.
    if (!chosen.isEmpty() && !cars.contains(chosen))
        cars.append(chosen);
    std::sort(cars.begin(), cars.end(), CarNumberOrder::less);
    m_reference->clear();
    m_reference->addItem(tr("Leader"), QString());
    for (const QString& pNum : qAsConst(cars))
        m_reference->addItem(QStringLiteral("#") + pNum, pNum);
    m_reference->setCurrentIndex(std::max(0, m_reference->findData(chosen)));
}

void WidgetGapChart::fillCarMenu()
{
    m_carMenu->clear();
    QAction* followed = m_carMenu->addAction(tr("Followed cars"));
    followed->setCheckable(true);
    followed->setChecked(!m_view->hasChosenCars());
    connect(followed, &QAction::triggered, this, [this] {
        m_view->clearChosenCars();
        saveOptions();
    });
    m_carMenu->addSeparator();
    // The cars to draw, not those drawn: outside a race or before its laps nothing is.
    const QStringList drawn = m_view->drawnCars();
    QStringList cars = m_provider->getEntryList();
    for (const QString& pNum : drawn) {
        if (!cars.contains(pNum))
            cars.append(pNum);
    }
    std::sort(cars.begin(), cars.end(), CarNumberOrder::less);
    for (const QString& pNum : qAsConst(cars)) {
        const QString team = m_provider->getParticipantTeam(pNum);
        QAction* action = m_carMenu->addAction(team.isEmpty() ? QStringLiteral("#") + pNum : QStringLiteral("#%1  %2").arg(pNum, team));
        action->setCheckable(true);
        action->setChecked(drawn.contains(pNum));
        action->setData(pNum);
        connect(action, &QAction::toggled, this, [this, pNum](bool on) { toggleCar(pNum, on); });
    }
}

// The first change makes the cars to draw so far (the followed ones) the user's.
void WidgetGapChart::toggleCar(const QString& pNum, bool drawn)
{
    QStringList cars = m_view->drawnCars();
    if (drawn && !cars.contains(pNum))
        cars.append(pNum);
    if (!drawn)
        cars.removeAll(pNum);
    std::sort(cars.begin(), cars.end(), CarNumberOrder::less);
    m_view->setChosenCars(cars);
    saveOptions();
}

// Each choice is kept at once, and again with the panel's place in a layout.
void WidgetGapChart::saveOptions() const
{
    const auto settings = AppSettings::open();
    settings->beginGroup(kOptionsGroup);
    writeOptions(*settings);
    settings->endGroup();
}

void WidgetGapChart::writeOptions(QSettings& settings) const
{
    settings.setValue(kLapWidthKey, m_view->lapWidth());
    settings.setValue(kSecondHeightKey, m_view->secondHeight());
    if (m_view->hasChosenCars())
        settings.setValue(kCarsKey, m_view->chosenCars().join(QLatin1Char(',')));
    else
        settings.remove(kCarsKey);
    settings.setValue(kReferenceKey, m_view->reference());
}

void WidgetGapChart::saveWidgetGeometry(QSettings& settings)
{
    ToolWindow::saveWidgetGeometry(settings);
    settings.beginGroup(groupName());
    writeOptions(settings);
    settings.endGroup();
}
