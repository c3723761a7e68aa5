#pragma once

#include <QDialog>

class QLabel;
class QLineEdit;

// Edits the connection data: host, port, user name and password. OK is
// refused, with a note in the dialog, while the port is not a whole number
// from 1 to 65535. "Forget the trusted certificate" takes effect with OK;
// Cancel keeps it.
class DialogUser final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY(DialogUser)

public:
    explicit DialogUser(QWidget* parent = nullptr);
    ~DialogUser() override;

    void setHost(const QString& host);
    void setPort(int port);
    void setUsername(const QString& username);
    void setPassword(const QString& password);
    // Without surrounding blanks.
    QString host() const;
    // 0 when the field does not hold a valid port.
    int port() const;
    QString username() const;
    QString password() const;

public slots:
    void accept() override;

private:
    QLineEdit* m_host;
    QLineEdit* m_port;
    QLineEdit* m_user;
    QLineEdit* m_password;
    QLabel* m_error;
    // The server whose certificate is forgotten when OK is pressed (none: port 0).
    QString m_forgetHost;
    int m_forgetPort = 0;
};
