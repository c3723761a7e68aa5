#pragma once

#include <QDialog>

class QComboBox;
class QDialogButtonBox;
class QLabel;

// What the two layout dialogs share: a combo box listing the saved layouts
// (the child groups of "layouts" in the settings store) and the name the
// user selected.
class LayoutDialog : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY(LayoutDialog)

public:
    // The settings group holding the named layouts, one child group each.
    static const QString kLayoutsGroup;

    ~LayoutDialog() override;

    // Selects the item whose text is exactly this name, if there is one.
    virtual void preselect(const QString& name);
    QString selectedName() const;

protected:
    explicit LayoutDialog(QWidget* parent);

    QLabel* m_label;
    QComboBox* m_comboBox;
    QDialogButtonBox* m_buttonBox;

private slots:
    void on_comboBox_currentIndexChanged(const QString& text);

private:
    QString m_selectedName;
};
