#pragma once

#include <QByteArray>

// Realistic server data lines, as a timing server sends them, for tests and
// benchmarks. The variant number changes the values so that successive lines
// are real updates.
namespace SampleLines {

// A standings update of the overall "active" node: one entry per car (~9 KB for 60 cars).
QByteArray standings(int cars, int variant);
// One participant-details update (~0.3 KB).
QByteArray participantDetails(int variant);
// One lap of the lap analysis (~0.4 KB).
QByteArray analysisLap(int variant);

} // namespace SampleLines
