#pragma once

#include "TablePanel.h"

#include <QStringList>
#include <QVector>

class ModelSessionStandingBySector;
class QLabel;
class QTableView;
class QVBoxLayout;
class V2DataProvider;

// Every class at once, one compact table each, in the provider's class
// order: position in class, number, name, laps, gap to the class leader,
// interval, last lap and best lap.
class WidgetClassResults final : public TablePanel
{
    Q_OBJECT
    Q_DISABLE_COPY(WidgetClassResults)

public:
    WidgetClassResults(V2DataProvider* provider, QWidget* parent = nullptr);
    ~WidgetClassResults() override;

    QStringList shownClasses() const;
    QTableView* table(int index) const;
    ModelSessionStandingBySector* model(int index) const;

public slots:
    // One table per class; tables of classes that went are removed.
    void updateClasses();

protected:
    void textScaleChanged(qreal oldScale) override;
    // Every class table shows the same columns.
    void columnChoiceChanged(QTableView* view) override;

private:
    struct ClassTable {
        QString name;
        QWidget* box = nullptr;
        QTableView* table = nullptr;
        ModelSessionStandingBySector* model = nullptr;
    };

    V2DataProvider* m_provider;
    QVBoxLayout* m_tablesLayout;
    QVector<ClassTable> m_classes;
};
