#pragma once

#include "DriveTimeRules.h"

#include <QDialog>
#include <QStringList>

class QCheckBox;
class QComboBox;
class QDateTimeEdit;
class QLabel;
class QSpinBox;
class QTableWidget;

// Edits the event's drive-time rules: the limits in minutes, the pit-lane
// rule, the margin, per-class overrides (an empty cell keeps the event's
// value) and the race's end for a session that gives none, in track time;
// exports and imports them as a JSON file. A broken file is refused with
// its reason and the rules in the dialog stay as they were; so are rules
// the settings could not read back (OK says why and keeps the dialog open).
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

public slots:
    void accept() override;

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
    QLabel* m_problem;
    QStringList m_knownClasses;
    // The track's clock ahead of UTC, as the session gives it: the end is
    // typed in track time and kept in UTC.
    qint64 m_trackOffsetMs;
};
