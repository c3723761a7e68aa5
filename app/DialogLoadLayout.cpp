#include "DialogLoadLayout.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>

DialogLoadLayout::DialogLoadLayout(QWidget* parent)
    : LayoutDialog(parent)
{
    setWindowTitle(tr("Set layout"));
    resize(259, 80);
    setMinimumSize(259, 80);
    m_label->setText(tr("Layout :"));
    auto* layout = new QGridLayout(this);
    layout->addWidget(m_label, 0, 0);
    layout->addWidget(m_comboBox, 0, 1);
    layout->addWidget(m_buttonBox, 1, 0, 1, 2);
    layout->setColumnStretch(1, 1);
}

DialogLoadLayout::~DialogLoadLayout() = default;
