#include "WidgetPitWindow.h"

#include "AppSettings.h"
#include "CarNumberOrder.h"
#include "ModelPitWindow.h"
#include "PanelRegistry.h"
#include "V2DataProvider.h"

#include <QComboBox>
#include <QDoubleSpinBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QSettings>
#include <QSpinBox>
#include <QTableView>
#include <QToolButton>

#include <algorithm>

namespace {

// Kept under the panel's group name, outside layouts: the user's choices.
const QString kOptionsGroup = QStringLiteral("view_pitwindow");
const QString kWidthKey = QStringLiteral("pitwindow_%1");
const QString kLapsKey = QStringLiteral("laps_ahead");
const QString kKindKey = QStringLiteral("stop_kind");
const QString kOverrideKey = QStringLiteral("override_%1");   // seconds; absent: none
const QString kUserLossKey = QStringLiteral("user_loss_%1");  // seconds, until enough stops
constexpr int kDefaultLaps = 3;
constexpr int kMaxLaps = 15;

QString lossText(const PitLossLearner::Value& value)
{
    const QString seconds = QString::number(double(value.lossMs) / 1000.0, 'f', 1);
    const QString stops = value.stops == 1 ? WidgetPitWindow::tr("1 stop") : WidgetPitWindow::tr("%1 stops").arg(value.stops);
    switch (value.source) {
    case PitLossLearner::Learnt: return WidgetPitWindow::tr("%1 s (%2)").arg(seconds, stops);
    case PitLossLearner::Override: return WidgetPitWindow::tr("%1 s (set; %2)").arg(seconds, stops);
    default: return WidgetPitWindow::tr("%1 s (default; %2)").arg(seconds, stops);
    }
}

} // namespace

