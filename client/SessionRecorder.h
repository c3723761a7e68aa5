#pragma once

#include "RecordingWriter.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

class V2_Client;

// Records every line the client receives from the timing server into a
// recording file. A recording started mid-session begins with the client's
// tree as one data line, so that it is complete on its own; reconnects are
// recorded as they come (the login reply, then the new snapshots).
class SessionRecorder final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY(SessionRecorder)

public:
    explicit SessionRecorder(V2_Client* client, QObject* parent = nullptr);
    ~SessionRecorder() override;

    bool start(const QString& path, QString* error);
    void stop();
    bool isRecording() const;
    QString path() const;
    // The file's size on disk so far.
    qint64 fileSize() const;
    // Records written, the tree's own first record included.
    qint64 records() const;
    // The recording's clock: the time the next record would get.
    qint64 elapsedMs() const;

signals:
    void recordingChanged(bool recording);
    // Writing failed (disk full, file gone): the recording has stopped.
    void failed(QString error);
    // At most once a second while recording, after the buffered records reached the file.
    void progress(qint64 fileSize);

private:
    void record(QByteArray* line);
    void flush();

    V2_Client* m_client;
    RecordingWriter m_writer;
    QElapsedTimer m_clock;
    QTimer m_flushTimer;
    qint64 m_records = 0;
};
