#pragma once

#include <QMainWindow>

#include <memory>

class ClientV2Controller;
class QLabel;

// Stands in for the main window until it exists: connects with the stored
// connection data and shows the connection state and the last updates.
class StandInWindow final : public QMainWindow
{
    Q_OBJECT
    Q_DISABLE_COPY(StandInWindow)

public:
    explicit StandInWindow(QWidget* parent = nullptr);
    ~StandInWindow() override;

    ClientV2Controller* controller() const;

private:
    void showSession();

    std::unique_ptr<ClientV2Controller> m_controller;
    QLabel* m_status;
    QLabel* m_session;
};
