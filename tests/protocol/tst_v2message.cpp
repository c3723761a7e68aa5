#include "NumberLiterals.h"
#include "SampleLines.h"
#include "V2_Data.h"
#include "V2_message.h"

#include <QJsonDocument>
#include <QRandomGenerator>
#include <QtTest>

class TestV2Message final : public QObject
{
    Q_OBJECT

private slots:
    void parsing_data();
    void parsing();
    void payloadParams();
    void errorLines_data();
    void errorLines();
    void builtLinesRoundTrip_data();
    void builtLinesRoundTrip();
    void insertJson();
    void copies();
    void malformedLinesNeverCrash();
    void deepNesting_data();
    void deepNesting();
    void numberLiterals_data();
    void numberLiterals();
};

void TestV2Message::parsing_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<QString>("command");
    QTest::addColumn<QString>("id");
    QTest::addColumn<QString>("channel");
    QTest::addColumn<QString>("reason");

    const QString wrong = QStringLiteral("Wrong number of parameters");
    const QString notValid = QStringLiteral("Command not valid");
    const QString badJson = QStringLiteral("Error parsing message JSON");

    QTest::newRow("ping") << "PING:::" << true << "PING" << "" << "" << "";
    QTest::newRow("ping short") << "PING:" << false << "" << "" << "" << wrong;
    QTest::newRow("ping bare") << "PING" << false << "" << "" << "" << wrong;
    QTest::newRow("data") << R"(JSON:12::{"a":{"b":1}})" << true << "JSON" << "12" << "" << "";
    QTest::newRow("colon in channel") << R"(JSON:1:a:b:{"x":1})" << false << "" << "" << "" << wrong;
    QTest::newRow("colon in payload") << R"(JSON:1:x:{"t":"12:30:00","u":{"v":":"}})" << true << "JSON" << "1" << "x" << "";
    QTest::newRow("brace in id starts payload") << R"(JOIN:{a:b:)" << false << "" << "" << "" << wrong;
    QTest::newRow("unknown word") << "FOO:1:x:" << false << "" << "" << "" << notValid;
    QTest::newRow("lower case word") << "join:1:x:" << false << "" << "" << "" << notValid;
    QTest::newRow("bad json") << "JSON:1:x:{oops" << false << "JSON" << "1" << "x" << badJson;
    QTest::newRow("trailing garbage") << R"(JSON:1:x:{"a":1}x)" << false << "JSON" << "1" << "x" << badJson;
    QTest::newRow("join") << "JOIN:5:weather:" << true << "JOIN" << "5" << "weather" << "";
    QTest::newRow("time reply") << "TIME:3::1767283200000" << true << "TIME" << "3" << "" << "";
    QTest::newRow("five fields") << "TIME:3:::1767283200000" << false << "" << "" << "" << wrong;
    QTest::newRow("server ping") << "PING:4::" << true << "PING" << "4" << "" << "";
    QTest::newRow("utf8 channel") << QStringLiteral("JOIN:1:météo:") << true << "JOIN" << "1" << QStringLiteral("météo") << "";
}

void TestV2Message::parsing()
{
    QFETCH(QString, line);
    QFETCH(bool, valid);
    QFETCH(QString, command);
    QFETCH(QString, id);
    QFETCH(QString, channel);
    QFETCH(QString, reason);

    for (int form = 0; form < 2; ++form) {
        V2_message message;
        const bool ok = form == 0 ? message.parseMessage(line) : message.parseMessage(line.toUtf8());
        QCOMPARE(ok, valid);
        QCOMPARE(message.isValid(), valid);
        QCOMPARE(message.messageString(), line);
        if (!command.isEmpty())
            QCOMPARE(message.command(), command);
        if (valid) {
            QCOMPARE(message.id(), id);
            QCOMPARE(message.channel(), channel);
        } else {
            QCOMPARE(message.reason(), reason);
            QVERIFY(message.advice().isEmpty());
            // The answer to a bad line is itself a well-formed ERROR line.
            V2_message answer(message.errorMessageString());
            QVERIFY(answer.isValid());
            QCOMPARE(answer.command(), QStringLiteral("ERROR"));
            QCOMPARE(answer.jsonParams()->value(QStringLiteral("reason")).toString(), reason);
        }
    }
}

