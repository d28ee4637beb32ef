#pragma once

#include <QLabel>
#include <QPixmap>

// The window's banner: a word-wrapped label that paints the logo behind its
// text, flush right and vertically centred, three-quarters opaque.
class HeaderWidget : public QLabel
{
    Q_OBJECT

public:
    explicit HeaderWidget(QWidget *parent);

    // Where the logo's top-left corner lies in a banner of the given size;
    // a banner smaller than the logo cuts its left part and its top and bottom.
    static QPoint logoOrigin(const QSize &banner, const QSize &logo);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    // The banner logo, loaded once from the resources and drawn on every paint.
    QPixmap logo;
};
