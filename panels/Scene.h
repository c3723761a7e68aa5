#pragma once

#include <QGraphicsScene>
#include <QList>
#include <QMap>
#include <QPixmap>
#include <QStringList>

class ParticipantsItem;
class PositioningController;
class QGraphicsPixmapItem;
class QGraphicsRectItem;
class V2DataProvider;

// The track map's scene (1920 x 1080): background, tarmac tinted by the
// track flag, section lights, track, legend and the cars on top.
class Scene final : public QGraphicsScene
{
    Q_OBJECT
    Q_DISABLE_COPY(Scene)

public:
    static constexpr int kWidth = 1920;
    static constexpr int kHeight = 1080;

    explicit Scene(QObject* parent = nullptr);
    ~Scene() override;

    void setup(PositioningController* controller, V2DataProvider* provider);
    void setItemScale(double scale);
    double itemScale() const;
    void setVisibleNumbers(const QStringList& numbers);
    void setShowBackground(bool show);
    void setShowLabels(bool show);
    bool showLabels() const;
    void setShowUnknown(bool show);

    ParticipantsItem* participantsItem() const;
    QGraphicsPixmapItem* tarmacItem() const;
    QGraphicsPixmapItem* backgroundItem() const;
    const QMap<QString, QGraphicsPixmapItem*>& sectionItems() const;

    // The tarmac picture in the colour of a track flag: grey under white,
    // tinted under red, yellow and magenta, black for any other flag. The
    // picture's transparency is kept.
    static QPixmap tinted(const QPixmap& tarmac, int trackFlag);

signals:
    void updateItems();

public slots:
    void onUpdateItems();
    void onUpdateTrackImages();
    void onUpdateSections();
    void onUpdateCurrentTrackFlag();

private:
    void applySectionStates();

    PositioningController* m_controller = nullptr;
    QGraphicsPixmapItem* m_background;
    QGraphicsRectItem* m_shade;
    QGraphicsPixmapItem* m_tarmac;
    QGraphicsPixmapItem* m_track;
    QList<QGraphicsPixmapItem*> m_legend;
    QMap<QString, QGraphicsPixmapItem*> m_sections;
    ParticipantsItem* m_participants;
    QPixmap m_untintedTarmac;
    bool m_showLabels = true;
};
