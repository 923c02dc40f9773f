#include "gui/qt/mainform/ToolBarPictures.h"

#include <QImage>
#include <QPainter>
#include <QPainterPath>

namespace packsmith::qt {

namespace {

const QColor kOutline(70, 70, 70);
const QColor kPaper(250, 250, 250);
const QColor kGreen(46, 160, 67);
const QColor kRed(207, 34, 46);
const QColor kBlue(38, 99, 196);

// Every picture is drawn on a 16 by 16 grid and scaled to the size asked for.
void Page(QPainter& p)
{
    QPainterPath page;
    page.moveTo(2.5, 1.5);
    page.lineTo(9.5, 1.5);
    page.lineTo(12.5, 4.5);
    page.lineTo(12.5, 14.5);
    page.lineTo(2.5, 14.5);
    page.closeSubpath();
    p.setPen(QPen(kOutline, 1));
    p.setBrush(kPaper);
    p.drawPath(page);
    p.drawLine(QPointF(9.5, 1.5), QPointF(9.5, 4.5));
    p.drawLine(QPointF(9.5, 4.5), QPointF(12.5, 4.5));
    p.setPen(QPen(QColor(160, 160, 160), 1));
    for (const double y : {6.5, 8.5, 10.5})
        p.drawLine(QPointF(4.5, y), QPointF(10.5, y));
}

void Badge(QPainter& p, const QColor& colour, bool plus)
{
    p.setPen(QPen(Qt::white, 1));
    p.setBrush(colour);
    p.drawEllipse(QPointF(11.5, 11.5), 4.2, 4.2);
    p.setPen(QPen(Qt::white, 1.8, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(9.4, 11.5), QPointF(13.6, 11.5));
    if (plus)
        p.drawLine(QPointF(11.5, 9.4), QPointF(11.5, 13.6));
}

void Disk(QPainter& p)
{
    p.setPen(QPen(kBlue.darker(140), 1));
    p.setBrush(kBlue);
    p.drawRoundedRect(QRectF(1.5, 1.5, 13, 13), 1.5, 1.5);
    p.setPen(Qt::NoPen);
    p.setBrush(kPaper);
    p.drawRect(QRectF(4, 2, 8, 5));
    p.setBrush(QColor(200, 200, 200));
    p.drawRect(QRectF(4.5, 9.5, 7, 5));
    p.setBrush(kBlue.darker(150));
    p.drawRect(QRectF(9.5, 10.5, 1.5, 3));
}

void Play(QPainter& p)
{
    p.setPen(QPen(kGreen.darker(130), 1));
    p.setBrush(kGreen);
    p.drawEllipse(QPointF(8, 8), 6.5, 6.5);
    QPainterPath triangle;
    triangle.moveTo(6, 4.5);
    triangle.lineTo(11.5, 8);
    triangle.lineTo(6, 11.5);
    triangle.closeSubpath();
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    p.drawPath(triangle);
}

void Door(QPainter& p)
{
    p.setPen(QPen(kOutline, 1));
    p.setBrush(QColor(150, 100, 60));
    p.drawRect(QRectF(2.5, 1.5, 7, 13));
    p.setBrush(QColor(230, 200, 120));
    p.drawEllipse(QPointF(8, 8), 0.8, 0.8);
    p.setPen(QPen(kRed, 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawLine(QPointF(8, 8), QPointF(14.5, 8));
    p.drawLine(QPointF(12, 5.5), QPointF(14.5, 8));
    p.drawLine(QPointF(12, 10.5), QPointF(14.5, 8));
}

void ClearList(QPainter& p)
{
    p.setPen(QPen(kOutline, 1.4, Qt::SolidLine, Qt::RoundCap));
    for (const double y : {3.5, 7.0, 10.5})
        p.drawLine(QPointF(2, y), QPointF(11, y));
    p.setPen(QPen(kRed, 2.2, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(8.5, 8.5), QPointF(14.5, 14.5));
    p.drawLine(QPointF(14.5, 8.5), QPointF(8.5, 14.5));
}

void Help(QPainter& p)
{
    p.setPen(QPen(kBlue.darker(130), 1));
    p.setBrush(kBlue);
    p.drawEllipse(QPointF(8, 8), 6.5, 6.5);
    QFont font;
    font.setPixelSize(11);
    font.setBold(true);
    p.setFont(font);
    p.setPen(Qt::white);
    p.drawText(QRectF(1.5, 1.5, 13, 13), Qt::AlignCenter, QStringLiteral("?"));
}

void Draw(QPainter& p, int picture)
{
    switch (picture) {
    case 0:
        Page(p);
        Badge(p, kGreen, true);
        break;
    case 1:
        Disk(p);
        break;
    case 2:
        Page(p);
        Badge(p, kRed, false);
        break;
    case 3:
        Play(p);
        break;
    case 4:
        Door(p);
        break;
    case 6:
        Help(p);
        break;
    default:
        ClearList(p);
        break;
    }
}

} // namespace

QPixmap EnabledPicture(int picture, int size)
{
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(size / 16.0, size / 16.0);
    Draw(painter, picture);
    return pixmap;
}

QPixmap DisabledPicture(int picture, int size)
{
    QImage image = EnabledPicture(picture, size).toImage().convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < image.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            const int grey = 96 + qGray(line[x]) * 5 / 8;
            line[x] = qRgba(grey, grey, grey, qAlpha(line[x]) * 9 / 20);
        }
    }
    return QPixmap::fromImage(image);
}

QIcon ToolBarIcon(int picture)
{
    QIcon icon;
    for (const int size : {16, 24, 32, 48}) {
        icon.addPixmap(EnabledPicture(picture, size), QIcon::Normal);
        icon.addPixmap(DisabledPicture(picture, size), QIcon::Disabled);
    }
    return icon;
}

QIcon ApplicationIcon()
{
    QIcon icon;
    for (const int size : {16, 32, 48, 64, 128, 256}) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter p(&pixmap);
        p.setRenderHint(QPainter::Antialiasing);
        p.scale(size / 16.0, size / 16.0);
        // A parcel (the pack) with a green arrow coming out of it.
        p.setPen(QPen(QColor(120, 80, 40), 0.8));
        p.setBrush(QColor(205, 150, 90));
        p.drawRect(QRectF(1.5, 5.5, 10, 9));
        p.setBrush(QColor(225, 175, 115));
        p.drawPolygon(QPolygonF({QPointF(1.5, 5.5), QPointF(4, 2.5), QPointF(14, 2.5), QPointF(11.5, 5.5)}));
        p.setPen(QPen(kGreen, 2.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.drawLine(QPointF(7, 10), QPointF(14.5, 10));
        p.drawLine(QPointF(12, 7.5), QPointF(14.5, 10));
        p.drawLine(QPointF(12, 12.5), QPointF(14.5, 10));
        p.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

} // namespace packsmith::qt
