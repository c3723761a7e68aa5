#include "FindCar.h"

#include "CarNumberOrder.h"
#include "MainWindow.h"
#include "PanelRegistry.h"
#include "V2DataProvider.h"
#include "WidgetDriveTime.h"
#include "WidgetPitWindow.h"
#include "WidgetStanding.h"
#include "WidgetStints.h"

#include <QAction>
#include <QDialogButtonBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>

namespace {

QStringList driverNames(const V2DataProvider* provider, const QString& car)
{
    QStringList names;
    for (int driver : provider->getDriverNumbers(car)) {
        const QString name = provider->getDriverName(car, driver);
        if (!name.isEmpty())
            names << name;
    }
    return names;
}

} // namespace

FindCar::FindCar(V2DataProvider* provider, QWidget* parent)
    : QDialog(parent)
    , m_provider(provider)
    , m_text(new QLineEdit(this))
    , m_matches(new QListWidget(this))
    , m_buttons(new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, Qt::Horizontal, this))
{
    setObjectName(QStringLiteral("FindCar"));
    setWindowTitle(tr("Find a car"));
    auto* label = new QLabel(tr("Number or name:"), this);
    label->setBuddy(m_text);
    m_text->setObjectName(QStringLiteral("findText"));
    m_text->installEventFilter(this);
    m_matches->setObjectName(QStringLiteral("findMatches"));
    m_buttons->setObjectName(QStringLiteral("buttonBox"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(label);
    layout->addWidget(m_text);
    layout->addWidget(m_matches);
    layout->addWidget(m_buttons);
    connect(m_text, &QLineEdit::textChanged, this, &FindCar::refill);
    connect(m_matches, &QListWidget::itemActivated, this, &QDialog::accept);
    connect(m_buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(m_buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    m_buttons->button(QDialogButtonBox::Ok)->setDefault(true);
    refill();
    resize(360, 300);
}

FindCar::~FindCar() = default;

QStringList FindCar::matches(const V2DataProvider* provider, const QString& text)
{
    const QString wanted = text.trimmed();
    if (wanted.isEmpty())
        return {};
    QStringList cars = provider->getEntryList();
    std::sort(cars.begin(), cars.end(), &CarNumberOrder::less);
    // Digits are a number: "3" is not every "Team 13".
    bool digits = false;
    wanted.toUInt(&digits);
    QStringList exact;
    QStringList numbers;
    QStringList names;
    for (const QString& car : qAsConst(cars)) {
        if (car.compare(wanted, Qt::CaseInsensitive) == 0)
            exact << car;
        else if (car.startsWith(wanted, Qt::CaseInsensitive))
            numbers << car;
        else if (!digits
                 && (provider->getParticipantTeam(car).contains(wanted, Qt::CaseInsensitive)
                     || !driverNames(provider, car).filter(wanted, Qt::CaseInsensitive).isEmpty()))
            names << car;
    }
    return exact + numbers + names;
}

void FindCar::refill()
{
    m_matches->clear();
    for (const QString& car : matches(m_provider, m_text->text())) {
        QString text = car;
        const QString team = m_provider->getParticipantTeam(car);
        if (!team.isEmpty())
            text += QStringLiteral("  ") + team;
        const QStringList drivers = driverNames(m_provider, car);
        if (!drivers.isEmpty())
            text += QStringLiteral(" — ") + drivers.join(QStringLiteral(", "));
        auto* item = new QListWidgetItem(text, m_matches);
        item->setData(Qt::UserRole, car);
    }
    m_matches->setCurrentRow(m_matches->count() > 0 ? 0 : -1);
    m_buttons->button(QDialogButtonBox::Ok)->setEnabled(m_matches->count() > 0);
}

bool FindCar::eventFilter(QObject* watched, QEvent* event)
{
    // Up and Down pick among the matches without leaving the text.
    if (watched == m_text && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if ((key == Qt::Key_Up || key == Qt::Key_Down) && m_matches->count() > 0) {
            const int step = key == Qt::Key_Down ? 1 : -1;
            m_matches->setCurrentRow(std::clamp(m_matches->currentRow() + step, 0, m_matches->count() - 1));
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

QLineEdit* FindCar::textField() const
{
    return m_text;
}

QListWidget* FindCar::matchList() const
{
    return m_matches;
}

QString FindCar::chosenCar() const
{
    const QListWidgetItem* item = m_matches->currentItem();
    return item ? item->data(Qt::UserRole).toString() : QString();
}

void FindCar::showCar(MainWindow* window, const QString& car)
{
    using namespace PanelRegistry;
    QAction* standingAction = window->panelAction(Standing);
    if (!window->panel(Standing) && standingAction && standingAction->isEnabled())
        standingAction->trigger();
    if (auto* standing = qobject_cast<WidgetStanding*>(window->panel(Standing))) {
        // Restored first: a minimised panel holds its rows, and the car is
        // looked for in the rows it shows.
        standing->setWindowState(standing->windowState() & ~Qt::WindowMinimized);
        standing->show();
        standing->raise();
        standing->showCar(car);
    }
    if (auto* stints = qobject_cast<WidgetStints*>(window->panel(Stints)))
        stints->setCar(car);
    if (auto* driveTime = qobject_cast<WidgetDriveTime*>(window->panel(DriveTime)))
        driveTime->setCar(car);
    if (auto* pitWindow = qobject_cast<WidgetPitWindow*>(window->panel(PitWindow)))
        pitWindow->setCar(car);
}

void FindCar::run(MainWindow* window)
{
    FindCar dialog(window->dataProvider(), window);
    if (dialog.exec() == QDialog::Accepted && !dialog.chosenCar().isEmpty())
        showCar(window, dialog.chosenCar());
}
