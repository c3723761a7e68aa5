#include "RelayOptions.h"

#include "LanterraChannels.h"
#include "SimOptions.h"

#include <QCommandLineParser>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSettings>

const QString RelayOptions::PASSWORD_VARIABLE = QStringLiteral("LANTERRA_RELAY_PASSWORD");

namespace {

// Keys of the INI file given with --config; the command line wins over it.
const QString kUpstreamKey = QStringLiteral("upstream/address");
const QString kUserKey = QStringLiteral("upstream/user");
const QString kPasswordKey = QStringLiteral("upstream/password");
const QString kPasswordFileKey = QStringLiteral("upstream/passwordFile");
const QString kUpstreamTlsKey = QStringLiteral("upstream/tls");
const QString kPinKey = QStringLiteral("upstream/pin");
const QString kChannelsKey = QStringLiteral("upstream/channels");
const QString kPortKey = QStringLiteral("relay/port");
const QString kTlsKey = QStringLiteral("relay/tls");
const QString kUsersKey = QStringLiteral("relay/users");
const QString kProfilesKey = QStringLiteral("relay/profiles");
const QString kCertificateKey = QStringLiteral("relay/certificate");
const QString kKeyKey = QStringLiteral("relay/key");
const QString kRecordKey = QStringLiteral("relay/record");
const QString kNatsPublishKey = QStringLiteral("nats/publish");
const QString kNatsSubscribeKey = QStringLiteral("nats/subscribe");
const QString kNatsPrefixKey = QStringLiteral("nats/prefix");

bool hostAndPort(const QString& text, QString* host, quint16* port)
{
    const int colon = text.lastIndexOf(QLatin1Char(':'));
    if (colon <= 0)
        return false;
    bool ok = false;
    const int number = text.mid(colon + 1).toInt(&ok);
    if (!ok || number < 1 || number > 65535)
        return false;
    *host = text.left(colon);
    // [::1]:11001 names an IPv6 address.
    if (host->startsWith(QLatin1Char('[')) && host->endsWith(QLatin1Char(']')))
        *host = host->mid(1, host->size() - 2);
    *port = static_cast<quint16>(number);
    return !host->isEmpty();
}

// nats://host:port (the scheme libnats takes for plain connections).
bool natsUrl(const QString& text)
{
    static const QRegularExpression url(QStringLiteral("^nats://([A-Za-z0-9.-]+|\\[[0-9A-Fa-f:]+\\]):([0-9]{1,5})$"));
    const QRegularExpressionMatch match = url.match(text);
    if (!match.hasMatch())
        return false;
    const int port = match.captured(2).toInt();
    return port >= 1 && port <= 65535;
}

constexpr qint64 kMaxPasswordLine = 4096;

bool readPassword(const QString& path, QString* password, QString* error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("Cannot read the password file %1").arg(path);
        return false;
    }
    // The first line; a trailing line end is not part of the password. Read
    // bounded: a device or a huge file is no password file.
    const QByteArray line = file.readLine(kMaxPasswordLine);
    if (!line.endsWith('\n') && !file.atEnd()) {
        *error = QStringLiteral("The password file %1 has a first line longer than %2 bytes").arg(path).arg(kMaxPasswordLine - 1);
        return false;
    }
    *password = QString::fromUtf8(line).remove(QLatin1Char('\r')).remove(QLatin1Char('\n'));
    if (password->isEmpty()) {
        *error = QStringLiteral("The password file %1 is empty").arg(path);
        return false;
    }
    return true;
}

bool boolValue(const QVariant& value, bool* result)
{
    const QString text = value.toString().trimmed().toLower();
    if (text == QLatin1String("true") || text == QLatin1String("1") || text == QLatin1String("yes"))
        *result = true;
    else if (text == QLatin1String("false") || text == QLatin1String("0") || text == QLatin1String("no"))
        *result = false;
    else
        return false;
    return true;
}

} // namespace

