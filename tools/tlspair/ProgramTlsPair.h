#pragma once

#include "TlsPairGenerator.h"

#include <QHostAddress>
#include <QList>
#include <QString>
#include <QStringList>

class V2_Server;

// The TLS pair a publishing program presents: the one given on its command
// line, else its own, kept in its per-user configuration folder and made
// there on its first start. Never the library's built-in pair, whose
// private key every copy of the library holds.
class ProgramTlsPair final
{
public:
    static const QString CERTIFICATE_FILE;
    static const QString KEY_FILE;

    // The program's per-user configuration folder (beside its settings).
    static QString folder();
    // The names a generated certificate is valid for: localhost and the
    // machine's host name (with its domain when it has one).
    static QStringList hostNames();
    // 127.0.0.1 and ::1.
    static QList<QHostAddress> addresses();

    // The pair stored in dir, made and stored there first (key readable by
    // the owner only) when neither file exists; created tells which. A
    // folder with one file only, a file that does not parse, a key that is
    // not the certificate's or an expired certificate is an error rather
    // than replaced: clients trust the stored certificate, so a new one is
    // the owner's decision.
    static bool loadOrCreate(const QString& dir, TlsPairGenerator::Pair* pair, bool* created, QString* error);

    // Gives server the pair of certificateFile and keyFile when they are
    // set, else the program's own; note says which, for the program to print.
    static bool apply(V2_Server* server, const QString& certificateFile, const QString& keyFile, QString* note, QString* error);

private:
    ProgramTlsPair() = delete;
};
