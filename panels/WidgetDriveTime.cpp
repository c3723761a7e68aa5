#include "WidgetDriveTime.h"

#include "AppSettings.h"
#include "CarNumberOrder.h"
#include "ModelDriveTime.h"
#include "PanelRegistry.h"
#include "V2DataProvider.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QTableView>

#include <algorithm>

namespace {

const QString kWidthKey = QStringLiteral("drivetime_%1");
const QString kHeaderKey = QStringLiteral("drivetime_header");
// Read from two metres: the table a little larger than other panels, the
// feasibility lines much larger.
constexpr double kTableScale = 1.3;
constexpr double kLineScale = 1.8;

QString lineStyle(int verdict, bool dark)
{
    // Background by verdict; the text itself says the verdict too.
    switch (verdict) {
    case DriveFeasibility::Feasible:
        return dark ? QStringLiteral("background: rgb(28, 92, 44); color: white;") : QStringLiteral("background: rgb(186, 228, 192); color: black;");
    case DriveFeasibility::NotFeasible:
        return dark ? QStringLiteral("background: rgb(170, 30, 30); color: white;") : QStringLiteral("background: rgb(236, 120, 120); color: black;");
    default:
        return dark ? QStringLiteral("background: rgb(168, 120, 0); color: white;") : QStringLiteral("background: rgb(255, 214, 102); color: black;");
    }
}

} // namespace

WidgetDriveTime::WidgetDriveTime(V2DataProvider* provider, QWidget* parent)
    : TablePanel(parent, true)
    , m_provider(provider)
    , m_model(new ModelDriveTime(provider, AppSettings::skin(), this))
    , m_cars(new QComboBox(contentWidget()))
    , m_lines(new QVBoxLayout)
    , m_skin(AppSettings::skin())
{
    PanelRegistry::place(this, PanelRegistry::DriveTime);
    m_cars->setObjectName(QStringLiteral("comboBoxParticipants"));
    m_cars->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    m_table = addTable(m_model, {kWidthKey, kHeaderKey}, contentWidget(), QStringLiteral("tableView"));
    m_table->setFont(largeType(kTableScale, false));
    m_table->verticalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    m_table->verticalHeader()->hide();
    auto* bar = new QHBoxLayout;
    bar->addWidget(new QLabel(tr("Also car:"), contentWidget()));
    bar->addWidget(m_cars);
    bar->addStretch();
    auto* layout = static_cast<QBoxLayout*>(contentWidget()->layout());
    layout->addLayout(bar);
    layout->addWidget(m_table, 1);
    layout->addLayout(m_lines);

    connect(m_cars, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            [this](int index) { m_model->setChosenCar(index > 0 ? m_cars->itemText(index) : QString()); });
    connect(provider, &V2DataProvider::sessionEntry, this, &WidgetDriveTime::refillCars);
    connect(m_model, &ModelDriveTime::carLinesChanged, this, &WidgetDriveTime::showCarLines);
    connect(this, &ToolWindow::updateSkin, this, &WidgetDriveTime::applySkin);
    refillCars();
    showCarLines();
}

WidgetDriveTime::~WidgetDriveTime() = default;

ModelDriveTime* WidgetDriveTime::model() const
{
    return m_model;
}

QComboBox* WidgetDriveTime::carList() const
{
    return m_cars;
}

QTableView* WidgetDriveTime::table() const
{
    return m_table;
}

QList<QLabel*> WidgetDriveTime::feasibilityLines() const
{
    return m_lineLabels;
}

void WidgetDriveTime::setRules(const DriveTimeRules& rules)
{
    m_model->setRules(rules);
}

bool WidgetDriveTime::setCar(const QString& car)
{
    // Item 0 is "(followed only)", never a car.
    const int index = m_cars->findText(car, Qt::MatchFixedString | Qt::MatchCaseSensitive);
    if (index <= 0)
        return false;
    m_cars->setCurrentIndex(index);
    return true;
}

void WidgetDriveTime::refillCars()
{
    QStringList cars = m_provider->getEntryList();
    std::sort(cars.begin(), cars.end(), &CarNumberOrder::less);
    const QString chosen = m_cars->currentIndex() > 0 ? m_cars->currentText() : QString();
    {
        const QSignalBlocker blocker(m_cars);
        m_cars->clear();
        // First: none besides the followed cars.
        m_cars->addItem(tr("(followed only)"));
        m_cars->addItems(cars);
        m_cars->setCurrentIndex(std::max(0, m_cars->findText(chosen, Qt::MatchFixedString | Qt::MatchCaseSensitive)));
    }
}

QFont WidgetDriveTime::largeType(double scale, bool bold)
{
    QFont font = panelFont();
    font.setPointSizeF(font.pointSizeF() * scale);
    font.setBold(bold);
    return font;
}

void WidgetDriveTime::textScaleChanged(qreal oldScale)
{
    TablePanel::textScaleChanged(oldScale);
    m_table->setFont(largeType(kTableScale, false));
    for (QLabel* label : qAsConst(m_lineLabels))
        label->setFont(largeType(kLineScale, true));
}

void WidgetDriveTime::showCarLines()
{
    const QVector<ModelDriveTime::CarLine>& lines = m_model->carLines();
    while (m_lineLabels.size() > lines.size())
        delete m_lineLabels.takeLast();
    while (m_lineLabels.size() < lines.size()) {
        auto* label = new QLabel(contentWidget());
        label->setObjectName(QStringLiteral("feasibility"));
        label->setFont(largeType(kLineScale, true));
        label->setWordWrap(true);
        label->setMargin(4);
        m_lines->addWidget(label);
        m_lineLabels.append(label);
    }
    const bool dark = AppSettings::isDarkSkin(m_skin);
    for (int i = 0; i < lines.size(); ++i) {
        const QString text = QStringLiteral("#%1  %2").arg(lines.at(i).car, lines.at(i).feasibility.text);
        if (m_lineLabels.at(i)->text() != text)
            m_lineLabels.at(i)->setText(text);
        // The plan behind a verdict of feasible, for whoever asks.
        m_lineLabels.at(i)->setToolTip(lines.at(i).feasibility.plan);
        const QString style = lineStyle(lines.at(i).feasibility.verdict, dark);
        if (m_lineLabels.at(i)->styleSheet() != style)
            m_lineLabels.at(i)->setStyleSheet(style);
    }
}

void WidgetDriveTime::applySkin(const QString& skin)
{
    m_skin = skin;
    m_model->setSkin(skin);
    showCarLines();
}
