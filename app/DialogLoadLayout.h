#pragma once

#include "LayoutDialog.h"

// Chooses the layout to use ("Set...").
class DialogLoadLayout final : public LayoutDialog
{
    Q_OBJECT
    Q_DISABLE_COPY(DialogLoadLayout)

public:
    explicit DialogLoadLayout(QWidget* parent = nullptr);
    ~DialogLoadLayout() override;
};
