// The reference the desktop program's start-up and memory are measured beside: a plain Qt 6
// Widgets window of the same kind (a dialog with a caption, a list with a row per watched
// server, a text line and buttons) that refreshes its list every 500 ms as the watch does, and
// nothing else. bench/window_startup.sh and bench/watch_memory.sh run it.
#include <QApplication>
#include <QDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QDialog window;
    window.setWindowTitle(QStringLiteral("Minimal window"));
    auto* layout = new QVBoxLayout(&window);
    auto* caption = new QLabel(QStringLiteral("127.0.0.1:2302"), &window);
    auto* list = new QTreeWidget(&window);
    list->setHeaderLabels(
        {QStringLiteral("Server"), QStringLiteral("Players"), QStringLiteral("State")});
    auto* row = new QTreeWidgetItem(
        list, {QStringLiteral("Server"), QStringLiteral("0/16"), QStringLiteral("Waiting")});
    auto* buttons = new QHBoxLayout;
    for (const char* text : {"Play", "Manager", "Close"})
        buttons->addWidget(new QPushButton(QString::fromLatin1(text), &window));
    layout->addWidget(caption);
    layout->addWidget(list);
    layout->addLayout(buttons);
    int ticks = 0;
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, &window, [&] {
        ++ticks;
        row->setText(1, QStringLiteral("%1/16").arg(ticks % 17));
    });
    tick.start(500);
    window.resize(480, 320);
    window.show();
    return app.exec();
}
