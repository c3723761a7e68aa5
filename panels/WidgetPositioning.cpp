#include "WidgetPositioning.h"

#include "AppSettings.h"
#include "PanelRegistry.h"
#include "ParticipantsItem.h"
#include "PositioningController.h"
#include "PositioningGraphicsViewPromote.h"
#include "Scene.h"
#include "V2DataProvider.h"

#include <QCheckBox>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QSettings>
#include <QSlider>

namespace {

// Top-level keys of the program's settings.
const QString kItemScaleKey = QStringLiteral("item_scale");
const QString kShowBackgroundKey = QStringLiteral("positioning_showbackground");
const QString kShowLabelsKey = QStringLiteral("showLabels");
const QString kShowUnknownKey = QStringLiteral("showUnknownParticipants");
const QString kShowClockKey = QStringLiteral("positioning_showclock");
constexpr int kDefaultItemScale = 50;
const QString kAllClasses = QStringLiteral("All");

double itemScaleOf(int sliderValue)
{
    return sliderValue * 3 / 1000.0 + 0.5;
}

QCheckBox* checkBox(QWidget* parent, const char* name, const QString& text)
{
    auto* box = new QCheckBox(text, parent);
    box->setObjectName(QLatin1String(name));
    return box;
}

} // namespace

WidgetPositioning::WidgetPositioning(V2DataProvider* provider, QWidget* parent)
    : ToolWindow(parent, true)
    , m_provider(provider)
    , m_controller(new PositioningController(provider ? provider->controller() : nullptr, this))
    , m_scene(new Scene(this))
    , m_view(new PositioningGraphicsViewPromote(contentWidget()))
    , m_showLabels(checkBox(contentWidget(), "checkBox_showLabels", tr("Show labels")))
    , m_showBackground(checkBox(contentWidget(), "checkBox_showBackground", tr("Show Background")))
    , m_showClock(checkBox(contentWidget(), "checkBox_ShowClock", tr("Show Clock ")))
    , m_itemSize(new QSlider(Qt::Horizontal, contentWidget()))
    , m_carsFollow(checkBox(contentWidget(), "checkBoxCarsFollow", tr("Show only cars followed")))
    , m_classes(new QComboBox(contentWidget()))
    , m_showUnknown(checkBox(contentWidget(), "checkBox_ShowUnknownParticipants", tr("Show unknown participants")))
{
    PanelRegistry::place(this, PanelRegistry::Positioning);
    m_view->setObjectName(QStringLiteral("graphicsView"));
    m_itemSize->setObjectName(QStringLiteral("horizontalSliderItemSize"));
    m_itemSize->setRange(0, 1000);
    m_classes->setObjectName(QStringLiteral("comboBoxClassesFilter"));
    m_classes->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    m_showClock->setVisible(false);
    auto* scaleLabel = new QLabel(tr("Scale :"), contentWidget());
    scaleLabel->setObjectName(QStringLiteral("label"));

    auto* bar = new QHBoxLayout;
    for (QWidget* widget : {static_cast<QWidget*>(m_showLabels), static_cast<QWidget*>(m_showBackground), static_cast<QWidget*>(m_showClock),
                            static_cast<QWidget*>(scaleLabel)})
        bar->addWidget(widget);
    bar->addWidget(m_itemSize, 1);
    // The filters on a row of their own: on one row a panel of 630 pixels
    // squeezed the scale slider to nothing.
    auto* filters = new QHBoxLayout;
    filters->addWidget(m_carsFollow);
    filters->addWidget(m_classes);
    filters->addWidget(m_showUnknown);
    filters->addStretch();
    auto* layout = static_cast<QBoxLayout*>(contentWidget()->layout());
    layout->addLayout(bar);
    layout->addLayout(filters);
    layout->addWidget(m_view, 1);

    m_scene->setup(m_controller, provider);
    m_view->setScene(m_scene);

    const auto settings = AppSettings::open();
    const QVariant storedScale = settings->value(kItemScaleKey);
    m_itemSize->setValue(storedScale.isValid() ? storedScale.toInt() : 0);
    m_scene->setItemScale(itemScaleOf(storedScale.isValid() ? storedScale.toInt() : kDefaultItemScale));
    m_scene->participantsItem()->setTextScale(textScale());
    m_showBackground->setChecked(settings->value(kShowBackgroundKey, false).toBool());
    m_scene->setShowBackground(m_showBackground->isChecked());
    m_showLabels->setChecked(settings->value(kShowLabelsKey, true).toBool());
    m_scene->setShowLabels(m_showLabels->isChecked());
    m_showUnknown->setChecked(settings->value(kShowUnknownKey, true).toBool());
    m_scene->setShowUnknown(m_showUnknown->isChecked());
    m_showClock->setChecked(settings->value(kShowClockKey, false).toBool());

    connect(m_itemSize, &QSlider::valueChanged, this, &WidgetPositioning::on_horizontalSliderItemSize_valueChanged);
    connect(m_showClock, &QCheckBox::toggled, this, &WidgetPositioning::on_checkBox_ShowClock_toggled);
    connect(m_showBackground, &QCheckBox::toggled, this, &WidgetPositioning::on_checkBox_showBackground_toggled);
    connect(m_carsFollow, &QCheckBox::clicked, this, &WidgetPositioning::on_checkBoxCarsFollow_clicked);
    connect(m_classes, &QComboBox::currentTextChanged, this, &WidgetPositioning::on_comboBoxClassesFilter_currentIndexChanged);
    connect(m_showLabels, &QCheckBox::clicked, this, &WidgetPositioning::on_checkBox_showLabels_clicked);
    connect(m_showUnknown, &QCheckBox::stateChanged, this, &WidgetPositioning::on_checkBox_ShowUnknownParticipants_stateChanged);
    if (provider) {
        connect(provider, &V2DataProvider::sessionEntry, this, &WidgetPositioning::onUpdateCarsFollow);
        connect(provider, &V2DataProvider::onCarToFollowChanged, this, &WidgetPositioning::onUpdateCarsFollow);
        connect(provider, &V2DataProvider::sessionClasses, this, &WidgetPositioning::setClasses);
    }
    processUpdate();
    m_controller->refresh();
    connect(this, &ToolWindow::showingChanged, m_controller, [this](bool showing) { m_controller->setHeld(!showing); });
}

