#pragma once

#include "ParticipantPosition.h"
#include "TrackImage.h"

#include <QMap>
#include <QMultiMap>
#include <QObject>

class ClientV2Controller;
class V2_Data;

// Turns the connection controller's positioning notifications into the
// track map's state: the pictures, the section lights, the track flag and
// the cars. Positions arrive in a space twice the scene's size and are
// halved here.
class PositioningController final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY(PositioningController)

public:
    using Participants = QMultiMap<int, ParticipantPosition>;

    PositioningController(ClientV2Controller* controller, QObject* parent = nullptr);
    ~PositioningController() override;

    // Applies what the mirror already holds, so that a panel opened late
    // (or shown again) shows the track and the cars at once.
    void refresh();
    // Held (the map cannot be seen), notifications are only noted; released,
    // the mirror is read once, at once.
    void setHeld(bool held);
    bool isHeld() const;

    const TrackImage& background() const;
    const TrackImage& tarmac() const;
    const TrackImage& track() const;
    const QMap<QString, TrackImage>& sectionImages() const;
    const QMap<QString, bool>& sectionStates() const;
    int currentTrackFlag() const;
    const Participants& participants() const;

signals:
    void updateParticipants();
    void updateTrackImages();
    void updateSections();
    void updateCurrentTrackFlag();

public slots:
    void clearAll();
    void clearParticipants();
    void onUpdateParticipants(V2_Data* participants);
    void onUpdateSections(V2_Data* sectors);
    void onUpdateFlag(int trackStatus);
    void onUpdateTrackImages(V2_Data* trackImagesData);

private:
    bool owedWhileHeld();

    ClientV2Controller* m_controller;
    TrackImage m_background;
    TrackImage m_tarmac;
    TrackImage m_track;
    QMap<QString, TrackImage> m_sectionImages;
    QMap<QString, bool> m_sectionStates;
    int m_currentTrackFlag = 1;
    Participants m_participants;
    bool m_held = false;
    bool m_owed = false;
};
