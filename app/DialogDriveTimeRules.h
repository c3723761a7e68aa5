#pragma once

#include "DriveTimeRules.h"

#include <QDialog>
#include <QStringList>

class QCheckBox;
class QComboBox;
class QDateTimeEdit;
class QSpinBox;
class QTableWidget;

// Edits the event's drive-time rules: the limits in minutes, the pit-lane
// rule, the margin, per-class overrides (an empty cell keeps the event's
// value) and the race's end for a session that gives none; exports and
// imports them as a JSON file. A broken file is refused with its reason and
// the rules in the dialog stay as they were.
class DialogDriveTimeRules final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY(DialogDriveTimeRules)

public:
    DialogDriveTimeRules(const DriveTimeRules& rules, const QStringList& classes, QWidget* parent = nullptr);
    ~DialogDriveTimeRules() override;

    DriveTimeRules rules() const;
    void setRules(const DriveTimeRules& rules);

    bool exportTo(const QString& path, QString* error) const;
    bool importFrom(const QString& path, QString* error);

private slots:
    void exportFile();
    void importFile();

private:
    QSpinBox* m_minTotal;
    QSpinBox* m_maxTotal;
    QSpinBox* m_maxContinuous;
    QSpinBox* m_minRest;
    QSpinBox* m_nearMargin;
    QComboBox* m_pitTime;
    QSpinBox* m_swapTime;
    QTableWidget* m_classes;
    QCheckBox* m_hasEnd;
    QDateTimeEdit* m_end;
    QStringList m_knownClasses;
};
