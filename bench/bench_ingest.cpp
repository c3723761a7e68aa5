// The client's hot path: receive a line, parse it, merge it into the mirror.
// Compared with rapidjson's plain DOM parse of the same bytes.
#include "BenchRatios.h"
#include "BenchLines.h"
#include "V2_Data.h"
#include "V2_message.h"

#include <QVector>


namespace {

using namespace BenchLines;

V2_Data* primedMirror(const QVector<QByteArray>& lines)
{
    auto* mirror = new V2_Data(QStringLiteral("ROOT"));
    mirror->setRoot(true);
    for (const QByteArray& line : lines) {
        V2_message message;
        message.parseMessage(line);
        mirror->fromRapidJson(*message.rapidJsonDocument(), nullptr);
    }
    return mirror;
}

void setBytes(benchmark::State& state, const QVector<QByteArray>& lines)
{
    qint64 bytes = 0;
    for (const QByteArray& line : lines)
        bytes += line.size();
    state.SetBytesProcessed(state.iterations() * bytes / lines.size());
    state.counters["line_bytes"] = static_cast<double>(bytes / lines.size());
}

// (a) parse into a V2_message and merge into an existing tree, as the client does.
void BM_MessageMerge(benchmark::State& state)
{
    const QVector<QByteArray> lines = linesOf(static_cast<int>(state.range(0)));
    V2_Data* mirror = primedMirror(lines);
    V2_Data deleted(QStringLiteral("ROOT"));
    deleted.setRoot(true);
    int i = 0;
    for (auto _ : state) {
        V2_message message;
        message.parseMessage(lines.at(i++ % kVariants));
        mirror->fromRapidJson(*message.rapidJsonDocument(), &deleted);
    }
    setBytes(state, lines);
    state.SetLabel(name(static_cast<int>(state.range(0))));
    delete mirror;
}

// The same through the public variant-map form (jsonParams + fromQvariantMap).
void BM_MessageVariantMerge(benchmark::State& state)
{
    const QVector<QByteArray> lines = linesOf(static_cast<int>(state.range(0)));
    V2_Data* mirror = primedMirror(lines);
    V2_Data deleted(QStringLiteral("ROOT"));
    deleted.setRoot(true);
    int i = 0;
    for (auto _ : state) {
        V2_message message;
        message.parseMessage(lines.at(i++ % kVariants));
        mirror->fromQvariantMap(message.jsonParams(), &deleted);
    }
    setBytes(state, lines);
    state.SetLabel(name(static_cast<int>(state.range(0))));
    delete mirror;
}

// (b) rapidjson's plain DOM parse of the payload bytes.
void BM_RapidDom(benchmark::State& state)
{
    rapidDom(state);
}

BENCHMARK(BM_MessageMerge)->DenseRange(Standings, Lap);
BENCHMARK(BM_MessageVariantMerge)->DenseRange(Standings, Lap);
BENCHMARK(BM_RapidDom)->DenseRange(Standings, Lap);

} // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    std::vector<std::pair<std::string, std::string>> pairs;
    for (int kind = Standings; kind <= Lap; ++kind) {
        const std::string arg = "/" + std::to_string(kind);
        pairs.emplace_back("BM_MessageMerge" + arg, "BM_RapidDom" + arg);
        pairs.emplace_back("BM_MessageVariantMerge" + arg, "BM_RapidDom" + arg);
    }
    BenchRatios reporter(pairs);
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.printRatios();
    benchmark::Shutdown();
    return 0;
}
