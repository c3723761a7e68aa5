#include "PositioningController.h"

#include "ClientV2Controller.h"
#include "V2_Data.h"


namespace {

constexpr int kAbsent = 2147483647;
constexpr quint32 kPinnedStatus = 0x1; // filed under key 0, drawn whatever the filters

void readImage(const V2_Data* node, TrackImage& image)
{
    image.data = node->getString(QStringLiteral("data"));
    image.x = node->getInt(QStringLiteral("x"), kAbsent);
    image.y = node->getInt(QStringLiteral("y"), kAbsent);
    image.width = node->getInt(QStringLiteral("width"), kAbsent);
    image.height = node->getInt(QStringLiteral("height"), kAbsent);
}

// The server sends hexadecimal digits without "#"; an absent or unreadable
// colour keeps the one the record has.
void readColour(const V2_Data* node, const QString& key, QColor& colour)
{
    const QColor read(QLatin1Char('#') + node->getString(key));
    if (read.isValid())
        colour = read;
}

} // namespace

PositioningController::PositioningController(ClientV2Controller* controller, QObject* parent)
    : QObject(parent)
    , m_controller(controller)
{
    if (!controller)
        return;
    // While held a notification is only noted: the mirror holds what it said.
    connect(controller, &ClientV2Controller::updateTrackImages, this, [this](V2_Data* node) {
        if (!owedWhileHeld())
            onUpdateTrackImages(node);
    });
    connect(controller, &ClientV2Controller::updateFlag, this, [this](int status) {
        if (!owedWhileHeld())
            onUpdateFlag(status);
    });
    connect(controller, &ClientV2Controller::updateSectionStatus, this, [this](V2_Data* node) {
        if (!owedWhileHeld())
            onUpdateSections(node);
    });
    connect(controller, &ClientV2Controller::updateParticipants, this, [this](V2_Data* node) {
        if (!owedWhileHeld())
            onUpdateParticipants(node);
    });
    // clearParticipants stays unconnected: the map keeps the last cars it had.
}

PositioningController::~PositioningController() = default;

bool PositioningController::owedWhileHeld()
{
    m_owed = m_owed || m_held;
    return m_held;
}

void PositioningController::setHeld(bool held)
{
    m_held = held;
    if (!held && m_owed) {
        m_owed = false;
        refresh();
        if (m_controller) {
            // The cars as the mirror holds them; none there keeps the last ones, as a live map does.
            if (V2_Data* cars = m_controller->getCurrentData()->getV2_Data(QStringLiteral("positioning.participants")))
                onUpdateParticipants(cars);
        }
    }
}

bool PositioningController::isHeld() const
{
    return m_held;
}

void PositioningController::refresh()
{
    if (!m_controller)
        return;
    V2_Data* current = m_controller->getCurrentData();
    if (V2_Data* sections = current->getV2_Data(QStringLiteral("positioning.track.sectionStatus")))
        onUpdateSections(sections);
    if (V2_Data* track = current->getV2_Data(QStringLiteral("positioning.track"))) {
        m_currentTrackFlag = track->getInt(QStringLiteral("trackStatus"), kAbsent);
        emit updateCurrentTrackFlag();
    }
    if (V2_Data* images = current->getV2_Data(QStringLiteral("positioning.track.images")))
        onUpdateTrackImages(images);
}

const TrackImage& PositioningController::background() const
{
    return m_background;
}

const TrackImage& PositioningController::tarmac() const
{
    return m_tarmac;
}

const TrackImage& PositioningController::track() const
{
    return m_track;
}

const QMap<QString, TrackImage>& PositioningController::sectionImages() const
{
    return m_sectionImages;
}

const QMap<QString, bool>& PositioningController::sectionStates() const
{
    return m_sectionStates;
}

int PositioningController::currentTrackFlag() const
{
    return m_currentTrackFlag;
}

const PositioningController::Participants& PositioningController::participants() const
{
    return m_participants;
}

void PositioningController::clearAll()
{
}

void PositioningController::clearParticipants()
{
    m_participants.clear();
    emit updateParticipants();
}

void PositioningController::onUpdateParticipants(V2_Data* participants)
{
    m_participants.clear();
    if (!participants) {
        emit updateParticipants();
        return;
    }
    for (auto it = participants->datas()->cbegin(); it != participants->datas()->cend(); ++it) {
        const V2_Data* node = V2_Data::nodeOf(it.value());
        if (!node)
            continue;
        const int overallPos = node->getInt(QStringLiteral("overallPos"), kAbsent);
        // From the defaults: a car sharing a position with another is not that car.
        ParticipantPosition record;
        record.number = it.key();
        readColour(node, QStringLiteral("bgColor"), record.bgColor);
        readColour(node, QStringLiteral("fgColor"), record.fgColor);
        readColour(node, QStringLiteral("lightBgColor"), record.lightBgColor);
        readColour(node, QStringLiteral("lightFgColor"), record.lightFgColor);
        record.overallPos = overallPos;
        record.status = static_cast<quint32>(node->getULongLong(QStringLiteral("status"), ~quint64(0)));
        record.text = node->getString(QStringLiteral("text"));
        record.x = node->getInt(QStringLiteral("x"), kAbsent) / 2;
        record.y = node->getInt(QStringLiteral("y"), kAbsent) / 2;
        m_participants.insert((record.status & kPinnedStatus) ? 0 : overallPos, record);
    }
    // One announcement for the whole update: each one repaints the map and
    // steps the blink.
    emit updateParticipants();
}

void PositioningController::onUpdateSections(V2_Data* sectors)
{
    if (!sectors) {
        m_sectionStates.clear();
    } else {
        for (auto it = sectors->datas()->cbegin(); it != sectors->datas()->cend(); ++it)
            m_sectionStates.insert(it.key(), it.value() && it.value()->toBool());
    }
    emit updateSections();
}

void PositioningController::onUpdateFlag(int trackStatus)
{
    m_currentTrackFlag = trackStatus;
    emit updateCurrentTrackFlag();
}

void PositioningController::onUpdateTrackImages(V2_Data* trackImagesData)
{
    if (!trackImagesData) {
        m_background.data.clear();
        m_tarmac.data.clear();
        m_track.data.clear();
        m_sectionImages.clear();
        emit updateTrackImages();
        return;
    }
    const std::pair<const char*, TrackImage*> layers[] = {{"background", &m_background}, {"track", &m_track}, {"tarmac", &m_tarmac}};
    for (const auto& layer : layers) {
        if (const V2_Data* node = trackImagesData->getInLevelV2_Data(QLatin1String(layer.first)))
            readImage(node, *layer.second);
        else
            layer.second->data.clear();
    }
    m_sectionImages.clear();
    if (const V2_Data* sections = trackImagesData->getInLevelV2_Data(QStringLiteral("sections"))) {
        for (auto it = sections->datas()->cbegin(); it != sections->datas()->cend(); ++it) {
            if (const V2_Data* node = V2_Data::nodeOf(it.value()))
                readImage(node, m_sectionImages[it.key()]);
        }
    }
    emit updateTrackImages();
}
