#include <QApplication>
#include <QWidget>

// The yardstick for start-up time: a Qt Widgets program that shows one
// empty window of the selector's size and does nothing else.
int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QWidget window;
    window.resize(400, 364);
    window.setVisible(true);
    return app.exec();
}
