// The baseline of the start-up benchmark: the least a Qt program does to
// show a window like the switch window, and nothing else.

#include <QApplication>
#include <QWidget>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QWidget window(nullptr, Qt::Window | Qt::FramelessWindowHint);
    window.setWindowTitle(QStringLiteral("トレモロ"));
    window.setFixedSize(48, 95);
    window.show();
    return QApplication::exec();
}