void TestV2Message::payloadParams()
{
    V2_message message(QStringLiteral(R"(JSON:12::{"a":{"b":1,"l":[1,"x",null],"n":null,"d":2.5,"big":18446744073709551615}})"));
    QVERIFY(message.isValid());
    const QVariantMap a = message.jsonParams()->value(QStringLiteral("a")).toMap();
    QCOMPARE(a.value(QStringLiteral("b")).toInt(), 1);
    QCOMPARE(a.value(QStringLiteral("l")).toList().size(), 3);
    QVERIFY(a.value(QStringLiteral("n")).isNull());
    QCOMPARE(a.value(QStringLiteral("d")).toDouble(), 2.5);
    QCOMPARE(a.value(QStringLiteral("big")).toULongLong(), Q_UINT64_C(18446744073709551615));
    QVERIFY(message.rapidJsonDocument());

    V2_message empty(QStringLiteral("JOIN:5:weather:"));
    QVERIFY(empty.jsonParams()->isEmpty());
    QVERIFY(empty.jsonString().isEmpty());
    // Any peer may repeat a name: the last one counts (and nothing is lost in memory).
    QCOMPARE(V2_message(QStringLiteral(R"(JOIN:5:w:{"a":1,"b":{"c":1,"c":2},"a":3})")).toString(), QStringLiteral(R"(JOIN:5:w:{"a":3,"b":{"c":2}})"));
}

void TestV2Message::errorLines_data()
{
    QTest::addColumn<QString>("id");
    QTest::addColumn<QString>("reason");
    QTest::addColumn<QString>("advice");
    QTest::addColumn<QString>("expected");

    QTest::newRow("no advice") << "7" << "Unknown channel" << "" << R"(ERROR:7:weather:{"reason":"Unknown channel"})";
    QTest::newRow("advice") << "7" << "Bad" << "Retry" << R"(ERROR:7:weather:{"reason":"Bad","advice":"Retry"})";
    QTest::newRow("quote and backslash") << "" << R"(say "hi" \ bye)" << "" << R"(ERROR::weather:{"reason":"say \"hi\" \\ bye"})";
    QTest::newRow("control characters") << "1" << "a\nb\tc\x01" << "d\re" << R"(ERROR:1:weather:{"reason":"a\nb\tc\u0001","advice":"d\re"})";
}

void TestV2Message::errorLines()
{
    QFETCH(QString, id);
    QFETCH(QString, reason);
    QFETCH(QString, advice);
    QFETCH(QString, expected);

    V2_message message(QStringLiteral("JOIN:%1:weather:").arg(id));
    message.setError(reason, advice);
    QVERIFY(!message.isValid());
    // setError marks the id as an answer; errorMessageString keeps the id as it is.
    QCOMPARE(message.errorString().section(QLatin1Char(':'), 1, 1), id.isEmpty() ? id : id + QLatin1Char('+'));
    QCOMPARE(message.errorMessageString(), expected);
    QCOMPARE(V2_message::errorLine(id, QStringLiteral("weather"), reason, advice), expected);

    V2_message parsed(expected);
    QVERIFY(parsed.isValid());
    QCOMPARE(parsed.jsonParams()->value(QStringLiteral("reason")).toString(), reason);
    QCOMPARE(parsed.jsonParams()->value(QStringLiteral("advice")).toString(), advice);
}

