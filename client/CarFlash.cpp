#include "CarFlash.h"

#include "TeamAlertEngine.h"

#include <QElapsedTimer>
#include <QStringList>

CarFlash::CarFlash(TeamAlertEngine* alerts, QObject* parent)
    : QObject(parent)
{
    m_clock = [] {
        static QElapsedTimer clock;
        if (!clock.isValid())
            clock.start();
        return clock.elapsed();
    };
    m_timer.setInterval(kBlinkMs);
    connect(&m_timer, &QTimer::timeout, this, &CarFlash::tick);
    connect(alerts, &TeamAlertEngine::alertRaised, this, [this, alerts](int index) { flash(alerts->alerts().at(index).carNumber); });
}

CarFlash::~CarFlash() = default;

void CarFlash::setClock(Clock clock)
{
    m_clock = std::move(clock);
}

void CarFlash::flash(const QString& car)
{
    if (car.isEmpty())
        return;
    m_until.insert(car, m_clock() + kFlashMs);
    // The new car shows at once, lit, and the cars already flashing keep in
    // step with it. A running timer goes on: alerts in quick succession must
    // not hold the blinking and the ends back.
    m_lit = true;
    if (!m_timer.isActive())
        m_timer.start();
    const QStringList cars = m_until.keys();
    for (const QString& flashing : cars)
        emit changed(flashing);
}

bool CarFlash::isFlashing(const QString& car) const
{
    // Nothing flashes most of the time: no clock reading then.
    if (m_until.isEmpty())
        return false;
    const auto it = m_until.constFind(car);
    return it != m_until.cend() && m_clock() < it.value();
}

bool CarFlash::isLit(const QString& car) const
{
    return m_lit && isFlashing(car);
}

void CarFlash::tick()
{
    m_lit = !m_lit;
    const qint64 now = m_clock();
    QStringList ended;
    for (auto it = m_until.cbegin(); it != m_until.cend(); ++it) {
        if (now >= it.value())
            ended << it.key();
    }
    for (const QString& car : qAsConst(ended))
        m_until.remove(car);
    if (m_until.isEmpty())
        m_timer.stop();
    const QStringList cars = ended + m_until.keys();
    for (const QString& car : cars)
        emit changed(car);
}
