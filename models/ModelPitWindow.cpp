#include "ModelPitWindow.h"

#include "V2DataProvider.h"

#include <algorithm>

namespace {

QString seconds(qint64 ms)
{
    return QString::number(double(ms) / 1000.0, 'f', 1);
}

QString gap(const PitWindowPredictor::Neighbour& car)
{
    if (car.number.isEmpty())
        return QString();
    return car.laps > 0 ? QCoreApplication::translate("ModelPitWindow", "%1 L + %2").arg(car.laps).arg(seconds(car.gapMs)) : seconds(car.gapMs);
}

constexpr ColumnSpec<PitWindowRow> kColumns[] = {
    {ModelPitWindow::Stop, QT_TRANSLATE_NOOP("ModelPitWindow", "Stop on lap"), 80, ColumnTable::Centre, [](const PitWindowRow& r) { return QString::number(r.lap); }},
    {ModelPitWindow::Loss, QT_TRANSLATE_NOOP("ModelPitWindow", "Loss"), 50, ColumnTable::Right, [](const PitWindowRow& r) { return seconds(r.prediction.lossMs); }},
    {ModelPitWindow::Position, QT_TRANSLATE_NOOP("ModelPitWindow", "Pos"), 40, ColumnTable::Centre, [](const PitWindowRow& r) { return QString::number(r.prediction.position); }},
    {ModelPitWindow::ClassPosition, QT_TRANSLATE_NOOP("ModelPitWindow", "Class Pos"), 60, ColumnTable::Centre, [](const PitWindowRow& r) { return QString::number(r.prediction.classPosition); }},
    {ModelPitWindow::Ahead, QT_TRANSLATE_NOOP("ModelPitWindow", "Ahead"), 50, ColumnTable::Centre, [](const PitWindowRow& r) { return r.prediction.ahead.number; }},
    {ModelPitWindow::GapAhead, QT_TRANSLATE_NOOP("ModelPitWindow", "Gap"), 70, ColumnTable::Right, [](const PitWindowRow& r) { return gap(r.prediction.ahead); }},
    {ModelPitWindow::Behind, QT_TRANSLATE_NOOP("ModelPitWindow", "Behind"), 50, ColumnTable::Centre, [](const PitWindowRow& r) { return r.prediction.behind.number; }},
    {ModelPitWindow::GapBehind, QT_TRANSLATE_NOOP("ModelPitWindow", "Gap"), 70, ColumnTable::Right, [](const PitWindowRow& r) { return gap(r.prediction.behind); }},
    {ModelPitWindow::ClassAhead, QT_TRANSLATE_NOOP("ModelPitWindow", "Class Ahead"), 75, ColumnTable::Centre, [](const PitWindowRow& r) { return r.prediction.classAhead.number; }},
    {ModelPitWindow::GapClassAhead, QT_TRANSLATE_NOOP("ModelPitWindow", "Gap"), 70, ColumnTable::Right, [](const PitWindowRow& r) { return gap(r.prediction.classAhead); }},
    {ModelPitWindow::ClassBehind, QT_TRANSLATE_NOOP("ModelPitWindow", "Class Behind"), 80, ColumnTable::Centre, [](const PitWindowRow& r) { return r.prediction.classBehind.number; }},
    {ModelPitWindow::GapClassBehind, QT_TRANSLATE_NOOP("ModelPitWindow", "Gap"), 70, ColumnTable::Right, [](const PitWindowRow& r) { return gap(r.prediction.classBehind); }},
};
static_assert(ColumnTable::inIdOrder(kColumns), "columns in id order");

} // namespace

