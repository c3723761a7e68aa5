#pragma once

#include "LineCollector.h"

#include <QByteArray>
#include <QList>
#include <QSslSocket>

// A bare protocol peer for server tests: sends any line, malformed ones
// included, and collects the lines the server writes (CR LF framing).
class RawClient final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY(RawClient)

public:
    explicit RawClient(QObject* parent = nullptr);

    bool connectTo(quint16 port, bool tls, int ms = 5000);
    void sendLine(const QByteArray& line);
    void sendRaw(const QByteArray& bytes);
    // The next non-empty line, without CR LF; empty on timeout.
    QByteArray nextLine(int ms = 5000);
    bool silentFor(int ms);
    // Logs in with the standard request; true when the reply is a LOGIN line.
    bool login(const QString& user, const QString& password, int ms = 5000);
    bool waitForDisconnected(int ms = 5000);
    bool isConnected() const;
    QSslSocket& socket();

private:
    QSslSocket m_socket;
    LineCollector m_lines;
};