WidgetPositioning::~WidgetPositioning() = default;

void WidgetPositioning::setBikeLayout(bool bikes)
{
    m_carsFollow->setText(bikes ? tr("Show only bikes followed") : tr("Show only cars followed"));
}

void WidgetPositioning::setUseOpenGL(bool on)
{
    m_view->setUseOpenGL(on);
}

PositioningController* WidgetPositioning::positioningController() const
{
    return m_controller;
}

Scene* WidgetPositioning::scene() const
{
    return m_scene;
}

PositioningGraphicsViewPromote* WidgetPositioning::view() const
{
    return m_view;
}

void WidgetPositioning::setClasses()
{
    // Refilling keeps the user's choice while its class still exists.
    const QString kept = m_classFilter;
    {
        const QSignalBlocker blocker(m_classes);
        m_classes->clear();
        m_classes->addItem(kAllClasses);
        if (m_provider)
            m_classes->addItems(m_provider->getClasses());
        const int index = m_classes->findText(kept);
        m_classes->setCurrentIndex(index >= 0 ? index : 0);
    }
    on_comboBoxClassesFilter_currentIndexChanged(m_classes->currentText());
}

void WidgetPositioning::textScaleChanged(qreal oldScale)
{
    ToolWindow::textScaleChanged(oldScale);
    m_scene->participantsItem()->setTextScale(textScale());
}

void WidgetPositioning::on_horizontalSliderItemSize_valueChanged(int value)
{
    m_scene->setItemScale(itemScaleOf(value));
    AppSettings::open()->setValue(kItemScaleKey, value);
}

void WidgetPositioning::on_checkBox_ShowClock_toggled(bool checked)
{
    AppSettings::open()->setValue(kShowClockKey, checked ? QStringLiteral("true") : QStringLiteral("false"));
}

void WidgetPositioning::on_checkBox_showBackground_toggled(bool checked)
{
    m_scene->setShowBackground(checked);
    AppSettings::open()->setValue(kShowBackgroundKey, checked ? QStringLiteral("true") : QStringLiteral("false"));
}

void WidgetPositioning::on_checkBoxCarsFollow_clicked()
{
    on_comboBoxClassesFilter_currentIndexChanged(m_classFilter);
}

void WidgetPositioning::on_comboBoxClassesFilter_currentIndexChanged(QString arg1)
{
    m_classFilter = arg1;
    if (!m_provider)
        return;
    const bool everyClass = arg1.isEmpty() || arg1 == kAllClasses;
    const QStringList followed = m_carsFollow->isChecked() ? m_provider->getFollowedCars() : QStringList();
    QStringList visible;
    const QStringList entries = m_provider->getEntryList();
    for (const QString& number : entries) {
        if (!everyClass && m_provider->getParticipantClass(number) != arg1)
            continue;
        if (m_carsFollow->isChecked() && !followed.contains(number))
            continue;
        visible.append(number);
    }
    m_scene->setVisibleNumbers(visible);
}

void WidgetPositioning::processUpdate()
{
    setClasses();
}

void WidgetPositioning::on_checkBox_showLabels_clicked(bool checked)
{
    m_scene->setShowLabels(checked);
    AppSettings::open()->setValue(kShowLabelsKey, checked);
}

void WidgetPositioning::onUpdateCarsFollow()
{
    on_comboBoxClassesFilter_currentIndexChanged(m_classFilter);
}

void WidgetPositioning::on_checkBox_ShowUnknownParticipants_stateChanged(int state)
{
    const bool show = state != Qt::Unchecked;
    m_scene->setShowUnknown(show);
    AppSettings::open()->setValue(kShowUnknownKey, show);
}
