#include "DialogScaleFactor.h"

#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QGridLayout>
#include <QLabel>

DialogScaleFactor::DialogScaleFactor(double value, QWidget* parent)
    : QDialog(parent)
    , m_spinBox(new QDoubleSpinBox(this))
    , m_restartNote(new QLabel(tr("Application restart needed to apply changes"), this))
{
    setWindowTitle(tr("Scale factor"));
    resize(268, 103);
    auto* label = new QLabel(tr("Application scale factor:"), this);
    label->setObjectName(QStringLiteral("label"));
    m_spinBox->setObjectName(QStringLiteral("doubleSpinBox"));
    m_spinBox->setRange(1.0, 10.0);
    m_spinBox->setSingleStep(0.1);
    m_spinBox->setDecimals(2);
    m_restartNote->setObjectName(QStringLiteral("label_2"));
    m_restartNote->setStyleSheet(QStringLiteral("color: rgb(213, 0, 0);"));
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, Qt::Horizontal, this);
    buttons->setObjectName(QStringLiteral("buttonBox"));

    auto* layout = new QGridLayout(this);
    layout->addWidget(label, 0, 0);
    layout->addWidget(m_spinBox, 0, 1);
    layout->addWidget(m_restartNote, 1, 0, 1, 2);
    layout->addWidget(buttons, 2, 0, 1, 2);

    m_spinBox->setValue(value);
    m_restartNote->hide();
    connect(m_spinBox, QOverload<double>::of(&QDoubleSpinBox::valueChanged), this, &DialogScaleFactor::on_doubleSpinBox_valueChanged);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

DialogScaleFactor::~DialogScaleFactor() = default;

double DialogScaleFactor::value() const
{
    return m_spinBox->value();
}

void DialogScaleFactor::on_doubleSpinBox_valueChanged(double)
{
    m_restartNote->show();
}
