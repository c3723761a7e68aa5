#include "WidgetFollow.h"

#include "AppSettings.h"
#include "PanelRegistry.h"
#include "TeamFollowSync.h"
#include "V2DataProvider.h"
#include "WidgetCarFollow.h"

#include <QPushButton>
#include <QScrollArea>
#include <QSettings>
#include <QSpacerItem>
#include <QVBoxLayout>

namespace {

const QString kFollowGroup = QStringLiteral("car_follow");
const QString kCountKey = QStringLiteral("car_follow_count");
// The blocks' numbers; without it (an older file) they are 1 to the count.
const QString kNumbersKey = QStringLiteral("car_follow_numbers");
const QString kCarKey = QStringLiteral("car_follow_");
const QString kRedKey = QStringLiteral("car_follow_color_bR_");
const QString kGreenKey = QStringLiteral("car_follow_color_bG_");
const QString kBlueKey = QStringLiteral("car_follow_color_bB_");
constexpr int kDefaultCount = 4;

} // namespace

WidgetFollow::WidgetFollow(V2DataProvider* provider, QWidget* parent)
    : ToolWindow(parent, true)
    , m_provider(provider)
    , m_blockLayout(new QVBoxLayout)
    , m_add(new QPushButton(tr("Add Participant"), contentWidget()))
{
    PanelRegistry::place(this, PanelRegistry::Follow);
    m_add->setObjectName(QStringLiteral("AddCarToFollow"));
    auto* area = new QScrollArea(contentWidget());
    area->setWidgetResizable(true);
    auto* inner = new QWidget(area);
    inner->setLayout(m_blockLayout);
    area->setWidget(inner);
    auto* layout = static_cast<QBoxLayout*>(contentWidget()->layout());
    layout->addWidget(m_add, 0, Qt::AlignLeft);
    layout->addWidget(area);
    addVerticalSpacer();

    // What the team shares stands over this seat's last run.
    TeamFollowSync* team = provider->teamFollow();
    const QMap<int, TeamFollowSync::Block> shared = team->sharedBlocks();
    const auto settings = AppSettings::open();
    settings->beginGroup(kFollowGroup);
    QList<int> numbers;
    for (const QString& n : settings->value(kNumbersKey).toStringList())
        numbers.append(n.toInt());
    if (!settings->contains(kNumbersKey)) {
        for (int n = 1; n <= settings->value(kCountKey, kDefaultCount).toInt(); ++n)
            numbers.append(n);
    }
    for (int number : qAsConst(numbers)) {
        const int id = number - 1;
        if (id < 0 || followSlots().contains(id))
            continue;
        const QString n = QString::number(number);
        const QColor fallback = WidgetCarFollow::defaultColor(id);
        QColor color(settings->value(kRedKey + n, fallback.red()).toInt(), settings->value(kGreenKey + n, fallback.green()).toInt(),
                     settings->value(kBlueKey + n, fallback.blue()).toInt());
        QString pNum = settings->value(kCarKey + n).toString();
        if (shared.contains(id)) {
            pNum = shared.value(id).car;
            color = shared.value(id).color.isValid() ? shared.value(id).color : color;
        }
        addBlock(id, color, pNum);
    }
    settings->endGroup();
    for (auto it = shared.cbegin(); it != shared.cend(); ++it)
        takeOver(it.key(), it.value().car, it.value().color);
    connect(team, &TeamFollowSync::blockShared, this, &WidgetFollow::takeOver);
    connect(m_add, &QPushButton::clicked, this, &WidgetFollow::on_AddCarToFollow_clicked);
}

void WidgetFollow::takeOver(int panelId, const QString& pNum, const QColor& color)
{
    for (WidgetCarFollow* block : qAsConst(m_blocks)) {
        if (block->panelId() == panelId) {
            block->takeOver(pNum, color);
            return;
        }
    }
    // A block this seat has not (more blocks elsewhere, or removed here) is
    // made for a car, not for an empty one.
    if (!pNum.isEmpty())
        addBlock(panelId, color.isValid() ? color : WidgetCarFollow::defaultColor(panelId), pNum);
}

WidgetFollow::~WidgetFollow() = default;