WidgetPitWindow::WidgetPitWindow(V2DataProvider* provider, QWidget* parent)
    : TablePanel(parent, true)
    , m_provider(provider)
    , m_model(new ModelPitWindow(provider, this))
    , m_cars(new QComboBox(contentWidget()))
    , m_kind(new QComboBox(contentWidget()))
    , m_laps(new QSpinBox(contentWidget()))
    , m_condition(new QLabel(contentWidget()))
{
    PanelRegistry::place(this, PanelRegistry::PitWindow);
    m_cars->setObjectName(QStringLiteral("comboBoxParticipants"));
    m_cars->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    m_kind->setObjectName(QStringLiteral("comboBoxStopKind"));
    m_laps->setObjectName(QStringLiteral("spinBoxLapsAhead"));
    m_laps->setRange(0, kMaxLaps);
    for (int kind = 0; kind < PitLossLearner::KindCount; ++kind)
        m_kind->addItem(PitLossLearner::kindName(PitLossLearner::Kind(kind)));
    auto* help = new QToolButton(contentWidget());
    help->setObjectName(QStringLiteral("toolButtonHelp"));
    help->setText(QStringLiteral("?"));
    help->setToolTip(assumptions());

    auto* bar = new QHBoxLayout;
    bar->addWidget(new QLabel(tr("Car:"), contentWidget()));
    bar->addWidget(m_cars);
    bar->addWidget(new QLabel(tr("Stop:"), contentWidget()));
    bar->addWidget(m_kind);
    bar->addWidget(new QLabel(tr("Laps ahead:"), contentWidget()));
    bar->addWidget(m_laps);
    bar->addWidget(m_condition);
    bar->addStretch();
    bar->addWidget(help);
    QTableView* table = addTable(m_model, {kWidthKey, QString()}, contentWidget(), QStringLiteral("tableView"));
    table->setToolTip(assumptions());

    // The pit loss per kind: green, under a neutralisation, and the override.
    auto* losses = new QGridLayout;
    losses->addWidget(new QLabel(tr("Pit loss"), contentWidget()), 0, 0);
    losses->addWidget(new QLabel(tr("Green"), contentWidget()), 0, 1);
    losses->addWidget(new QLabel(tr("SC / FCY"), contentWidget()), 0, 2);
    losses->addWidget(new QLabel(tr("Override"), contentWidget()), 0, 3);
    losses->addWidget(new QLabel(tr("Until 3 stops"), contentWidget()), 0, 4);
    const auto settings = AppSettings::open();
    settings->beginGroup(kOptionsGroup);
    for (int kind = 0; kind < PitLossLearner::KindCount; ++kind) {
        const auto k = PitLossLearner::Kind(kind);
        // The user's value per kind, used until enough stops exist; a value
        // that is not a positive number of seconds reads as the default.
        const double user = settings->value(kUserLossKey.arg(kind)).toDouble();
        m_userValues[kind] = new QDoubleSpinBox(contentWidget());
        m_userValues[kind]->setObjectName(QStringLiteral("userLossBox%1").arg(kind));
        m_userValues[kind]->setRange(1.0, 600.0);
        m_userValues[kind]->setDecimals(1);
        m_userValues[kind]->setSuffix(tr(" s"));
        m_userValues[kind]->setToolTip(tr("The loss of this kind used until three such stops exist"));
        m_userValues[kind]->setValue(user > 0 ? user : double(PitLossLearner::defaultUserValue(k)) / 1000.0);
        m_model->learner().setUserValue(k, qint64(m_userValues[kind]->value() * 1000.0));
        m_green[kind] = new QLabel(contentWidget());
        m_neutral[kind] = new QLabel(contentWidget());
        m_overrides[kind] = new QDoubleSpinBox(contentWidget());
        m_overrides[kind]->setObjectName(QStringLiteral("overrideBox%1").arg(kind));
        m_overrides[kind]->setRange(0.0, 600.0);
        m_overrides[kind]->setDecimals(1);
        m_overrides[kind]->setSuffix(tr(" s"));
        m_overrides[kind]->setSpecialValueText(tr("learnt"));
        m_overrides[kind]->setToolTip(tr("Replaces the learnt value of this kind (under a safety car or full-course yellow, half of it); at 0 the learnt or default value is used"));
        const QVariant stored = settings->value(kOverrideKey.arg(kind));
        if (stored.isValid() && stored.toDouble() > 0) {
            m_overrides[kind]->setValue(stored.toDouble());
            m_model->learner().setOverride(k, qint64(stored.toDouble() * 1000.0));
        }
        losses->addWidget(new QLabel(PitLossLearner::kindName(k), contentWidget()), kind + 1, 0);
        losses->addWidget(m_green[kind], kind + 1, 1);
        losses->addWidget(m_neutral[kind], kind + 1, 2);
        losses->addWidget(m_overrides[kind], kind + 1, 3);
        losses->addWidget(m_userValues[kind], kind + 1, 4);
        connect(m_userValues[kind], QOverload<double>::of(&QDoubleSpinBox::valueChanged), this, [this, k](double seconds) {
            m_model->learner().setUserValue(k, qint64(seconds * 1000.0));
            AppSettings::open()->setValue(kOptionsGroup + QLatin1Char('/') + kUserLossKey.arg(int(k)), seconds);
            m_model->processRefresh();
        });
        connect(m_overrides[kind], QOverload<double>::of(&QDoubleSpinBox::valueChanged), this, [this, k](double seconds) {
            m_model->learner().setOverride(k, seconds > 0 ? qint64(seconds * 1000.0) : -1);
            const auto store = AppSettings::open();
            store->beginGroup(kOptionsGroup);
            if (seconds > 0)
                store->setValue(kOverrideKey.arg(int(k)), seconds);
            else
                store->remove(kOverrideKey.arg(int(k)));
            store->endGroup();
            m_model->processRefresh();
        });
    }
    m_laps->setValue(settings->value(kLapsKey, kDefaultLaps).toInt());
    m_kind->setCurrentIndex(std::clamp(settings->value(kKindKey, int(PitLossLearner::Tyres)).toInt(), 0, PitLossLearner::KindCount - 1));
    settings->endGroup();
    losses->setColumnStretch(5, 1);

    auto* layout = static_cast<QBoxLayout*>(contentWidget()->layout());
    layout->addLayout(bar);
    layout->addWidget(table, 1);
    layout->addLayout(losses);

    m_model->setLapsAhead(m_laps->value());
    m_model->setStopKind(PitLossLearner::Kind(m_kind->currentIndex()));
    connect(m_laps, QOverload<int>::of(&QSpinBox::valueChanged), this, [this](int laps) {
        m_model->setLapsAhead(laps);
        AppSettings::open()->setValue(kOptionsGroup + QLatin1Char('/') + kLapsKey, laps);
    });
    connect(m_kind, QOverload<int>::of(&QComboBox::currentIndexChanged), this, [this](int kind) {
        m_model->setStopKind(PitLossLearner::Kind(kind));
        AppSettings::open()->setValue(kOptionsGroup + QLatin1Char('/') + kKindKey, kind);
    });
    connect(m_cars, QOverload<int>::of(&QComboBox::activated), this, [this](int index) {
        m_chosen = m_cars->itemText(index);
        m_model->setCar(m_chosen);
    });
    connect(m_model, &ModelPitWindow::lossesChanged, this, &WidgetPitWindow::showLosses);
    connect(provider, &V2DataProvider::sessionEntry, this, &WidgetPitWindow::refillCars);
    connect(provider, &V2DataProvider::onCarToFollowChanged, this, &WidgetPitWindow::refillCars);
    refillCars();
}

