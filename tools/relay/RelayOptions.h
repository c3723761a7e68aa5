#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// The relay's command line (and its optional INI file), parsed and checked.
struct RelayOptions {
    // The team's account at the timing provider.
    QString upstreamHost;
    quint16 upstreamPort = 0;
    QString user;
    QString password;
    bool upstreamTls = true;
    // SHA-256 of the provider's certificate (hex); empty: any certificate.
    QByteArray upstreamPin;
    QStringList channels;
    // The relay's own server, for the team's seats.
    quint16 port = 11002;
    bool tls = true;
    QString usersFile;
    QString profilesFile;
    QString certificateFile;
    QString keyFile;
    QString recordFile;
    // NATS: an origin publishes there, an edge (no upstream) subscribes.
    QString natsPublish;
    QString natsSubscribe;
    QString natsPrefix = QStringLiteral("lanterra");
    // Whether the seats' port is opened (an origin's only with --port).
    bool listen = true;
    // Set when --help was given: the text to print instead of running.
    QString helpText;

    static const QString PASSWORD_VARIABLE;

    // Fills options from arguments (the program name first); the password
    // comes from --password-file, the INI file or environmentPassword (the
    // value of PASSWORD_VARIABLE), never from the command line itself.
    // False with a message in error for anything it cannot accept.
    static bool parse(const QStringList& arguments, const QString& environmentPassword, RelayOptions* options, QString* error);
};
