#pragma once

#include <QHash>
#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>

class TeamAlertEngine;

// Which cars flash, and until when: a car an alert names flashes for a few
// seconds in the standings and in its follow block. The flashing cars blink
// together, lit and unlit by turns; a car named again while it flashes
// starts afresh. The clock can be replaced and the blinking driven by hand
// (`tick`), so that tests need not wait. GUI thread only.
class CarFlash final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY(CarFlash)

public:
    using Clock = std::function<qint64()>;

    // How long a car flashes, and each lit or unlit spell.
    static constexpr qint64 kFlashMs = 4000;
    static constexpr int kBlinkMs = 500;

    // Flashes the car of every alert the engine raises.
    explicit CarFlash(TeamAlertEngine* alerts, QObject* parent = nullptr);
    ~CarFlash() override;

    // Milliseconds of a steady clock; by default the computer's.
    void setClock(Clock clock);
    void flash(const QString& car);
    // Whether the car is flashing (lit or not).
    bool isFlashing(const QString& car) const;
    // Whether the car is flashing and in a lit spell: its row shows the flash colour.
    bool isLit(const QString& car) const;

public slots:
    // The next spell: every flashing car changes, and those whose time is up stop.
    void tick();

signals:
    // The car's look changed: it started or stopped flashing, or blinked.
    void changed(const QString& car);

private:
    Clock m_clock;
    QHash<QString, qint64> m_until;
    bool m_lit = false;
    QTimer m_timer;
};
