#pragma once

#include "ToolWindow.h"

#include <QTimer>

class QLabel;
class QProgressBar;
class ResizableQframe;
class ResizableQlabelImage;
class V2DataProvider;

// The running session at a glance: championship and session name, time or
// laps remaining, elapsed time, the current flag and the progress.
class WidgetSessionInfo final : public ToolWindow
{
    Q_OBJECT
    Q_DISABLE_COPY(WidgetSessionInfo)

public:
    WidgetSessionInfo(V2DataProvider* provider, QWidget* parent = nullptr);
    ~WidgetSessionInfo() override;

public slots:
    void processUpdate();

protected:
    void textScaleChanged(qreal oldScale) override;

private:
    void fitNoSmallerThanText();
    void showProgress(int value, int maximum);

    V2DataProvider* m_provider;
    ResizableQframe* m_frame;
    QLabel* m_title;
    QLabel* m_remaining;
    QLabel* m_elapsed;
    ResizableQlabelImage* m_flag;
    QProgressBar* m_progress;
    QLabel* m_percent;
    QTimer m_timer;
    // The flag picture on show (its resource name; empty for none).
    QString m_flagPicture;
    bool m_flagShown = false;
};