void TestV2Message::builtLinesRoundTrip_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("command");
    QTest::addColumn<QString>("id");
    QTest::addColumn<QString>("channel");
    QTest::addColumn<QStringList>("payloadKeys");

    QJsonObject data;
    data.insert(QStringLiteral("laps"), 3);
    V2_Data tree(QStringLiteral("ROOT"));
    tree.setRoot(true);
    tree.getOrCreateDataPointer(QStringLiteral("timing.session"))->insertData(QStringLiteral("name"), "Race");

    const QStringList login = {"app", "app_ver", "password", "protocol", "protocol_ver", "user"};
    const QStringList named = {"data", "name"};

    QTest::newRow("login request") << V2_message::loginRequestLine("u", "p:w{d}", "Lanterra", "2.3.19", "V2", "2.0") << "LOGIN" << "" << "" << login;
    QTest::newRow("login reply") << V2_message::loginReplyLine("", "Server", "2.1.0", "2.0.0", 5, 40) << "LOGIN" << "+" << ""
                                 << QStringList({"min_ver", "name", "pingRate", "timeout", "ver"});
    QTest::newRow("join request") << V2_message::line("JOIN", "5", "weather") << "JOIN" << "5" << "weather" << QStringList();
    QTest::newRow("join confirmation") << V2_message::line("JOIN", "5+", "weather") << "JOIN" << "5+" << "weather" << QStringList();
    QTest::newRow("leave request") << V2_message::line("LEAVE", "6", "weather") << "LEAVE" << "6" << "weather" << QStringList();
    QTest::newRow("leave confirmation") << V2_message::line("LEAVE", "6+", "weather") << "LEAVE" << "6+" << "weather" << QStringList();
    QTest::newRow("ping") << V2_message::pingLine() << "PING" << "" << "" << QStringList();
    QTest::newRow("ack") << V2_message::ackLine("") << "ACK" << "+" << "" << QStringList();
    QTest::newRow("time request") << V2_message::line("TIME", "x", "y") << "TIME" << "x" << "y" << QStringList();
    QTest::newRow("time reply") << V2_message::timeReplyLine("12", Q_INT64_C(1767283200123)) << "TIME" << "12" << "" << QStringList();
    QTest::newRow("server data") << V2_message::dataLine("13", &tree) << "JSON" << "13" << "" << QStringList({"timing"});
    QTest::newRow("client data") << V2_message::namedDataLine("JSON", "id1", "c", "n", data) << "JSON" << "id1" << "c" << named;
    QTest::newRow("command") << V2_message::namedDataLine("CMD", "id2", "c", "n", data) << "CMD" << "id2" << "c" << named;
    QTest::newRow("raw command") << V2_message::line("CMD", "id3", "c", R"({"raw":1})") << "CMD" << "id3" << "c" << QStringList({"raw"});
    QTest::newRow("client reply") << V2_message::namedDataLine("REPLY", "id4", "c", "n", data) << "REPLY" << "id4" << "c" << named;
    QTest::newRow("server reply tree") << V2_message::treeReplyLine("id5", "c", &tree) << "REPLY" << "id5" << "c" << QStringList({"timing"});
    QTest::newRow("error") << V2_message::errorLine("id6", "c", "Unknown channel") << "ERROR" << "id6" << "c" << QStringList({"reason"});
}

void TestV2Message::builtLinesRoundTrip()
{
    QFETCH(QString, line);
    QFETCH(QString, command);
    QFETCH(QString, id);
    QFETCH(QString, channel);
    QFETCH(QStringList, payloadKeys);

    QVERIFY(!line.contains(QLatin1Char('\n')));
    V2_message message(line);
    QVERIFY2(message.isValid(), qPrintable(message.reason()));
    QCOMPARE(message.command(), command);
    QCOMPARE(message.id(), id);
    QCOMPARE(message.channel(), channel);
    QCOMPARE(message.jsonParams()->keys(), payloadKeys);
    if (command != QLatin1String("TIME"))
        QCOMPARE(message.toString(), line);
}

void TestV2Message::insertJson()
{
    V2_message message(QStringLiteral("JOIN:5:weather:"));
    message.insertJson(QStringLiteral("b"), 2);
    message.insertJson(QStringLiteral("a"), QStringLiteral("x"));
    QCOMPARE(message.toString(), QStringLiteral(R"(JOIN:5:weather:{"a":"x","b":2})"));
    QCOMPARE(message.jsonParams()->value(QStringLiteral("b")).toInt(), 2);
    QVERIFY(!message.rapidJsonDocument());

    V2_message parsed(QStringLiteral(R"(JSON:1::{"a":1})"));
    parsed.insertJson(QStringLiteral("c"), 3);
    QCOMPARE(parsed.jsonString(), QStringLiteral(R"({"a":1,"c":3})"));

    // Named data: "data" carries the indented JSON text of the object.
    QJsonObject data;
    data.insert(QStringLiteral("k"), 1);
    V2_message named(V2_message::namedDataLine(QStringLiteral("CMD"), QStringLiteral("i"), QStringLiteral("c"), QStringLiteral("n"), data));
    const QString text = named.jsonParams()->value(QStringLiteral("data")).toString();
    QVERIFY(text.contains(QStringLiteral("\n    \"k\": 1")));
    QCOMPARE(QJsonDocument::fromJson(text.toUtf8()).object(), data);
}

void TestV2Message::copies()
{
    V2_message original(QStringLiteral(R"(JSON:12::{"a":1})"));
    V2_message copy(original);
    V2_message assigned;
    QVERIFY(!assigned.isValid() && !assigned.rapidJsonDocument());
    assigned = original;
    for (V2_message* m : {&copy, &assigned}) {
        QVERIFY(m->isValid());
        QCOMPARE(m->toString(), original.toString());
        QCOMPARE(m->jsonParams()->value(QStringLiteral("a")).toInt(), 1);
    }
    copy.jsonParams()->insert(QStringLiteral("z"), 1);
    QVERIFY(!original.jsonParams()->contains(QStringLiteral("z")));
}

