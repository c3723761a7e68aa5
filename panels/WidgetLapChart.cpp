#include "WidgetLapChart.h"

#include "AppSettings.h"
#include "LapChartView.h"
#include "PanelRegistry.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QSettings>
#include <QSignalBlocker>
#include <QSlider>

namespace {

// The chart's options outside layouts, kept under the name of its layout group.
const QString kOptionsGroup = QStringLiteral("view_lapchart");
const QString kShowPitsKey = QStringLiteral("show_pits");
const QString kFocusKey = QStringLiteral("focus_on_followed");
const QString kStepKey = QStringLiteral("step_size");
// Earlier versions stored this scale whether or not the user had moved the
// slider: read as no choice, so that their layouts fit the laps too.
constexpr double kFormerDefaultStep = 5.0;

} // namespace

WidgetLapChart::WidgetLapChart(V2DataProvider* provider, QWidget* parent)
    : ToolWindow(parent, true)
    , m_view(new LapChartView(contentWidget()))
    , m_showPits(new QCheckBox(tr("Show Pit Stops"), contentWidget()))
    , m_colorsOnFollowed(new QCheckBox(tr("Colors on followed cars"), contentWidget()))
    , m_scale(new QSlider(Qt::Horizontal, contentWidget()))
{
    PanelRegistry::place(this, PanelRegistry::LapChart);
    m_showPits->setObjectName(QStringLiteral("checkBox"));
    m_colorsOnFollowed->setObjectName(QStringLiteral("checkBox_ColorsOnFollowed"));
    m_scale->setObjectName(QStringLiteral("horizontalSlider"));
    // Up to 60 pixels a lap: a fitted chart of a few laps fills the width too.
    m_scale->setRange(5, 600);
    auto* bar = new QHBoxLayout;
    bar->addWidget(m_showPits);
    bar->addWidget(m_colorsOnFollowed);
    bar->addWidget(new QLabel(tr("Horizontal scale :"), contentWidget()));
    bar->addWidget(m_scale, 1);
    auto* layout = static_cast<QBoxLayout*>(contentWidget()->layout());
    layout->addLayout(bar);
    layout->addWidget(m_view, 1);
    connect(this, &ToolWindow::showingChanged, m_view, [this](bool showing) { m_view->setHeld(!showing); });

    const auto settings = AppSettings::open();
    settings->beginGroup(kOptionsGroup);
    m_showPits->setChecked(settings->value(kShowPitsKey, true).toBool());
    m_colorsOnFollowed->setChecked(settings->value(kFocusKey, false).toBool());
    // No scale of the user's: the laps fill the width (a fixed default would
    // leave most of the panel empty or cut the race off).
    const QVariant step = settings->value(kStepKey);
    settings->endGroup();
    m_view->setShowPits(m_showPits->isChecked());
    m_view->setColorsOnFollowed(m_colorsOnFollowed->isChecked());
    if (step.isValid() && step.toDouble() != kFormerDefaultStep) {
        m_scale->setValue(qRound(step.toDouble() * 10));
        m_view->setLapWidth(m_scale->value() / 10.0);
    } else {
        m_view->setFitToWidth(true);
    }
    // The slider shows the fitted scale; moving it is the user's choice.
    connect(m_view, &LapChartView::lapWidthFitted, this, [this](double width) {
        const QSignalBlocker blocker(m_scale);
        m_scale->setValue(qRound(width * 10));
    });
    connect(m_showPits, &QCheckBox::clicked, this, &WidgetLapChart::on_checkBox_clicked);
    connect(m_colorsOnFollowed, &QCheckBox::clicked, this, &WidgetLapChart::on_checkBox_ColorsOnFollowed_clicked);
    connect(m_scale, &QSlider::valueChanged, this, &WidgetLapChart::on_horizontalSlider_valueChanged);
    m_view->setTextScale(textScale());
    m_view->setProvider(provider);
}

WidgetLapChart::~WidgetLapChart() = default;

void WidgetLapChart::saveWidgetGeometry(QSettings& settings)
{
    ToolWindow::saveWidgetGeometry(settings);
    settings.beginGroup(groupName());
    settings.setValue(kShowPitsKey, m_showPits->isChecked());
    settings.setValue(kFocusKey, m_colorsOnFollowed->isChecked());
    // A fitted chart has no scale of the user's to keep.
    if (m_view->fitsToWidth())
        settings.remove(kStepKey);
    else
        settings.setValue(kStepKey, m_view->lapWidth());
    settings.endGroup();
}

void WidgetLapChart::setBikeLayout(bool bikes)
{
    m_colorsOnFollowed->setText(bikes ? tr("Colors on followed bikes") : tr("Colors on followed cars"));
}

LapChartView* WidgetLapChart::view() const
{
    return m_view;
}

// Each choice is kept at once, and again with the panel's place in a layout.
void WidgetLapChart::on_checkBox_clicked(bool checked)
{
    m_view->setShowPits(checked);
    AppSettings::open()->setValue(kOptionsGroup + QLatin1Char('/') + kShowPitsKey, checked);
}

void WidgetLapChart::on_horizontalSlider_valueChanged(int value)
{
    m_view->setLapWidth(value / 10.0);
    AppSettings::open()->setValue(kOptionsGroup + QLatin1Char('/') + kStepKey, value / 10.0);
}

void WidgetLapChart::on_checkBox_ColorsOnFollowed_clicked(bool checked)
{
    m_view->setColorsOnFollowed(checked);
    AppSettings::open()->setValue(kOptionsGroup + QLatin1Char('/') + kFocusKey, checked);
}

void WidgetLapChart::textScaleChanged(qreal oldScale)
{
    ToolWindow::textScaleChanged(oldScale);
    m_view->setTextScale(textScale());
}
