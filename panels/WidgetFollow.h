#pragma once

#include "ToolWindow.h"

#include <QList>

class QPushButton;
class QSpacerItem;
class QVBoxLayout;
class V2DataProvider;
class WidgetCarFollow;

// The follow blocks of the team's own cars, one under the other, with a
// button to add one more. Made once and kept for the whole run.
class WidgetFollow final : public ToolWindow
{
    Q_OBJECT
    Q_DISABLE_COPY(WidgetFollow)

public:
    WidgetFollow(V2DataProvider* provider, QWidget* parent = nullptr);
    ~WidgetFollow() override;

    void setBikeLayout(bool bikes) override;
    QList<int> followSlots() const override;
    QList<WidgetCarFollow*> blocks() const;
    // Keeps each block's car and colour under its own number (panel id + 1),
    // the number the team's channel knows it by, for the next run.
    static void save(const V2DataProvider& provider, const QList<int>& panelIds);

public slots:
    void on_AddCarToFollow_clicked();
    void removeWidgetCarFollow(int id);
    void updateColumnWidth(int widgetId);
    void addVerticalSpacer();
    void removeVerticalSpacer();

private:
    // The team's channel changed a block: that block, or a new one, takes it.
    void takeOver(int panelId, const QString& pNum, const QColor& color);
    WidgetCarFollow* addBlock(int id, const QColor& color, const QString& pNum);

    V2DataProvider* m_provider;
    QList<WidgetCarFollow*> m_blocks;
    QVBoxLayout* m_blockLayout;
    QSpacerItem* m_spacer = nullptr;
    QPushButton* m_add;
    bool m_bikes = false;
};
