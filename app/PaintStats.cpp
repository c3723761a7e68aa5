#include "PaintStats.h"

#include "ToolWindow.h"

#include <QCoreApplication>
#include <QEvent>
#include <QSocketNotifier>
#include <QStringList>
#include <QWidget>

#include <algorithm>
#include <cstdio>

#ifdef Q_OS_UNIX
#include <csignal>
#include <fcntl.h>
#include <unistd.h>
#endif

namespace {

#ifdef Q_OS_UNIX
// The signal handler may only write to a pipe; the notifier reads it on the GUI thread.
int g_pipe[2] = {-1, -1};

void onUsr1(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(g_pipe[1], &byte, 1);
}
#endif

} // namespace

PaintStats* PaintStats::installIfAsked(QObject* parent)
{
    if (qEnvironmentVariableIntValue("LANTERRA_PAINT_STATS") != 1)
        return nullptr;
    return new PaintStats(parent);
}

PaintStats::PaintStats(QObject* parent)
    : QObject(parent)
{
    m_clock.start();
    QCoreApplication::instance()->installEventFilter(this);
#ifdef Q_OS_UNIX
    if (g_pipe[0] < 0 && ::pipe(g_pipe) == 0) {
        ::fcntl(g_pipe[0], F_SETFL, O_NONBLOCK);
        ::fcntl(g_pipe[1], F_SETFL, O_NONBLOCK);
        std::signal(SIGUSR1, onUsr1);
    }
    if (g_pipe[0] >= 0) {
        m_notifier = new QSocketNotifier(g_pipe[0], QSocketNotifier::Read, this);
        connect(m_notifier, &QSocketNotifier::activated, this, &PaintStats::onSignalled);
    }
#endif
}

PaintStats::~PaintStats()
{
    std::fprintf(stderr, "%s\n", qPrintable(report()));
    std::fflush(stderr);
}

QString PaintStats::report() const
{
    QStringList groups = m_counts.keys();
    std::sort(groups.begin(), groups.end());
    QString line = QStringLiteral("paint-stats %1").arg(m_clock.elapsed());
    for (const QString& group : qAsConst(groups))
        line += QStringLiteral(" %1=%2").arg(group).arg(m_counts.value(group));
    return line;
}

bool PaintStats::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::Paint && watched->isWidgetType()) {
        QWidget* window = static_cast<QWidget*>(watched)->window();
        const auto* panel = qobject_cast<const ToolWindow*>(window);
        ++m_counts[panel ? panel->groupName() : QStringLiteral("mainwindow")];
    }
    return QObject::eventFilter(watched, event);
}

void PaintStats::onSignalled()
{
#ifdef Q_OS_UNIX
    char bytes[16];
    while (::read(g_pipe[0], bytes, sizeof bytes) > 0) {
    }
#endif
    std::fprintf(stderr, "%s\n", qPrintable(report()));
    std::fflush(stderr);
}
