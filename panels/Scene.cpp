#include "Scene.h"

#include "ParticipantsItem.h"
#include "PositioningController.h"

#include <QGraphicsPixmapItem>
#include <QGraphicsRectItem>
#include <QPainter>

namespace {

enum Stacking {
    BackgroundLayer = 0,
    ShadeLayer = 2,
    TarmacLayer = 3,
    TrackLayer = 4,
    LegendLayer = 5,
    ParticipantsLayer = 50,
};

QPixmap decoded(const TrackImage& image)
{
    QPixmap picture;
    if (!image.data.isEmpty())
        picture.loadFromData(QByteArray::fromBase64(image.data.toLatin1()), "PNG");
    return picture;
}

QGraphicsPixmapItem* pictureItem(QGraphicsScene* scene, int z)
{
    auto* item = scene->addPixmap(QPixmap());
    item->setZValue(z);
    item->setCacheMode(QGraphicsItem::DeviceCoordinateCache);
    item->setTransformationMode(Qt::SmoothTransformation);
    return item;
}

void place(QGraphicsPixmapItem* item, const TrackImage& image)
{
    item->setPixmap(decoded(image));
    item->setPos(image.x / 2, image.y / 2);
}

} // namespace

Scene::Scene(QObject* parent)
    : QGraphicsScene(0, 0, kWidth, kHeight, parent)
    , m_background(pictureItem(this, BackgroundLayer))
    , m_shade(addRect(QRectF(0, 0, kWidth, kHeight), Qt::NoPen, QColor(0, 0, 0, 150)))
    , m_tarmac(pictureItem(this, TarmacLayer))
    , m_track(pictureItem(this, TrackLayer))
    , m_participants(new ParticipantsItem)
{
    setItemIndexMethod(QGraphicsScene::NoIndex);
    m_shade->setZValue(ShadeLayer);
    const std::pair<const char*, QPointF> legend[] = {
        {":/icons/Resources/inPit.png", {111, 18}},
        {":/icons/Resources/stopped.png", {1590, 18}},
        {":/icons/Resources/retired.png", {1590, 540}},
    };
    for (const auto& entry : legend) {
        auto* item = new QGraphicsPixmapItem(QPixmap(QLatin1String(entry.first)));
        item->setPos(entry.second);
        item->setScale(1.5);
        item->setZValue(LegendLayer);
        item->setCacheMode(QGraphicsItem::DeviceCoordinateCache);
        item->setTransformationMode(Qt::SmoothTransformation);
        m_legend.append(item);
        addItem(item);
    }
    m_participants->setZValue(ParticipantsLayer);
    addItem(m_participants);
}

Scene::~Scene()
{
    // The legend is owned here while it is out of the scene.
    if (!m_showLabels)
        qDeleteAll(m_legend);
}

void Scene::setup(PositioningController* controller, V2DataProvider* provider)
{
    m_controller = controller;
    connect(controller, &PositioningController::updateTrackImages, this, &Scene::onUpdateTrackImages);
    connect(controller, &PositioningController::updateSections, this, &Scene::onUpdateSections);
    connect(controller, &PositioningController::updateCurrentTrackFlag, this, &Scene::onUpdateCurrentTrackFlag);
    connect(controller, &PositioningController::updateParticipants, this, &Scene::onUpdateItems);
    m_participants->setParticipants(&controller->participants());
    if (provider)
        m_participants->setProvider(provider);
}

void Scene::setItemScale(double scale)
{
    m_participants->setItemScale(scale);
}

double Scene::itemScale() const
{
    return m_participants->itemScale();
}

void Scene::setVisibleNumbers(const QStringList& numbers)
{
    m_participants->setVisibleNumbers(numbers);
}

void Scene::setShowBackground(bool show)
{
    m_background->setVisible(show);
}

void Scene::setShowLabels(bool show)
{
    if (show == m_showLabels)
        return;
    m_showLabels = show;
    for (QGraphicsPixmapItem* item : qAsConst(m_legend)) {
        if (show)
            addItem(item);
        else
            removeItem(item);
    }
}

bool Scene::showLabels() const
{
    return m_showLabels;
}

void Scene::setShowUnknown(bool show)
{
    m_participants->setShowUnknown(show);
}

ParticipantsItem* Scene::participantsItem() const
{
    return m_participants;
}

QGraphicsPixmapItem* Scene::tarmacItem() const
{
    return m_tarmac;
}

QGraphicsPixmapItem* Scene::backgroundItem() const
{
    return m_background;
}

const QMap<QString, QGraphicsPixmapItem*>& Scene::sectionItems() const
{
    return m_sections;
}

void Scene::onUpdateItems()
{
    m_participants->markersChanged();
}

void Scene::onUpdateTrackImages()
{
    if (!m_controller)
        return;
    place(m_background, m_controller->background());
    place(m_track, m_controller->track());
    place(m_tarmac, m_controller->tarmac());
    m_untintedTarmac = m_tarmac->pixmap();
    qDeleteAll(m_sections);
    m_sections.clear();
    const QMap<QString, TrackImage>& sections = m_controller->sectionImages();
    for (auto it = sections.cbegin(); it != sections.cend(); ++it) {
        QGraphicsPixmapItem* item = pictureItem(this, TarmacLayer);
        place(item, it.value());
        item->setVisible(false);
        m_sections.insert(it.key(), item);
    }
    applySectionStates();
    onUpdateCurrentTrackFlag();
}

void Scene::onUpdateSections()
{
    applySectionStates();
}

void Scene::applySectionStates()
{
    if (!m_controller)
        return;
    const QMap<QString, bool>& states = m_controller->sectionStates();
    for (auto it = states.cbegin(); it != states.cend(); ++it) {
        if (QGraphicsPixmapItem* item = m_sections.value(it.key()))
            item->setVisible(it.value());
    }
}

void Scene::onUpdateCurrentTrackFlag()
{
    m_tarmac->setVisible(true);
    if (m_controller)
        m_tarmac->setPixmap(tinted(m_untintedTarmac, m_controller->currentTrackFlag()));
}

QPixmap Scene::tinted(const QPixmap& tarmac, int trackFlag)
{
    if (tarmac.isNull())
        return tarmac;
    QColor colour = Qt::black;
    switch (trackFlag) {
    case 5:
        colour = Qt::red;
        break;
    case 3:
        colour = Qt::yellow;
        break;
    case 4:
    case 8:
        colour = Qt::white;
        break;
    case 7:
        colour = Qt::magenta;
        break;
    default:
        break;
    }
    const QImage original = tarmac.toImage();
    QImage result(original.size(), QImage::Format_ARGB32_Premultiplied);
    result.fill(Qt::transparent);
    QPainter painter(&result);
    painter.drawImage(0, 0, original.convertToFormat(QImage::Format_Grayscale8));
    painter.setCompositionMode(QPainter::RasterOp_SourceAndDestination);
    painter.fillRect(result.rect(), colour);
    // The greyscale copy lost the transparency around the track.
    painter.setCompositionMode(QPainter::CompositionMode_DestinationIn);
    painter.drawImage(0, 0, original);
    painter.end();
    return QPixmap::fromImage(result);
}
