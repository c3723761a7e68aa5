#pragma once

#include "AlertRules.h"

#include <QDialog>
#include <QVector>

class QCheckBox;
class QComboBox;

// Edits the alert rules: a row per rule of the catalogue (on or off, its
// parameters, severity, notification, sound), and exports or imports them
// as a rules file. A file refused on import is named in a message box and
// changes nothing.
class DialogAlertRules final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY(DialogAlertRules)

public:
    explicit DialogAlertRules(const AlertRules& rules, QWidget* parent = nullptr);
    ~DialogAlertRules() override;

    // The rules as the dialog's widgets hold them.
    AlertRules rules() const;
    void setRules(const AlertRules& rules);

    // What the Export... and Import... buttons do once a file is chosen;
    // false after a message box naming the problem.
    bool exportFile(const QString& path);
    bool importFile(const QString& path);

private:
    struct Row
    {
        QCheckBox* enabled = nullptr;
        QComboBox* severity = nullptr;
        QCheckBox* notify = nullptr;
        QCheckBox* sound = nullptr;
        QVector<QWidget*> parameters; // in the catalogue's order
    };

    QVector<Row> m_rows;
};
