#include "DialogSaveLayout.h"

#include "AppSettings.h"
#include "BuiltInLayouts.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QInputDialog>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QSettings>

DialogSaveLayout::DialogSaveLayout(QWidget* parent)
    : LayoutDialog(parent)
{
    setWindowTitle(tr("Save layout"));
    resize(322, 86);
    setMinimumSize(322, 86);
    m_label->setText(tr("Layout :"));
    // Rewritten at every start, a built-in layout would lose what is saved under its name.
    for (const QString& name : BuiltInLayouts::names()) {
        const int index = m_comboBox->findText(name, Qt::MatchExactly | Qt::MatchCaseSensitive);
        if (index >= 0)
            m_comboBox->removeItem(index);
    }
    auto* remove = new QPushButton(QStringLiteral("-"), this);
    remove->setObjectName(QStringLiteral("pushButtonDeleteLayout"));
    auto* add = new QPushButton(QStringLiteral("+"), this);
    add->setObjectName(QStringLiteral("pushButtonNewLayout"));
    for (QPushButton* button : {remove, add}) {
        button->setAutoDefault(false);
        button->setFixedWidth(28);
    }
    auto* layout = new QGridLayout(this);
    layout->addWidget(m_label, 0, 0);
    layout->addWidget(m_comboBox, 0, 1);
    layout->addWidget(remove, 0, 2);
    layout->addWidget(add, 0, 3);
    layout->addWidget(m_buttonBox, 1, 0, 1, 4);
    layout->setColumnStretch(1, 1);
    // Tab follows the form: the list, "-", "+", then OK and Cancel (the box is made first).
    setTabOrder(m_comboBox, remove);
    setTabOrder(remove, add);
    setTabOrder(add, m_buttonBox);
    connect(remove, &QPushButton::clicked, this, &DialogSaveLayout::on_pushButtonDeleteLayout_clicked);
    connect(add, &QPushButton::clicked, this, &DialogSaveLayout::on_pushButtonNewLayout_clicked);
}

DialogSaveLayout::~DialogSaveLayout() = default;

void DialogSaveLayout::preselect(const QString& name)
{
    if (!BuiltInLayouts::isBuiltIn(name)) {
        LayoutDialog::preselect(name);
        return;
    }
    const QString own = tr("%1 (mine)").arg(name);
    if (m_comboBox->findText(own, Qt::MatchExactly | Qt::MatchCaseSensitive) < 0)
        m_comboBox->addItem(own);
    LayoutDialog::preselect(own);
}

void DialogSaveLayout::on_pushButtonDeleteLayout_clicked()
{
    const QString name = m_comboBox->currentText();
    if (name == QLatin1String("default")) {
        QMessageBox::information(this, tr("Layout delete"), tr("Default layout cannot be deleted"));
        return;
    }
    if (QMessageBox::question(this, tr("Layout delete"), tr("Are you sure to delete layout?"), QMessageBox::Yes | QMessageBox::No, QMessageBox::No)
        != QMessageBox::Yes)
        return;
    if (!name.isEmpty()) {
        const auto settings = AppSettings::open();
        settings->beginGroup(kLayoutsGroup);
        settings->remove(name);
        settings->endGroup();
    }
    m_comboBox->removeItem(m_comboBox->currentIndex());
}

void DialogSaveLayout::on_pushButtonNewLayout_clicked()
{
    bool ok = false;
    const QString name = QInputDialog::getText(this, tr("New layout"), tr("Name :"), QLineEdit::Normal, QString(), &ok);
    if (!ok || name.isEmpty())
        return;
    // The store would read a slash as a group inside a group.
    if (name.contains(QLatin1Char('/')) || name.contains(QLatin1Char('\\'))) {
        QMessageBox::information(this, tr("New layout"), tr("A layout name cannot contain / or \\."));
        return;
    }
    if (BuiltInLayouts::isBuiltIn(name)) {
        QMessageBox::information(this, tr("New layout"), tr("\"%1\" is built in and cannot be saved over; choose a name of your own.").arg(name));
        return;
    }
    m_comboBox->addItem(name);
    m_comboBox->setCurrentIndex(m_comboBox->findText(name, Qt::MatchExactly | Qt::MatchCaseSensitive));
}
