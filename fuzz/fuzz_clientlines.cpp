// The client's reading path: bytes framed into lines, each processed as
// received (login reply, joins, data merged into the mirror, errors). One
// client for every input (making one costs a TLS socket); each input ends
// its last line and starts from an empty mirror.
//
// Each data line into a filled mirror is also worked out the long way
// round (the line's own tree built first, then walked against a copy of
// the mirror, then merged): the keys, the deletions, the mirror, the line's
// tree and its node keys must be the same as the client's.
#include "FuzzSupport.h"
#include "V2_Client.h"
#include "V2_Data.h"
#include "V2_message.h"

#include <QSet>

#include <memory>

namespace {

class Client final : public V2_Client
{
public:
    Client()
        : V2_Client(QStringLiteral("fuzz"), QStringLiteral("1"), QStringLiteral("V2"), QStringLiteral("1.0.0"), 1, QStringLiteral("pw"),
                    QStringLiteral("user"), QStringLiteral("127.0.0.1"))
    {
        setMaxLineBytes(1 << 20);
    }
    void keysOf(V2_Data* rx, V2_Data* current, QSet<QString>& keys) { addKeysUpdated(rx, current, keys); }
};

Client* client()
{
    static Client* instance = new Client;
    return instance;
}

V2_Data* newRoot()
{
    auto* root = new V2_Data(QStringLiteral("ROOT"));
    root->setRoot(true);
    return root;
}

// Every entry's dotted path, nodes and values alike.
void entryPaths(const V2_Data* node, const QString& path, QStringList& out)
{
    for (auto it = node->datas()->cbegin(); it != node->datas()->cend(); ++it) {
        const QString childPath = path.isEmpty() ? it.key() : path + QLatin1Char('.') + it.key();
        out.append(childPath);
        if (const V2_Data* child = V2_Data::nodeOf(it.value()))
            entryPaths(child, childPath, out);
    }
}

void compareWithTree(Client* c, const V2_message& message, V2_Data* before, const QByteArray& line)
{
    const rapidjson::Document& document = *message.rapidJsonDocument();
    std::unique_ptr<V2_Data> deleted(newRoot());
    std::unique_ptr<V2_Data> rx(newRoot());
    rx->fromRapidJson(document, deleted.get());
    QSet<QString> keys;
    c->keysOf(rx.get(), before, keys);
    before->fromRapidJson(document, deleted.get());
    if (keys.isEmpty()) {
        if (before->datas()->isEmpty()) {
            for (const QString& key : rx->datas()->keys())
                keys.insert(key);
        } else {
            c->keysOf(rx.get(), before, keys);
        }
    }
    if (c->keysUpdated() != keys)
        FuzzSupport::broken("the updated keys are those of the line's tree", line);
    if (!c->getDeletedData()->equals(deleted.get()))
        FuzzSupport::broken("the deletions are those of the line's tree", line);
    if (!c->getCurrentData()->equals(before))
        FuzzSupport::broken("the mirror is the merge of the line", line);
    QStringList paths = {QString()};
    entryPaths(rx.get(), QString(), paths);
    for (const QString& path : qAsConst(paths)) {
        const V2_Data* node = rx->getV2_Data(path);
        if (c->rxHasNode(path) != (node != nullptr) || c->rxKeys(path) != (node ? node->datas()->keys() : QStringList()))
            FuzzSupport::broken("the line's node keys are its tree's", line);
    }
    if (!c->getRxData()->equals(rx.get()))
        FuzzSupport::broken("the line's tree is built as it would have been", line);
}

const QByteArray kBase = R"(JSON:0::{"timing":{"analysis":{"laps":{"2":{"laps":{"1":{"sectors":{"1":{"time":1}},"time":1}}}}},)"
                        R"("session":{"info":{"name":"Race"},"standings":{"overall":{"active":{"1":{"participant":"2"},"ignorePath":true},)"
                        R"("participantDetails":{"2":{"currentLap":3,"lastLap":{"time":1}},"ignorePath":true}}}}},"weather":{"airTemp":20}})"
                        "\n";

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    FuzzSupport::quietApplication();
    client();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Client* c = client();
    c->getCurrentData()->clearData();
    // A filled mirror to start from, so that the input's first data line is
    // already merged into one (seeds hold one line each).
    c->receiveBytes(kBase);
    const QByteArray input = FuzzSupport::bytes(data, size);
    for (const QByteArray& raw : input.split('\n')) {
        QByteArray line = raw;
        line.replace('\r', QByteArray());
        V2_message message;
        const bool dataLine = !line.isEmpty() && message.parseMessage(line) && message.command() == QLatin1String("JSON") && message.rapidJsonDocument()
                              && !c->getCurrentData()->datas()->isEmpty();
        std::unique_ptr<V2_Data> before(dataLine ? new V2_Data(c->getCurrentData()) : nullptr);
        c->receiveBytes(raw + '\n');
        if (before)
            compareWithTree(c, message, before.get(), line);
    }
    // The mirror is always a tree that can be written out.
    c->getCurrentData()->getJsonString(false);
    return 0;
}
