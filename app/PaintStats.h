#pragma once

#include <QElapsedTimer>
#include <QHash>
#include <QObject>
#include <QString>

class QSocketNotifier;

// A paint counter for measuring what the panels cost: with the environment
// variable LANTERRA_PAINT_STATS=1 it counts the paint events of every widget
// per panel (by the panel's settings group; the main window's own as
// "mainwindow") and writes the counts with the time since start to standard
// error on SIGUSR1 and at exit, so a script can take the rate over any
// window. Off, nothing is installed and nothing is counted.
class PaintStats final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY(PaintStats)

public:
    // The counter when the variable asks for it, else null.
    static PaintStats* installIfAsked(QObject* parent);
    ~PaintStats() override;

    // One line: "paint-stats <ms since start> <group>=<count> ...".
    QString report() const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    explicit PaintStats(QObject* parent);
    void onSignalled();

    QHash<QString, quint64> m_counts;
    QElapsedTimer m_clock;
    QSocketNotifier* m_notifier = nullptr;
};
