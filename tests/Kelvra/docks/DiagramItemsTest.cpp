// The diagram's node records, block items and arrows, outside the dock.

#include "Kelvra/docks/DataArrow.h"
#include "Kelvra/docks/DataBlockView.h"
#include "Kelvra/docks/DiagramNodes.h"

#include "Tavik/CameraSystem.h"
#include "Tavik/DepthCamera.h"

#include <QCoreApplication>
#include <QGraphicsScene>
#include <QGraphicsSceneContextMenuEvent>
#include <QImage>
#include <QPainter>
#include <QStyleOptionGraphicsItem>
#include <gtest/gtest.h>

#include <cmath>

using namespace Kelvra;
using Tavik::DepthCamera;

namespace {

// Paints the item alone into a white image of its bounding size plus a
// band below, at scale 1.
QImage render(QGraphicsItem& item, QSizeF size)
{
    QImage image(static_cast<int>(size.width()), static_cast<int>(size.height() * 2), QImage::Format_RGB32);
    image.fill(Qt::white);
    QGraphicsScene scene;
    scene.addItem(&item);
    QPainter painter(&image);
    scene.render(&painter, QRectF(0, 0, image.width(), image.height()), QRectF(0, 0, image.width(), image.height()));
    painter.end();
    scene.removeItem(&item);
    return image;
}

int darkPixels(const QImage& image, const QRect& area)
{
    int count = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            count += qGray(image.pixel(x, y)) < 128;
    return count;
}

void expectPoint(const QPointF& actual, double x, double y)
{
    EXPECT_NEAR(actual.x(), x, 0.5e-4);
    EXPECT_NEAR(actual.y(), y, 0.5e-4);
}

} // namespace

TEST(DiagramNodes, CaptionsAndNames)
{
    ASSERT_EQ(FrameTypeToName.size(), 4u);
    EXPECT_EQ(FrameTypeToName.at(DepthCamera::FRAME_RAW_FRAME_UNPROCESSED), "Raw Frame (unprocessed)");
    EXPECT_EQ(FrameTypeToName.at(DepthCamera::FRAME_RAW_FRAME_PROCESSED), "Raw Frame (processed)");
    EXPECT_EQ(FrameTypeToName.at(DepthCamera::FRAME_DEPTH_FRAME), "Depth\nFrame");
    EXPECT_EQ(FrameTypeToName.at(DepthCamera::FRAME_XYZI_POINT_CLOUD_FRAME), "Point Cloud\nFrame");

    ProcessBlock stage(nullptr, DepthCamera::FRAME_RAW_FRAME_PROCESSED, DepthCamera::FRAME_DEPTH_FRAME);
    EXPECT_EQ(stage.blockName, "Depth\nFrame"); // named after what it produces
    EXPECT_EQ(stage.status, "");

    Tavik::CameraSystem system;
    auto outlier = system.createFilter("Tavik::PointCloud::OutlierFilter", DepthCamera::FRAME_XYZI_POINT_CLOUD_FRAME);
    FilterBlock node(outlier, 7, nullptr, 3, 3);
    EXPECT_EQ(node.blockName, "Tavik::\nPointCloud::\nOutlierFilter");
    EXPECT_EQ(node.filter, outlier);
    EXPECT_EQ(node.filterIndex, 7);
    EXPECT_TRUE(node.camera.expired());
    EXPECT_EQ(filterBlockName("Plain"), "Plain");
    FilterBlock1 named("Tavik::MedianFilter", 2, nullptr, 1, 1, "on");
    EXPECT_EQ(named.blockName, "Tavik::\nMedianFilter");
    EXPECT_EQ(named.filter, "Tavik::MedianFilter");
    EXPECT_EQ(named.status, "on");
}

TEST(DataBlockView, BoxOfItsSizeWithNameCentredAndStatusBelow)
{
    auto node = std::make_shared<DataBlock>(nullptr, "Wide", std::nullopt, 0, "ok");
    DataBlockView standard(node);
    EXPECT_EQ(standard.boundingRect(), QRectF(0, 0, 100, 100));
    EXPECT_EQ(standard.rect(), QRectF(0, 0, 100, 100));
    EXPECT_EQ(standard.flags(), QGraphicsItem::GraphicsItemFlags());

    auto* view = new DataBlockView(node, QSizeF(95, 60));
    EXPECT_EQ(view->boundingRect(), QRectF(0, 0, 95, 60));
    node->blockName = "changed later";
    EXPECT_EQ(view->getBlockName(), "Wide"); // copied once
    EXPECT_EQ(view->getStatus(), "ok");

    const QImage image = render(*view, QSizeF(95, 60));
    delete view;
    EXPECT_EQ(qGray(image.pixel(0, 30)), 0); // outline
    EXPECT_EQ(image.pixel(10, 10), qRgb(255, 255, 255)); // white fill
    EXPECT_GT(darkPixels(image, QRect(30, 20, 35, 20)), 5); // the name, centred
    EXPECT_EQ(darkPixels(image, QRect(5, 5, 20, 10)), 0);
    EXPECT_GT(darkPixels(image, QRect(30, 80, 35, 20)), 5); // the status, in the band below
}

