#include "DialogAlertRules.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFileDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include <cmath>

namespace {

using Type = AlertRules::ParameterType;

constexpr int kMaxDecimals = 6;

const AlertSeverity kSeverities[] = { AlertSeverity::Info, AlertSeverity::Warning, AlertSeverity::Critical };

QWidget* makeEditor(const AlertRules::Parameter& parameter, QWidget* parent)
{
    switch (parameter.type) {
    case Type::Integer: {
        auto* box = new QSpinBox(parent);
        box->setRange(int(parameter.minimum), int(parameter.maximum));
        return box;
    }
    case Type::Number: {
        auto* box = new QDoubleSpinBox(parent);
        box->setRange(parameter.minimum, parameter.maximum);
        box->setDecimals(1);
        box->setSingleStep(parameter.maximum > 100 ? 1.0 : 0.1);
        return box;
    }
    case Type::Choice: {
        auto* box = new QComboBox(parent);
        for (const QString& choice : AlertRules::choices(parameter))
            box->addItem(QCoreApplication::translate("AlertRules", choice.toLatin1().constData()), choice);
        return box;
    }
    case Type::Text:
        return new QLineEdit(parent);
    }
    return nullptr;
}

void setEditor(QWidget* editor, const AlertRules::Parameter& parameter, const QVariant& value)
{
    switch (parameter.type) {
    case Type::Integer:
        static_cast<QSpinBox*>(editor)->setValue(value.toInt());
        break;
    case Type::Number: {
        // As many decimals as the value holds (an imported 0.25 stays 0.25,
        // not 0.3), at least one, so OK keeps what was shown.
        auto* box = static_cast<QDoubleSpinBox*>(editor);
        const double number = value.toDouble();
        int decimals = 1;
        while (decimals < kMaxDecimals && std::abs(std::round(number * std::pow(10.0, decimals)) - number * std::pow(10.0, decimals)) > 1e-6)
            ++decimals;
        box->setDecimals(decimals);
        box->setValue(number);
        break;
    }
    case Type::Choice: {
        auto* box = static_cast<QComboBox*>(editor);
        box->setCurrentIndex(qMax(0, box->findData(value.toString())));
        break;
    }
    case Type::Text:
        static_cast<QLineEdit*>(editor)->setText(value.toString());
        break;
    }
}

QVariant editorValue(QWidget* editor, const AlertRules::Parameter& parameter)
{
    switch (parameter.type) {
    case Type::Integer:
        return static_cast<QSpinBox*>(editor)->value();
    case Type::Number:
        return static_cast<QDoubleSpinBox*>(editor)->value();
    case Type::Choice:
        return static_cast<QComboBox*>(editor)->currentData().toString();
    case Type::Text:
        return static_cast<QLineEdit*>(editor)->text();
    }
    return {};
}

} // namespace

