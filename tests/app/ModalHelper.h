#pragma once

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <QWidget>

#include <functional>

// Runs `handle` on the next modal window that opens above `current` (the
// modal window in front now, or none), from the event loop of the code that
// opened it. Gives up after five seconds.
inline void onNextModal(const std::function<void(QWidget*)>& handle, QWidget* current = nullptr)
{
    auto* timer = new QTimer;
    auto* clock = new QElapsedTimer;
    clock->start();
    QObject::connect(timer, &QTimer::timeout, [timer, clock, handle, current] {
        QWidget* modal = QApplication::activeModalWidget();
        if ((modal && modal != current) || clock->elapsed() > 5000) {
            timer->stop();
            timer->deleteLater();
            delete clock;
            if (modal && modal != current)
                handle(modal);
        }
    });
    timer->start(10);
}
