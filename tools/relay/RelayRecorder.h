#pragma once

#include "RecordingWriter.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

class V2_Client;

// Records what the relay receives from the timing server in the program's
// recording format, from start() until the relay ends, so that the team's
// recording goes on whatever happens to the seats.
class RelayRecorder final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY(RelayRecorder)

public:
    explicit RelayRecorder(V2_Client* client, QObject* parent = nullptr);
    ~RelayRecorder() override;

    // Creates the file; false with a message. An existing file is kept:
    // the recording goes to a name with the UTC start time added
    // ("race-20260614T130000Z.lrec.gz"), which path() then gives.
    bool start(const QString& path, QString* error);
    QString path() const;
    bool isRecording() const;
    qint64 records() const;

private:
    void record(QByteArray* line);
    void flush();

    V2_Client* m_client;
    RecordingWriter m_writer;
    QElapsedTimer m_clock;
    QTimer m_flushTimer;
    qint64 m_records = 0;
    QString m_path;
};