bool RelayOptions::parse(const QStringList& arguments, const QString& environmentPassword, RelayOptions* options, QString* error)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Logs in once to a timing server and serves its data to every seat of the team, with the team's shared followed cars."));
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption config(QStringLiteral("config"), QStringLiteral("INI file with any of the settings below (the command line wins)."),
                                    QStringLiteral("file"));
    const QCommandLineOption upstream(QStringLiteral("upstream"), QStringLiteral("Timing server to log in to."), QStringLiteral("host:port"));
    const QCommandLineOption user(QStringLiteral("user"), QStringLiteral("The team's user name there."), QStringLiteral("name"));
    const QCommandLineOption passwordFile(QStringLiteral("password-file"),
                                          QStringLiteral("File whose first line is the password (else the variable %1).").arg(PASSWORD_VARIABLE),
                                          QStringLiteral("file"));
    const QCommandLineOption upstreamNoTls(QStringLiteral("upstream-no-tls"), QStringLiteral("Plain TCP to the timing server."));
    const QCommandLineOption pin(QStringLiteral("upstream-pin"), QStringLiteral("SHA-256 of the timing server's certificate (hex); another is refused."),
                                 QStringLiteral("sha256"));
    const QCommandLineOption channels(QStringLiteral("channels"), QStringLiteral("Comma-separated channels to join (default: the program's)."),
                                      QStringLiteral("list"));
    const QCommandLineOption port(QStringLiteral("port"), QStringLiteral("Port the seats connect to (0: any free port; default 11002)."),
                                  QStringLiteral("port"));
    const QCommandLineOption noTls(QStringLiteral("no-tls"), QStringLiteral("Plain TCP for the seats instead of TLS."));
    const QCommandLineOption users(QStringLiteral("users"), QStringLiteral("Users INI file of the seats."), QStringLiteral("file"));
    const QCommandLineOption profiles(QStringLiteral("profiles"), QStringLiteral("Profiles INI file of the seats."), QStringLiteral("file"));
    const QCommandLineOption record(QStringLiteral("record"), QStringLiteral("Records the session into this file (.gz: compressed)."),
                                    QStringLiteral("file"));
    const QCommandLineOption natsPublish(QStringLiteral("nats-publish"),
                                         QStringLiteral("Origin: publishes the upstream's changes and answers snapshots on this NATS server."),
                                         QStringLiteral("nats://host:port"));
    const QCommandLineOption natsSubscribe(QStringLiteral("nats-subscribe"),
                                           QStringLiteral("Edge: serves the seats from an origin through this NATS server (no upstream)."),
                                           QStringLiteral("nats://host:port"));
    const QCommandLineOption natsPrefix(QStringLiteral("nats-prefix"), QStringLiteral("First part of the NATS subjects (default \"lanterra\")."),
                                        QStringLiteral("name"));
    parser.addOptions({config, upstream, user, passwordFile, upstreamNoTls, pin, channels, port, noTls, users, profiles, record, natsPublish,
                       natsSubscribe, natsPrefix});
    parser.addOptions(SimOptions::tlsPairOptions());

    if (!parser.parse(arguments)) {
        *error = parser.errorText();
        return false;
    }
    if (parser.isSet(help)) {
        options->helpText = parser.helpText();
        return true;
    }
    if (!parser.positionalArguments().isEmpty()) {
        *error = QStringLiteral("Unexpected argument: %1").arg(parser.positionalArguments().first());
        return false;
    }

    QMap<QString, QVariant> file;
    if (parser.isSet(config)) {
        const QString path = parser.value(config);
        if (!QFileInfo(path).isReadable()) {
            *error = QStringLiteral("Cannot read %1").arg(path);
            return false;
        }
        QSettings settings(path, QSettings::IniFormat);
        if (settings.status() != QSettings::NoError) {
            *error = QStringLiteral("%1 is no INI file").arg(path);
            return false;
        }
        for (const QString& key : settings.allKeys())
            file.insert(key, settings.value(key));
    }
    // The command line's value, else the INI file's.
    const auto value = [&](const QCommandLineOption& option, const QString& key) {
        return parser.isSet(option) ? parser.value(option) : file.value(key).toString();
    };

    RelayOptions result;
    result.natsPublish = value(natsPublish, kNatsPublishKey).trimmed();
    result.natsSubscribe = value(natsSubscribe, kNatsSubscribeKey).trimmed();
    const bool edge = !result.natsSubscribe.isEmpty();
    if (edge && !result.natsPublish.isEmpty()) {
        *error = QStringLiteral("--nats-publish and --nats-subscribe exclude each other: a relay is an origin or an edge");
        return false;
    }
    for (const QString& url : {result.natsPublish, result.natsSubscribe}) {
        if (!url.isEmpty() && !natsUrl(url)) {
            *error = QStringLiteral("\"%1\" is no NATS server: give nats://host:port").arg(url);
            return false;
        }
    }
    const QString prefixText = value(natsPrefix, kNatsPrefixKey).trimmed();
    if (!prefixText.isEmpty()) {
        static const QRegularExpression prefixName(QStringLiteral("^[A-Za-z0-9_-]+(\\.[A-Za-z0-9_-]+)*$"));
        if (!prefixName.match(prefixText).hasMatch()) {
            *error = QStringLiteral("--nats-prefix must be dot-separated words of letters, digits, _ and -");
            return false;
        }
        if (result.natsPublish.isEmpty() && !edge) {
            *error = QStringLiteral("--nats-prefix needs --nats-publish or --nats-subscribe");
            return false;
        }
        result.natsPrefix = prefixText;
    }
    if (edge) {
        // An edge's tree comes from its origin only.
        for (const QCommandLineOption* option : {&upstream, &user, &passwordFile, &upstreamNoTls, &pin, &record}) {
            if (parser.isSet(*option)) {
                *error = QStringLiteral("--%1 is no option of an edge (--nats-subscribe): the origin has the upstream").arg(option->names().first());
                return false;
            }
        }
        if (file.contains(kUpstreamKey) || file.contains(kRecordKey)) {
            *error = QStringLiteral("An edge (--nats-subscribe) takes no upstream and no recording: remove them from %1").arg(parser.value(config));
            return false;
        }
    } else {
        const QString address = value(upstream, kUpstreamKey);
        if (address.isEmpty()) {
            *error = QStringLiteral("--upstream is missing");
            return false;
        }
        if (!hostAndPort(address, &result.upstreamHost, &result.upstreamPort)) {
            *error = QStringLiteral("--upstream must be host:port with a port from 1 to 65535");
            return false;
        }
        result.user = value(user, kUserKey).trimmed();
        if (result.user.isEmpty()) {
            *error = QStringLiteral("--user is missing");
            return false;
        }
        const QString passwordPath = value(passwordFile, kPasswordFileKey);
        if (!passwordPath.isEmpty()) {
            if (!readPassword(passwordPath, &result.password, error))
                return false;
        } else if (!parser.isSet(passwordFile) && file.contains(kPasswordKey)) {
            result.password = file.value(kPasswordKey).toString();
        } else {
            result.password = environmentPassword;
        }
        if (result.password.isEmpty()) {
            *error = QStringLiteral("No password: give --password-file or set %1").arg(PASSWORD_VARIABLE);
            return false;
        }
        result.upstreamTls = true;
        if (parser.isSet(upstreamNoTls))
            result.upstreamTls = false;
        else if (file.contains(kUpstreamTlsKey) && !boolValue(file.value(kUpstreamTlsKey), &result.upstreamTls)) {
            *error = QStringLiteral("%1 must be true or false").arg(kUpstreamTlsKey);
            return false;
        }
        const QString pinText = value(pin, kPinKey).remove(QLatin1Char(':')).trimmed().toLower();
        static const QRegularExpression sha256(QStringLiteral("^[0-9a-f]{64}$"));
        if (!pinText.isEmpty() && !sha256.match(pinText).hasMatch()) {
            *error = QStringLiteral("--upstream-pin must be a SHA-256 fingerprint: 64 hexadecimal digits");
            return false;
        }
        result.upstreamPin = pinText.toLatin1();
        if (!result.upstreamTls && !result.upstreamPin.isEmpty()) {
            *error = QStringLiteral("--upstream-pin needs TLS to the timing server");
            return false;
        }
    }
    const QString channelText = parser.isSet(channels) ? parser.value(channels) : file.value(kChannelsKey).toStringList().join(QLatin1Char(','));
    result.channels = lanterraChannels();
    if (!channelText.trimmed().isEmpty()) {
        result.channels.clear();
        for (const QString& channel : channelText.split(QLatin1Char(','), Qt::SkipEmptyParts))
            result.channels << channel.trimmed();
        static const QRegularExpression channelName(QStringLiteral("^[A-Za-z0-9_]+(\\.[A-Za-z0-9_]+)*$"));
        for (const QString& channel : qAsConst(result.channels)) {
            if (!channelName.match(channel).hasMatch() || channel == QLatin1String("team")) {
                *error = QStringLiteral("--channels: \"%1\" is no channel to join").arg(channel);
                return false;
            }
        }
    }
    const QString portText = value(port, kPortKey);
    if (!portText.isEmpty()) {
        bool ok = false;
        const int number = portText.toInt(&ok);
        if (!ok || number < 0 || number > 65535) {
            *error = QStringLiteral("--port must be a number from 0 to 65535");
            return false;
        }
        result.port = static_cast<quint16>(number);
    }
    // An origin serves seats only when given a port.
    result.listen = result.natsPublish.isEmpty() || !portText.isEmpty();
    result.tls = true;
    if (parser.isSet(noTls))
        result.tls = false;
    else if (file.contains(kTlsKey) && !boolValue(file.value(kTlsKey), &result.tls)) {
        *error = QStringLiteral("%1 must be true or false").arg(kTlsKey);
        return false;
    }
    result.usersFile = value(users, kUsersKey);
    result.profilesFile = value(profiles, kProfilesKey);
    if (result.usersFile.isEmpty() != result.profilesFile.isEmpty()) {
        *error = QStringLiteral("--users and --profiles go together");
        return false;
    }
    result.certificateFile = value(SimOptions::tlsPairOptions().at(0), kCertificateKey);
    result.keyFile = value(SimOptions::tlsPairOptions().at(1), kKeyKey);
    if (result.certificateFile.isEmpty() != result.keyFile.isEmpty()) {
        *error = QStringLiteral("--certificate and --key go together");
        return false;
    }
    for (const QString& path : {result.usersFile, result.profilesFile, result.certificateFile, result.keyFile}) {
        if (!path.isEmpty() && !QFileInfo(path).isReadable()) {
            *error = QStringLiteral("Cannot read %1").arg(path);
            return false;
        }
    }
    result.recordFile = value(record, kRecordKey);
    *options = result;
    return true;
}
