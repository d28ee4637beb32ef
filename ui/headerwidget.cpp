#include "headerwidget.h"

#include <QPainter>

HeaderWidget::HeaderWidget(QWidget *parent) : QLabel(parent)
{
    setMargin(10);
    setWordWrap(true);
    logo = QPixmap(QStringLiteral(":/headerLogo.png"));
}

QPoint HeaderWidget::logoOrigin(const QSize &banner, const QSize &logo)
{
    // Each half is truncated before the subtraction, so odd sizes round the
    // same way whatever the sign of the result.
    return QPoint(banner.width() - logo.width(), banner.height() / 2 - logo.height() / 2);
}

void HeaderWidget::paintEvent(QPaintEvent *event)
{
    if (!logo.isNull()) {
        QPainter painter(this);
        painter.setOpacity(0.75);
        painter.drawPixmap(QPointF(logoOrigin(size(), logo.size())), logo);
        painter.end(); // the label paints its text with a painter of its own
    }
    QLabel::paintEvent(event);
}