void TestV2Message::malformedLinesNeverCrash()
{
    const QStringList reasons = {"Not initialized", "Wrong number of parameters", "Command not valid", "Error parsing message JSON"};
    const QList<QByteArray> seeds = {SampleLines::standings(20, 1), SampleLines::participantDetails(2), SampleLines::analysisLap(3)};
    QRandomGenerator rng(99);
    int invalid = 0;
    for (int i = 0; i < 4000; ++i) {
        QByteArray line = seeds.at(i % seeds.size());
        switch (i % 4) {
        case 0: // truncated
            line.truncate(rng.bounded(line.size()));
            break;
        case 1: // random bytes overwritten
            for (int n = 0; n < 5; ++n)
                line[rng.bounded(line.size())] = static_cast<char>(rng.bounded(256));
            break;
        case 2: // bytes removed
            line.remove(rng.bounded(line.size()), rng.bounded(1, 20));
            break;
        default: // pure noise
            line = QByteArray(rng.bounded(1, 200), '\0');
            for (char& c : line)
                c = static_cast<char>(rng.bounded(256));
        }
        V2_message message;
        const bool ok = message.parseMessage(line);
        QCOMPARE(ok, message.isValid());
        if (!ok) {
            ++invalid;
            QVERIFY2(reasons.contains(message.reason()), qPrintable(message.reason()));
            QVERIFY(V2_message(message.errorMessageString()).isValid());
        } else {
            // A line that parsed must merge without trouble.
            V2_Data tree(QStringLiteral("ROOT"));
            tree.setRoot(true);
            if (message.rapidJsonDocument())
                tree.fromRapidJson(*message.rapidJsonDocument(), nullptr);
            tree.fromQvariantMap(message.jsonParams(), nullptr);
        }
    }
    QVERIFY(invalid > 2000);
}

void TestV2Message::deepNesting_data()
{
    QTest::addColumn<int>("depth");
    QTest::addColumn<bool>("valid");
    QTest::newRow("at the limit") << V2_message::MAX_JSON_DEPTH << true;
    QTest::newRow("one past") << V2_message::MAX_JSON_DEPTH + 1 << false;
    QTest::newRow("hostile") << 1000000 << false;
}

void TestV2Message::deepNesting()
{
    QFETCH(int, depth);
    QFETCH(bool, valid);
    // Objects and arrays alternate; braces inside strings do not count.
    QByteArray payload = "{\"s\":\"{{{{[[[[\",\"a\":";
    for (int level = 1; level < depth; ++level)
        payload += level % 2 ? "[" : "{\"a\":";
    payload += "1";
    for (int level = depth - 1; level >= 1; --level)
        payload += level % 2 ? ']' : '}';
    payload += '}';
    V2_message message;
    QCOMPARE(message.parseMessage(QByteArray("JSON:1::") + payload), valid);
    if (!valid)
        QCOMPARE(message.reason(), QStringLiteral("Error parsing message JSON"));
    else
        QVERIFY(!message.jsonParams()->isEmpty());
}

void TestV2Message::numberLiterals_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<bool>("fits");
    QTest::addColumn<QVariant>("value");
    for (const NumberLiteral& literal : numberLiteralTable())
        QTest::newRow(literal.name) << literal.text << literal.fits << literal.value;
}

void TestV2Message::numberLiterals()
{
    QFETCH(QByteArray, text);
    QFETCH(bool, fits);
    QFETCH(QVariant, value);
    // In an object and in an array; a string that looks like a number is no number.
    V2_message message;
    QCOMPARE(message.parseMessage("JSON:1::{\"s\":\"\\\"1e999\",\"a\":[0," + text + "],\"v\":" + text + "}"), fits);
    if (!fits) {
        QCOMPARE(message.reason(), QStringLiteral("Error parsing message JSON"));
        return;
    }
    const QVariant read = message.jsonParams()->value(QStringLiteral("v"));
    QCOMPARE(read.userType(), value.userType());
    QCOMPARE(read, value);
    QCOMPARE(message.jsonParams()->value(QStringLiteral("a")).toList().value(1), value);
    QCOMPARE(message.jsonParams()->value(QStringLiteral("s")).toString(), QStringLiteral("\"1e999"));
}

QTEST_GUILESS_MAIN(TestV2Message)
#include "tst_v2message.moc"
