#include "widgets/windowshape.h"

#include <QGuiApplication>
#include <QRegion>
#include <QWidget>

#ifdef EKRANIK_HAVE_XCB_SHAPE
#include <QtGui/qguiapplication_platform.h>
#include <xcb/shape.h>
#include <xcb/xcb.h>

#include <vector>

namespace {

xcb_connection_t* x11Connection()
{
    if (QGuiApplication::platformName() != QLatin1String("xcb"))
        return nullptr;
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    return x11 ? x11->connection() : nullptr;
}

} // namespace

bool hasScreenPixelShapes()
{
    xcb_connection_t* c = x11Connection();
    if (!c)
        return false;
    const xcb_query_extension_reply_t* shape = xcb_get_extension_data(c, &xcb_shape_id);
    return shape && shape->present;
}

void setScreenPixelShape(QWidget* window, const QRegion& screenPixels)
{
    xcb_connection_t* c = x11Connection();
    if (!c)
        return;
    const auto id = static_cast<xcb_window_t>(window->winId());
    if (screenPixels.isEmpty()) {
        xcb_shape_mask(c, XCB_SHAPE_SO_SET, XCB_SHAPE_SK_BOUNDING, id, 0, 0, XCB_NONE);
    } else {
        std::vector<xcb_rectangle_t> rects;
        rects.reserve(static_cast<std::size_t>(screenPixels.rectCount()));
        for (const QRect& r : screenPixels) {
            rects.push_back({static_cast<int16_t>(r.x()), static_cast<int16_t>(r.y()),
                             static_cast<uint16_t>(r.width()), static_cast<uint16_t>(r.height())});
        }
        xcb_shape_rectangles(c, XCB_SHAPE_SO_SET, XCB_SHAPE_SK_BOUNDING, XCB_CLIP_ORDERING_UNSORTED,
                             id, 0, 0, static_cast<uint32_t>(rects.size()), rects.data());
    }
    xcb_flush(c);
}

#else

bool hasScreenPixelShapes()
{
    return false;
}

void setScreenPixelShape(QWidget*, const QRegion&) {}

#endif