ModelPitWindow::ModelPitWindow(V2DataProvider* provider, QObject* parent)
    : RowTableModel<PitWindowRow>(kColumns, "ModelPitWindow", parent)
    , m_provider(provider)
{
    connect(provider, &V2DataProvider::analysisLapsByPnum, this, [this](const QString& pNum) {
        m_predictor.refreshPace(*m_provider, pNum);
        // An out lap's time completes a stop's loss.
        const int lastIn = m_provider->getLastPitInLap(pNum);
        if (lastIn > 0 && lastIn == m_provider->getElapsedLaps(pNum) - 1)
            m_learnStale = true;
        scheduleRefresh();
    });
    connect(provider, &V2DataProvider::standingsOverall, this, &ModelPitWindow::scheduleRefresh);
    // A flag record arriving late can put a learnt stop under a neutralisation.
    for (auto signal : {&V2DataProvider::analysisPitIn, &V2DataProvider::analysisPitOut, &V2DataProvider::analysisStints, &V2DataProvider::sessionFlags})
        connect(provider, signal, this, [this]() {
            m_learnStale = true;
            scheduleRefresh();
        });
    // A new session: the last one's paces and stops are not this one's.
    connect(provider, &V2DataProvider::cleanAll, this, [this]() {
        m_predictor = PitWindowPredictor();
        m_learner.reset();
        m_learnStale = true;
        scheduleRefresh();
    });
    connect(provider, &V2DataProvider::standingsOverallByPosition, this, &ModelPitWindow::scheduleRefresh);
    // A whole collection of laps: every pace is read again.
    connect(provider, &V2DataProvider::analysisProcessed, this, [this]() {
        m_predictor = PitWindowPredictor();
        m_learner.reset();
        m_learnStale = true;
        scheduleRefresh();
    });
    processRefresh();
}

ModelPitWindow::~ModelPitWindow() = default;

void ModelPitWindow::setCar(const QString& pNum)
{
    m_car = pNum;
    processRefresh();
}

QString ModelPitWindow::car() const
{
    return m_car;
}

void ModelPitWindow::setLapsAhead(int laps)
{
    m_lapsAhead = std::max(0, laps);
    processRefresh();
}

int ModelPitWindow::lapsAhead() const
{
    return m_lapsAhead;
}

void ModelPitWindow::setStopKind(PitLossLearner::Kind kind)
{
    m_kind = kind;
    processRefresh();
}

PitLossLearner::Kind ModelPitWindow::stopKind() const
{
    return m_kind;
}

PitLossLearner& ModelPitWindow::learner()
{
    return m_learner;
}

bool ModelPitWindow::neutralised() const
{
    return m_neutralised;
}

QPair<int, int> ModelPitWindow::currentPositions() const
{
    const QVector<PitWindowPredictor::Car>& field = m_predictor.field();
    const auto us = std::find_if(field.cbegin(), field.cend(), [this](const PitWindowPredictor::Car& car) { return car.number == m_car; });
    if (us == field.cend())
        return {0, 0};
    const int inClass = int(std::count_if(field.cbegin(), field.cend(), [&us](const PitWindowPredictor::Car& car) {
        return car.className == us->className && car.position <= us->position;
    }));
    return {us->position, inClass};
}

void ModelPitWindow::refreshRows()
{
    const QString flag = m_provider->getCurrentFlag();
    m_neutralised = flag == QLatin1String("SAFETY_CAR") || flag == QLatin1String("FULL_YELLOW");
    if (m_learnStale) {
        m_learner.learn(*m_provider);
        m_learnStale = false;
    }
    m_predictor.refreshField(*m_provider);
    emit lossesChanged();
    const qint64 loss = m_learner.value(m_kind, m_neutralised).lossMs;
    const qint64 othersLoss = m_learner.value(PitLossLearner::ShortStop, m_neutralised).lossMs;
    const int currentLap = m_provider->getCurrentLap(m_car);
    QVector<PitWindowRow> rows;
    for (const PitWindowPredictor::Prediction& prediction : m_predictor.predict(m_car, loss, m_lapsAhead, othersLoss))
        rows.append({currentLap + prediction.lapOffset, prediction});
    setRows(rows);
}