DialogAlertRules::DialogAlertRules(const AlertRules& rules, QWidget* parent)
    : QDialog(parent)
{
    setWindowTitle(tr("Alert rules"));
    auto* grid = new QGridLayout;
    int column = 0;
    for (const QString& header : { tr("Rule"), tr("Parameters"), tr("Severity"), tr("Notify"), tr("Sound") }) {
        auto* label = new QLabel(QStringLiteral("<b>%1</b>").arg(header), this);
        grid->addWidget(label, 0, column++);
    }
    const QVector<AlertRules::Rule>& catalogue = AlertRules::catalogue();
    for (int i = 0; i < catalogue.size(); ++i) {
        const AlertRules::Rule& rule = catalogue.at(i);
        const QString id = QLatin1String(rule.id);
        Row row;
        row.enabled = new QCheckBox(QCoreApplication::translate("AlertRules", rule.caption), this);
        row.enabled->setObjectName(QStringLiteral("enabled_") + id);
        row.enabled->setToolTip(rule.anyCar ? tr("Any car") : tr("The followed cars"));
        auto* parameters = new QHBoxLayout;
        for (const AlertRules::Parameter& parameter : rule.parameters) {
            QWidget* editor = makeEditor(parameter, this);
            editor->setObjectName(id + QLatin1Char('_') + QLatin1String(parameter.key));
            auto* label = new QLabel(QCoreApplication::translate("AlertRules", parameter.caption), this);
            label->setBuddy(editor);
            parameters->addWidget(label);
            parameters->addWidget(editor);
            row.parameters.append(editor);
        }
        parameters->addStretch();
        row.severity = new QComboBox(this);
        row.severity->setObjectName(QStringLiteral("severity_") + id);
        row.severity->addItems({ tr("Info"), tr("Warning"), tr("Critical") });
        row.notify = new QCheckBox(this);
        row.notify->setObjectName(QStringLiteral("notify_") + id);
        row.notify->setToolTip(tr("Tray notification"));
        row.sound = new QCheckBox(this);
        row.sound->setObjectName(QStringLiteral("sound_") + id);
        row.sound->setToolTip(tr("Short sound"));
        grid->addWidget(row.enabled, i + 1, 0);
        grid->addLayout(parameters, i + 1, 1);
        grid->addWidget(row.severity, i + 1, 2);
        grid->addWidget(row.notify, i + 1, 3, Qt::AlignCenter);
        grid->addWidget(row.sound, i + 1, 4, Qt::AlignCenter);
        m_rows.append(row);
    }

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, Qt::Horizontal, this);
    buttons->setObjectName(QStringLiteral("buttonBox"));
    QPushButton* exportButton = buttons->addButton(tr("Export..."), QDialogButtonBox::ActionRole);
    exportButton->setObjectName(QStringLiteral("exportButton"));
    QPushButton* importButton = buttons->addButton(tr("Import..."), QDialogButtonBox::ActionRole);
    importButton->setObjectName(QStringLiteral("importButton"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    const QString filter = tr("Alert rules (*.json);;All files (*)");
    connect(exportButton, &QPushButton::clicked, this, [this, filter] {
        const QString path = QFileDialog::getSaveFileName(this, tr("Export alert rules"), QString(), filter);
        if (!path.isEmpty())
            exportFile(path);
    });
    connect(importButton, &QPushButton::clicked, this, [this, filter] {
        const QString path = QFileDialog::getOpenFileName(this, tr("Import alert rules"), QString(), filter);
        if (!path.isEmpty())
            importFile(path);
    });

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addWidget(buttons);
    setRules(rules);
}

DialogAlertRules::~DialogAlertRules() = default;

AlertRules DialogAlertRules::rules() const
{
    AlertRules rules;
    const QVector<AlertRules::Rule>& catalogue = AlertRules::catalogue();
    for (int i = 0; i < m_rows.size(); ++i) {
        const Row& row = m_rows.at(i);
        AlertRules::Values values;
        values.enabled = row.enabled->isChecked();
        values.severity = kSeverities[qBound(0, row.severity->currentIndex(), 2)];
        values.notify = row.notify->isChecked();
        values.sound = row.sound->isChecked();
        for (int p = 0; p < row.parameters.size(); ++p) {
            const AlertRules::Parameter& parameter = catalogue.at(i).parameters.at(p);
            values.parameters.insert(QLatin1String(parameter.key), editorValue(row.parameters.at(p), parameter));
        }
        rules.setValues(i, values);
    }
    return rules;
}

void DialogAlertRules::setRules(const AlertRules& rules)
{
    const QVector<AlertRules::Rule>& catalogue = AlertRules::catalogue();
    for (int i = 0; i < m_rows.size(); ++i) {
        const Row& row = m_rows.at(i);
        const AlertRules::Values& values = rules.values(i);
        row.enabled->setChecked(values.enabled);
        row.severity->setCurrentIndex(int(values.severity));
        row.notify->setChecked(values.notify);
        row.sound->setChecked(values.sound);
        for (int p = 0; p < row.parameters.size(); ++p) {
            const AlertRules::Parameter& parameter = catalogue.at(i).parameters.at(p);
            setEditor(row.parameters.at(p), parameter, values.parameters.value(QLatin1String(parameter.key)));
        }
    }
}

bool DialogAlertRules::exportFile(const QString& path)
{
    QString error;
    if (rules().exportTo(path, &error))
        return true;
    QMessageBox::warning(this, tr("Export alert rules"), error);
    return false;
}

bool DialogAlertRules::importFile(const QString& path)
{
    AlertRules imported = rules();
    QString error;
    if (!imported.importFrom(path, &error)) {
        QMessageBox::warning(this, tr("Import alert rules"), tr("The rules were not imported, nothing changed.\n\n%1").arg(error));
        return false;
    }
    setRules(imported);
    return true;
}