TEST(DataBlockView, LongWordBreaksInsideTheBox)
{
    auto node = std::make_shared<DataBlock>(nullptr, "Tavik::\nAVeryLongFilterNameThatCannotFit", std::nullopt, 0);
    auto* view = new DataBlockView(node, QSizeF(95, 60));
    const QImage image = render(*view, QSizeF(95, 60));
    delete view;
    // Wrapped into the box: text on several lines, nothing drawn past its right edge.
    EXPECT_GT(darkPixels(image, QRect(5, 2, 85, 18)), 5);
    EXPECT_GT(darkPixels(image, QRect(5, 40, 85, 18)), 5);
}

TEST(DataBlockView, RightClickPopsTheSameMenuUpAtTheMousePosition)
{
    QGraphicsScene scene;
    auto* view = new DataBlockView(std::make_shared<DataBlock>(nullptr, "A", std::nullopt, 0));
    scene.addItem(view);
    QMenu* menu = view->getMenu();
    ASSERT_TRUE(menu);
    menu->addAction("entry"); // an empty menu does not show

    QGraphicsSceneContextMenuEvent event(QEvent::GraphicsSceneContextMenu);
    event.setScenePos(QPointF(50, 50));
    event.setScreenPos(QPoint(120, 130));
    event.ignore();
    QCoreApplication::sendEvent(&scene, &event);
    EXPECT_TRUE(event.isAccepted());
    EXPECT_TRUE(menu->isVisible());
    EXPECT_EQ(menu->pos(), QPoint(120, 130));
    menu->hide();

    QCoreApplication::sendEvent(&scene, &event);
    EXPECT_EQ(view->getMenu(), menu); // not rebuilt
    EXPECT_TRUE(menu->isVisible());
    menu->hide();
}

TEST(DataArrow, HeadOfTheWorkedExample)
{
    auto* arrow = new DataArrow(DepthCamera::FRAME_DEPTH_FRAME, QSizeF(95, 60));
    EXPECT_EQ(arrow->getCaption(), "Depth\nFrame");
    EXPECT_EQ(arrow->boundingRect(), QRectF(0, 0, 95, 60));
    EXPECT_TRUE(arrow->line().isNull()); // set by the first paint
    EXPECT_TRUE(arrow->getArrowHead().isEmpty());
    EXPECT_TRUE(arrow->shape().isEmpty());
    EXPECT_EQ(arrow->pen().width(), 2);
    EXPECT_EQ(arrow->pen().capStyle(), Qt::RoundCap);

    const QImage image = render(*arrow, QSizeF(95, 60));
    EXPECT_EQ(arrow->line(), QLineF(0, 30, 95, 30));
    const QPolygonF& head = arrow->getArrowHead();
    ASSERT_EQ(head.size(), 3);
    expectPoint(head[0], 90.6699, 27.5);
    expectPoint(head[1], 90.6699, 32.5);
    expectPoint(head[2], 95, 30);
    EXPECT_TRUE(arrow->shape().contains(QPointF(91, 28))); // in the head, off the line
    EXPECT_EQ(qGray(image.pixel(50, 30)), 0); // the line
    EXPECT_EQ(qGray(image.pixel(92, 30)), 0); // the filled head
    EXPECT_GT(darkPixels(image, QRect(25, 5, 45, 20)), 5); // caption's first line above the line
    delete arrow;

    DataArrow standard(DepthCamera::FRAME_RAW_FRAME_UNPROCESSED);
    standard.updateLine();
    standard.makeArrowHead(DataArrow::lineAngle(standard.line()));
    EXPECT_EQ(standard.line(), QLineF(0, 50, 100, 50));
    expectPoint(standard.getArrowHead()[0], 95.6699, 47.5);
    expectPoint(standard.getArrowHead()[1], 95.6699, 52.5);
    expectPoint(standard.getArrowHead()[2], 100, 50);

    DataArrow odd(DepthCamera::FRAME_RAW_FRAME_PROCESSED, QSizeF(40, 61));
    odd.updateLine();
    EXPECT_EQ(odd.line(), QLineF(0, 30.5, 40, 30.5));
}

TEST(DataArrow, DownwardAndZeroLengthLines)
{
    DataArrow arrow(DepthCamera::FRAME_DEPTH_FRAME, QSizeF(95, 60));
    arrow.setLine(QLineF(10, 0, 10, 20)); // pointing down the scene
    const double angle = DataArrow::lineAngle(arrow.line());
    EXPECT_NEAR(angle, 3 * M_PI / 2, 1e-12);
    arrow.makeArrowHead(angle);
    expectPoint(arrow.getArrowHead()[0], 12.5, 15.6699); // back corners 4.33 above the tip
    expectPoint(arrow.getArrowHead()[1], 7.5, 15.6699);

    // A cell of no width: no direction, painted as pointing right.
    DataArrow flat(DepthCamera::FRAME_DEPTH_FRAME, QSizeF(0, 60));
    QImage image(10, 60, QImage::Format_RGB32);
    QPainter painter(&image);
    QStyleOptionGraphicsItem option;
    flat.paint(&painter, &option, nullptr);
    EXPECT_EQ(DataArrow::lineAngle(flat.line()), 0.0);
    const QPolygonF head = flat.getArrowHead();
    ASSERT_EQ(head.size(), 3);
    expectPoint(head[0], -4.3301, 27.5);
    expectPoint(head[1], -4.3301, 32.5);
    expectPoint(head[2], 0, 30);
}
