#pragma once

#include "LayoutDialog.h"

class QPushButton;

// Chooses the name to save the current arrangement under ("Save..."); new
// names can be added and saved layouts deleted ("default" excepted). The
// built-in layouts are not offered: an arrangement made from one is saved
// under a name of the user's own, "<name> (mine)" suggested.
class DialogSaveLayout final : public LayoutDialog
{
    Q_OBJECT
    Q_DISABLE_COPY(DialogSaveLayout)

public:
    explicit DialogSaveLayout(QWidget* parent = nullptr);
    ~DialogSaveLayout() override;

    void preselect(const QString& name) override;

private slots:
    void on_pushButtonDeleteLayout_clicked();
    void on_pushButtonNewLayout_clicked();
};
