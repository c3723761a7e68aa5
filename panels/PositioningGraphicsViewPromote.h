#pragma once

#include <QGraphicsView>

// The track map's view: scales the 1920 x 1080 scene to its size and draws
// through OpenGL or a plain viewport.
class PositioningGraphicsViewPromote final : public QGraphicsView
{
    Q_OBJECT
    Q_DISABLE_COPY(PositioningGraphicsViewPromote)

public:
    explicit PositioningGraphicsViewPromote(QWidget* parent = nullptr);
    ~PositioningGraphicsViewPromote() override;

    void setUseOpenGL(bool on);
    bool useOpenGL() const;
    // Whether the viewport is an OpenGL one with a working context.
    bool isOpenGLValid() const;

    // The zoom for a view of that size: the whole scene fits when the view
    // is smaller in both directions and fills it when larger in both.
    static double scaleFactor(const QSize& size);

protected:
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void leaveFillToView();

    bool m_useOpenGL = true;
};
