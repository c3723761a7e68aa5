#pragma once

#include "TablePanel.h"

class DriveTimeRules;
class ModelDriveTime;
class QComboBox;
class QLabel;
class QTableView;
class QVBoxLayout;
class V2DataProvider;

// Drive time against the event's rules: each followed car's drivers (and
// one more car chosen from the entry), their state, and per car whether
// every driver can still reach the minimum. Made to be read from a distance.
class WidgetDriveTime final : public TablePanel
{
    Q_OBJECT
    Q_DISABLE_COPY(WidgetDriveTime)

public:
    WidgetDriveTime(V2DataProvider* provider, QWidget* parent = nullptr);
    ~WidgetDriveTime() override;

    ModelDriveTime* model() const;
    QComboBox* carList() const;
    QTableView* table() const;
    // The feasibility line of each car shown, in the table's order.
    QList<QLabel*> feasibilityLines() const;
    void setRules(const DriveTimeRules& rules);
    // Adds this car to the followed ones shown, as if chosen from the list; false when it is not listed.
    bool setCar(const QString& car);

public slots:
    void refillCars();

private slots:
    void showCarLines();
    void applySkin(const QString& skin);

protected:
    void textScaleChanged(qreal oldScale) override;

private:
    // The panel font made larger, to be read from across the garage.
    static QFont largeType(double scale, bool bold);

    V2DataProvider* m_provider;
    ModelDriveTime* m_model;
    QComboBox* m_cars;
    QTableView* m_table;
    QVBoxLayout* m_lines;
    QList<QLabel*> m_lineLabels;
    QString m_skin;
};
