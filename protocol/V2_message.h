#pragma once

#include "pexjsonv2_export.h"

#include <QByteArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <rapidjson/document.h>

#include <memory>

class V2_Data;

// One line of the V2 protocol: COMMAND:ID:CHANNEL:PAYLOAD. Parses received
// lines and builds every line that the two ends send (without CR LF).
class PEXJSONV2_EXPORT V2_message
{
public:
    // The command words in the order the protocol lists them.
    static const QStringList COMMANDS;
    // Payloads nested deeper than this are refused as unparsable.
    static constexpr int MAX_JSON_DEPTH = 512;
    // Digits each part of a number literal (integer, fraction, exponent) may have.
    static constexpr int MAX_NUMBER_DIGITS = 64;

    explicit V2_message(const QString& line = QString());
    V2_message(const V2_message& other);
    V2_message& operator=(const V2_message& other);
    ~V2_message();

    bool parseMessage(const QString& line);
    // The same parse from the UTF-8 bytes of a line, as read from a socket.
    bool parseMessage(const QByteArray& line);

    QString command() const;
    void setCommand(const QString& command);
    QString id() const;
    void setId(const QString& id);
    QString channel() const;
    void setChannel(const QString& channel);
    QString messageString() const;
    void setMessageString(const QString& messageString);
    bool isValid() const;
    void setIsValid(bool valid);
    QString reason() const;
    QString advice() const;
    QString errorString() const;

    // The payload as variants; owned by the message, built on first use.
    QMap<QString, QVariant>* jsonParams();
    // The parsed payload of a received line; none for a built message.
    const rapidjson::Document* rapidJsonDocument() const;
    // The same document, kept alive (with the bytes its strings point into)
    // for as long as the returned pointer is held.
    std::shared_ptr<const rapidjson::Document> sharedDocument() const;
    // The bytes of a received line as read (without CR LF); empty for a built message.
    QByteArray lineBytes() const;

    void insertJson(const QJsonObject& obj);
    void insertJson(const QString& key, const QString& value);
    void insertJson(const QString& key, int value);

    QString jsonString() const;
    QString toString() const;
    QString errorMessageString();
    void setError(const QString& reason, const QString& advice);

    // Builders of the protocol's lines, without the closing CR LF.
    static QString line(const QString& command, const QString& id, const QString& channel, const QString& payload = QString());
    static QString loginRequestLine(const QString& user,
                                    const QString& password,
                                    const QString& app,
                                    const QString& appVersion,
                                    const QString& protocol,
                                    const QString& protocolVersion);
    static QString loginReplyLine(const QString& requestId,
                                  const QString& name,
                                  const QString& version,
                                  const QString& minVersion,
                                  int pingRate,
                                  int timeout);
    static QString pingLine();
    static QString ackLine(const QString& pingId);
    static QString timeReplyLine(const QString& counter, qint64 msSinceEpoch);
    // Client JSON, CMD and REPLY lines: {"data": indented JSON text, "name": name}.
    static QString namedDataLine(const QString& command, const QString& id, const QString& channel, const QString& name, const QJsonObject& data);
    static QString namedDataLine(const QString& command, const QString& id, const QString& channel, const QString& name, const QString& data);
    // Server data line: the tree from its root, compact.
    static QString dataLine(const QString& counter, const V2_Data* tree);
    // Server REPLY line carrying a tree.
    static QString treeReplyLine(const QString& id, const QString& channel, const V2_Data* tree);
    static QString errorLine(const QString& id, const QString& channel, const QString& reason, const QString& advice = QString());
    // A JSON string literal (quotes included) for text.
    static QString jsonQuoted(const QString& text);

private:
    bool parseBytes(const QByteArray& line);
    void resetPayload();
    QString buildErrorLine(const QString& id) const;

    QString m_command;
    QString m_id;
    QString m_channel;
    mutable QString m_messageString;
    mutable QJsonDocument m_json;
    QJsonObject m_jsonObject;
    mutable QString m_errorString;
    // The error line of setError is built when first read: every message
    // starts with an error set, and most never show it.
    mutable bool m_errorStringReady = true;
    QString m_reason;
    QString m_advice;
    bool m_valid = false;
    QMap<QString, QVariant> m_params;

    // Received payload: kept as bytes and as a parsed document; the variant
    // map and the Qt document are built from them only when asked for.
    struct ParsedPayload;
    QByteArray m_line;
    int m_payloadStart = -1;
    std::shared_ptr<const ParsedPayload> m_parsed;
    mutable bool m_messageStringReady = true;
    mutable bool m_jsonReady = true;
    bool m_paramsReady = true;
};
