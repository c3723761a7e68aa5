#include "LayoutDialog.h"

#include "AppSettings.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QSettings>

const QString LayoutDialog::kLayoutsGroup = QStringLiteral("layouts");

LayoutDialog::LayoutDialog(QWidget* parent)
    : QDialog(parent)
    , m_label(new QLabel(this))
    , m_comboBox(new QComboBox(this))
    , m_buttonBox(new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, Qt::Horizontal, this))
{
    m_label->setObjectName(QStringLiteral("label"));
    m_comboBox->setObjectName(QStringLiteral("comboBox"));
    m_buttonBox->setObjectName(QStringLiteral("buttonBox"));
    const auto settings = AppSettings::open();
    settings->beginGroup(kLayoutsGroup);
    m_comboBox->addItems(settings->childGroups());
    settings->endGroup();
    m_selectedName = m_comboBox->currentText();
    connect(m_comboBox, QOverload<int>::of(&QComboBox::currentIndexChanged), this, [this](int index) { on_comboBox_currentIndexChanged(m_comboBox->itemText(index)); });
    connect(m_buttonBox, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(m_buttonBox, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

LayoutDialog::~LayoutDialog() = default;

void LayoutDialog::preselect(const QString& name)
{
    const int index = m_comboBox->findText(name, Qt::MatchExactly | Qt::MatchCaseSensitive);
    if (index >= 0)
        m_comboBox->setCurrentIndex(index);
}

QString LayoutDialog::selectedName() const
{
    return m_selectedName;
}

void LayoutDialog::on_comboBox_currentIndexChanged(const QString& text)
{
    m_selectedName = text;
}
