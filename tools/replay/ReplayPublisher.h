#pragma once

#include "RecordingReader.h"
#include "ReplayState.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

class V2_Server;

// Plays a recording on a server: each recorded line that changes the tree
// is published at its time (scaled by the speed); a client that joins a
// channel first gets its whole content at the current replay time. At the
// end, or at the last good record of a damaged file, it keeps serving.
class ReplayPublisher final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY(ReplayPublisher)

public:
    // Takes an opened reader.
    ReplayPublisher(V2_Server* server, RecordingReader* reader, double speed, QObject* parent = nullptr);
    ~ReplayPublisher() override;

    // Applies every record before this time without publishing; false when
    // the file ends badly on the way (the replay is then over).
    bool fastForward(qint64 ms);
    void start();
    // Recording time reached (ms since its start).
    qint64 replayMs() const;
    bool isOver() const;
    QString errorString() const;
    const V2_Data* tree() const;

signals:
    // The end of the recording (error empty) or of its last good record.
    void finished(qint64 atMs, QString error);

private:
    void readAhead();
    void step();
    void answerSnapshot(int descriptor, const QString& channel);

    V2_Server* m_server;
    RecordingReader* m_reader;
    double m_speed;
    ReplayState m_state;
    // The next record, read but not yet due.
    bool m_pending = false;
    qint64 m_pendingMs = 0;
    QByteArray m_pendingLine;
    bool m_over = false;
    QString m_error;
    qint64 m_originMs = 0;
    QElapsedTimer m_wall;
    QTimer m_timer;
};