WidgetPitWindow::~WidgetPitWindow() = default;

QString WidgetPitWindow::assumptions()
{
    return tr("Where the car rejoins if it stops on that lap, from the standings' gaps and the cars' recent pace.\n"
              "It assumes the others keep their recent pace and no one else stops (a stop another car has begun counts).\n"
              "The standings' gap to the leader is read as time at equal distance, whole laps included (the lap count beside it is not added).\n"
              "A gap of a lap or more is counted exactly: a car a lap down stays a lap down unless the stop costs more than its gap.\n"
              "Class positions count the cars of the same class only.\n"
              "The pit loss is the median of this session's stops of that kind (in and out laps against the car's recent pace),\n"
              "learnt apart under a safety car or full-course yellow; until three stops exist, the value under \"Until 3 stops\".");
}

ModelPitWindow* WidgetPitWindow::model() const
{
    return m_model;
}

QComboBox* WidgetPitWindow::carList() const
{
    return m_cars;
}

QSpinBox* WidgetPitWindow::lapsAhead() const
{
    return m_laps;
}

QDoubleSpinBox* WidgetPitWindow::overrideBox(PitLossLearner::Kind kind) const
{
    return m_overrides[kind];
}

QDoubleSpinBox* WidgetPitWindow::userValueBox(PitLossLearner::Kind kind) const
{
    return m_userValues[kind];
}

QLabel* WidgetPitWindow::lossLabel(PitLossLearner::Kind kind, bool neutralised) const
{
    return neutralised ? m_neutral[kind] : m_green[kind];
}

bool WidgetPitWindow::setCar(const QString& car)
{
    const int index = m_cars->findText(car, Qt::MatchFixedString | Qt::MatchCaseSensitive);
    if (index < 0)
        return false;
    m_cars->setCurrentIndex(index);
    m_chosen = car;
    m_model->setCar(car);
    return true;
}

void WidgetPitWindow::refillCars()
{
    QStringList cars = m_provider->getEntryList();
    std::sort(cars.begin(), cars.end(), &CarNumberOrder::less);
    // The user's car, else the first followed car, else the first car.
    QString car = m_chosen;
    if (car.isEmpty())
        car = m_provider->getFollowedCars().value(0);
    if (car.isEmpty())
        car = cars.value(0);
    {
        const QSignalBlocker blocker(m_cars);
        m_cars->clear();
        m_cars->addItems(cars);
        m_cars->setCurrentIndex(m_cars->findText(car, Qt::MatchFixedString | Qt::MatchCaseSensitive));
    }
    if (car != m_model->car())
        m_model->setCar(car);
}

void WidgetPitWindow::showLosses()
{
    PitLossLearner& learner = m_model->learner();
    for (int kind = 0; kind < PitLossLearner::KindCount; ++kind) {
        m_green[kind]->setText(lossText(learner.value(PitLossLearner::Kind(kind), false)));
        m_neutral[kind]->setText(lossText(learner.value(PitLossLearner::Kind(kind), true)));
    }
    const QPair<int, int> now = m_model->currentPositions();
    QString condition = now.first > 0 ? tr("Now P%1, class P%2").arg(now.first).arg(now.second) : QString();
    if (m_model->neutralised())
        condition += tr("  ·  SC / FCY losses in use");
    m_condition->setText(condition);
}
