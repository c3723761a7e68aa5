#pragma once

#include "ToolWindow.h"

class ResizableQlabelImage;
class V2DataProvider;

// The pit-lane entry and exit lights: red, green or off.
class WidgetPitLights final : public ToolWindow
{
    Q_OBJECT
    Q_DISABLE_COPY(WidgetPitLights)

public:
    WidgetPitLights(V2DataProvider* provider, QWidget* parent = nullptr);
    ~WidgetPitLights() override;

    // The pictures shown now, entry then exit.
    QStringList shownPictures() const;

public slots:
    void processUpdate();

private:
    V2DataProvider* m_provider;
    ResizableQlabelImage* m_entry;
    ResizableQlabelImage* m_exit;
    QString m_entryPicture;
    QString m_exitPicture;
};
