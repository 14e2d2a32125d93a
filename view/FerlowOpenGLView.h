#pragma once

#include "platform/gl/OpenGLView.h"
#include "scene/Scene.h"

#include <cstdint>
#include <QPointF>
#include <QString>
#include <memory>
#include <string_view>
#include <vector>

class SettingsStore;

// The drawing surface of the main window. It chooses the pixel format, owns
// the one Scene, draws it on request, keeps the scene's viewport in step with
// its size, and turns the mouse into camera moves: a drag orbits the eye
// about the look-at point (one point of travel, one degree), the scroll
// wheel changes the eye's distance. Its key presses are the controller's,
// which watches them.
class FerlowOpenGLView : public OpenGLView {
public:
    // A wheel turned away from the user brings the eye closer.
    static constexpr float kScrollDistancePerUnit = -0.25f;

    // The view with full-scene antialiasing as stored, else as the renderer
    // makes cheap (antialiasingByDefault); null when it cannot be made.
    static std::unique_ptr<FerlowOpenGLView> create(QSize size);
    static std::unique_ptr<FerlowOpenGLView> create(QSize size, bool fullSceneAntialiasing);
    // The samples a pixel has with antialiasing on; videos of the flight
    // take as many.
    static constexpr std::uint32_t kSamples = 2;
    // The pixel-format request: 32-bit colour, 24-bit depth, double
    // buffering, and with antialiasing one multisample buffer of kSamples.
    static std::vector<std::uint32_t> pixelFormatAttributes(bool fullSceneAntialiasing);

    // The stored choice of antialiasing; without one, the default.
    static inline const QString kAntialiasingKey = QStringLiteral("Antialiasing");
    // On where a GPU draws. Off on a software renderer: with llvmpipe at
    // 1280 x 720 multisampling doubled the time of a frame.
    static bool antialiasingByDefault(std::string_view rendererName);
    static bool antialiasingAsStored(const SettingsStore& store, std::string_view rendererName);
    bool fullSceneAntialiasing() const { return mFullSceneAntialiasing; }
    // Takes effect with the next frame; the scene and its GL objects stay.
    void setFullSceneAntialiasing(bool fullSceneAntialiasing);

    ~FerlowOpenGLView() override;

    Scene* getScene() const { return scene.get(); }
    void setRender(bool render) { mRender = render; }

    // Whether the view offers to show itself full screen: where the display
    // services cannot switch modes. Elsewhere full screen captures the display
    // with a context of its own, at the resolution chosen for it.
    bool offersViewFullScreen() const;

protected:
    void drawRect(const QRectF& dirtyRect) override;
    void reshape() override;
    void mouseDown(QMouseEvent* event) override;
    void mouseDragged(QMouseEvent* event) override;
    void scrollWheel(QWheelEvent* event) override;

private:
    FerlowOpenGLView() = default;
    bool init(QSize size, bool fullSceneAntialiasing);

    std::unique_ptr<Scene> scene;
    bool mFirstDraw = true;
    bool mFullSceneAntialiasing = true;
    bool mRender = true;
    // Where the drag began, y growing upwards.
    QPointF mLastClickPoint;
    float mDegreesX = 0.0f;
    float mDegreesY = 0.0f;
};
