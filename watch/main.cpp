// quillory: watches one Ironvale server and tells its user when its game state changes.
#include "watch/WatchApp.h"

#include <QApplication>

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("quillory"));
    quillory::ui::CWatchApp app;
    return app.Run(QApplication::arguments());
}
