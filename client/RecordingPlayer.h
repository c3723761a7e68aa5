#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>
#include <QVector>

#include <atomic>
#include <functional>
#include <memory>

class QThread;
class V2_Client;
class V2_Data;

// Plays a recording into the client without any server, as if its lines
// were arriving: the provider and the panels cannot tell replay from live.
// The file is read once when it is opened and kept compressed in memory in
// blocks, each starting with the tree at that moment, so that a jump
// rebuilds the tree from the nearest block and delivers it as a fresh
// session snapshot. A long recording is read on a worker thread (load),
// and the client is handed it only when the whole file has been read.
class RecordingPlayer final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY(RecordingPlayer)

public:
    explicit RecordingPlayer(V2_Client* client, QObject* parent = nullptr);
    ~RecordingPlayer() override;

    // Reads the recording and delivers its start, paused. A damaged file is
    // played up to its last good record (said in warning()); false with a
    // message when it is no recording at all.
    bool open(const QString& path, QString* error);
    // The same reading on a worker thread: loadProgress meanwhile, then
    // loaded(true) and start() delivers it, or loaded(false, error), the
    // error empty when cancelled. The client is not touched before start().
    void load(const QString& path);
    void cancelLoad();
    bool isLoading() const;
    // Delivers the start of what load() read, paused (closing what was open).
    bool start();
    // Stops and empties the client's tree of what was replayed.
    void close();
    bool isOpen() const;
    QString warning() const;
    QString path() const;

    // Length of the recording and the time reached, in ms since its start.
    qint64 duration() const;
    qint64 position() const;
    // The computer clock as the recording client read it at the time reached;
    // the session clock runs on it while a recording is open.
    qint64 recordedNowMs() const;
    bool isPlaying() const;
    double speed() const;

    void play();
    void pause();
    void setSpeed(double speed);
    // Delivers the tree as it stood at this time, then plays on from there.
    void seek(qint64 ms);
    // Blocks the recording is kept in.
    int blockCount() const;

signals:
    void positionChanged(qint64 ms);
    void playingChanged(bool playing);
    void loadProgress(int percent);
    void loaded(bool ok, QString error);

private:
    struct Block {
        qint64 startMs = 0;
        // The tree before the block's first record (as a data line), and the records: compressed.
        QByteArray keyframe;
        QByteArray records;
    };
    struct Record {
        qint64 ms;
        QByteArray line;
    };
    // A recording read, not yet delivered.
    struct Contents {
        QString path;
        QVector<Block> blocks;
        qint64 duration = 0;
        qint64 startUtcMs = 0;
        QString warning;
        QString error;
    };

    // Reads a whole recording (on any thread); stops early when cancel is set.
    static Contents read(const QString& path, const std::atomic_bool* cancel, const std::function<void(int)>& progress);
    void adopt(Contents contents);
    void loadDone();

    void tick();
    qint64 playedTo() const;
    bool loadBlock(int index);
    // Hands lines to the client as one read; a login reply becomes the deletions that emptied its tree.
    void deliver(const QVector<const Record*>& records);
    void emptyClient();

    V2_Client* m_client;
    QVector<Block> m_blocks;
    qint64 m_duration = 0;
    qint64 m_startUtcMs = 0;
    QString m_path;
    QString m_warning;
    bool m_open = false;
    // The play cursor: a block's records, unpacked, and the next one to deliver.
    int m_block = -1;
    QVector<Record> m_records;
    int m_next = 0;
    qint64 m_position = 0;
    double m_speed = 1.0;
    QElapsedTimer m_wall;
    qint64 m_wallOrigin = 0;
    QTimer m_timer;
    QThread* m_loader = nullptr;
    std::atomic_bool m_cancel{false};
    std::unique_ptr<Contents> m_loadedContents;
};
