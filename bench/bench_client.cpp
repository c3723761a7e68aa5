// The client's ingest: end to end over loopback (a scripted server writes
// data lines as fast as the socket takes them), and in process without a
// socket (parse + the data-line handler) against rapidjson's DOM parse.
#include "BenchRatios.h"
#include "BenchLines.h"
#include "ScriptedServer.h"
#include "V2_Client.h"
#include "V2_Data.h"
#include "V2_message.h"

#include <QCoreApplication>
#include <QSignalSpy>
#include <QTest>
#include <QVector>


namespace {

using namespace BenchLines;

// Opens the data-line handler to the benchmark.
class OpenClient final : public V2_Client
{
public:
    OpenClient()
        : V2_Client(QStringLiteral("bench"), QStringLiteral("1"), QStringLiteral("V2"), QStringLiteral("2"), 0, QString(), QString(), QStringLiteral("127.0.0.1"))
    {
    }
    using V2_Client::processJSON;
};

// Each iteration: one line parsed and handed to the data-line handler; with
// withTree, the line's own tree built afterwards, as getRxData() builds it
// for a caller that asks (the program's controller does not).
void clientLines(benchmark::State& state, bool withTree)
{
    const QVector<QByteArray> lines = linesOf(static_cast<int>(state.range(0)));
    OpenClient client;
    for (const QByteArray& line : lines) {
        V2_message message;
        message.parseMessage(line);
        client.processJSON(&message);
    }
    int i = 0;
    for (auto _ : state) {
        V2_message message;
        message.parseMessage(lines.at(i++ % kVariants));
        client.processJSON(&message);
        if (withTree)
            benchmark::DoNotOptimize(client.getRxData());
    }
    state.SetLabel(name(static_cast<int>(state.range(0))));
}

void BM_ClientLine(benchmark::State& state)
{
    clientLines(state, false);
}

void BM_ClientLineAndTree(benchmark::State& state)
{
    clientLines(state, true);
}

void BM_RapidDom(benchmark::State& state)
{
    rapidDom(state);
}

// Each iteration: the server writes a burst of lines; it ends when the
// client has reported the last one. Both ends share this thread's loop.
void BM_LoopbackIngest(benchmark::State& state)
{
    const int kind = static_cast<int>(state.range(0));
    const bool tls = state.range(1) != 0;
    const int burst = kind == Standings ? 500 : 5000;
    const QVector<QByteArray> lines = linesOf(kind);
    QByteArray payload;
    for (int n = 0; n < burst; ++n)
        payload += lines.at(n % kVariants) + "\r\n\r\n";

    ScriptedServer server(tls);
    OpenClient client;
    client.setPort(server.start());
    client.setSsl(tls);
    int changes = 0;
    QObject::connect(&client, &V2_Client::onChannelChange, [&changes] { ++changes; });
    QSignalSpy done(&client, &V2_Client::onLoginDone);
    client.setActive(true);
    if (!server.waitForClient() || server.acceptLogin().isEmpty() || !QTest::qWaitFor([&] { return done.count() == 1; })) {
        state.SkipWithError("no connection");
        return;
    }
    for (auto _ : state) {
        changes = 0;
        server.send(payload);
        if (!QTest::qWaitFor([&] { return changes == burst; }, 60000)) {
            state.SkipWithError("lines lost");
            break;
        }
    }
    client.setActive(false);
    state.SetItemsProcessed(state.iterations() * burst);
    state.SetBytesProcessed(state.iterations() * payload.size());
    state.SetLabel(std::string(name(kind)) + (tls ? " tls" : " tcp"));
}

BENCHMARK(BM_ClientLine)->DenseRange(Standings, Lap);
BENCHMARK(BM_ClientLineAndTree)->DenseRange(Standings, Lap);
BENCHMARK(BM_RapidDom)->DenseRange(Standings, Lap);
BENCHMARK(BM_LoopbackIngest)->ArgsProduct({{Standings, Participant, Lap}, {1, 0}})->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    std::vector<std::pair<std::string, std::string>> pairs;
    for (const char* client : {"BM_ClientLine/", "BM_ClientLineAndTree/"}) {
        for (int kind = Standings; kind <= Lap; ++kind)
            pairs.emplace_back(client + std::to_string(kind), "BM_RapidDom/" + std::to_string(kind));
    }
    BenchRatios reporter(pairs);
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.printRatios();
    benchmark::Shutdown();
    return 0;
}