void WidgetFollow::save(const V2DataProvider& provider, const QList<int>& panelIds)
{
    const auto settings = AppSettings::open();
    settings->remove(kFollowGroup);
    settings->beginGroup(kFollowGroup);
    // Every block under its own number, with its colour also when it follows
    // nothing: cars and colours come back in the blocks they were in, and a
    // block keeps its number in the team's channel.
    QStringList numbers;
    for (int id : panelIds) {
        const QString n = QString::number(id + 1);
        numbers.append(n);
        const QString pNum = provider.getCarToFollow(id);
        if (!pNum.isEmpty())
            settings->setValue(kCarKey + n, pNum);
        const QColor color = provider.getFollowPanelColor(id);
        if (!color.isValid())
            continue;
        settings->setValue(kRedKey + n, color.red());
        settings->setValue(kGreenKey + n, color.green());
        settings->setValue(kBlueKey + n, color.blue());
    }
    settings->setValue(kNumbersKey, numbers);
    // For an older program, which reads blocks 1 to the count.
    settings->setValue(kCountKey, QString::number(panelIds.size()));
    settings->endGroup();
}

void WidgetFollow::setBikeLayout(bool bikes)
{
    m_bikes = bikes;
    m_add->setText(bikes ? tr("Add bike") : tr("Add Participant"));
    for (WidgetCarFollow* block : qAsConst(m_blocks))
        block->setBikeLayout(bikes);
}

QList<int> WidgetFollow::followSlots() const
{
    QList<int> ids;
    for (const WidgetCarFollow* block : m_blocks)
        ids.append(block->panelId());
    return ids;
}

QList<WidgetCarFollow*> WidgetFollow::blocks() const
{
    return m_blocks;
}

WidgetCarFollow* WidgetFollow::addBlock(int id, const QColor& color, const QString& pNum)
{
    removeVerticalSpacer();
    auto* block = new WidgetCarFollow(m_provider, id, this);
    block->setBikeLayout(m_bikes);
    block->setColor(color);
    if (!pNum.isEmpty())
        block->setParticipant(pNum);
    if (!m_blocks.isEmpty())
        block->applyColumnWidths(m_blocks.first()->columnWidths());
    connect(block, &WidgetCarFollow::onRemoveWidget, this, &WidgetFollow::removeWidgetCarFollow);
    connect(block, &WidgetCarFollow::onColumnWidthChanged, this, &WidgetFollow::updateColumnWidth);
    // The blocks share one header state: a column chosen in one goes to all.
    connect(block, &WidgetCarFollow::columnsChosen, this, [this](int widgetId) {
        for (WidgetCarFollow* other : qAsConst(m_blocks)) {
            if (other->panelId() != widgetId)
                other->readColumnChoice();
        }
    });
    connect(this, &ToolWindow::updateSkin, block, &ToolWindow::updateSkin);
    m_blocks.append(block);
    m_blockLayout->addWidget(block);
    addVerticalSpacer();
    return block;
}

void WidgetFollow::on_AddCarToFollow_clicked()
{
    // The next id: one past the highest, so that a removed block's id is not reused.
    int id = 0;
    for (const WidgetCarFollow* block : qAsConst(m_blocks))
        id = qMax(id, block->panelId() + 1);
    addBlock(id, WidgetCarFollow::defaultColor(id), QString());
}

void WidgetFollow::removeWidgetCarFollow(int id)
{
    for (int i = 0; i < m_blocks.size(); ++i) {
        WidgetCarFollow* block = m_blocks.at(i);
        if (block->panelId() != id)
            continue;
        // The registry forgets the block: its car is no longer highlighted,
        // and the team's seats see the block emptied.
        m_provider->teamFollow()->share(id, QString(), block->color());
        m_provider->removeFollowPanel(id);
        m_blocks.removeAt(i);
        m_blockLayout->removeWidget(block);
        block->deleteLater();
        return;
    }
}

void WidgetFollow::updateColumnWidth(int widgetId)
{
    QMap<int, int> widths;
    for (const WidgetCarFollow* block : qAsConst(m_blocks)) {
        if (block->panelId() == widgetId)
            widths = block->columnWidths();
    }
    for (WidgetCarFollow* block : qAsConst(m_blocks)) {
        if (block->panelId() != widgetId)
            block->applyColumnWidths(widths);
    }
}

void WidgetFollow::addVerticalSpacer()
{
    if (m_spacer)
        return;
    m_spacer = new QSpacerItem(20, 40, QSizePolicy::Minimum, QSizePolicy::Expanding);
    m_blockLayout->addItem(m_spacer);
}

void WidgetFollow::removeVerticalSpacer()
{
    if (!m_spacer)
        return;
    m_blockLayout->removeItem(m_spacer);
    delete m_spacer;
    m_spacer = nullptr;
}
