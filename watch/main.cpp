// quillory: watches one Ironvale server and tells its user when its game state changes.
#include "common/StandardSwitches.h"
#include "platform/DataFolder.h"
#include "watch/WatchApp.h"
#include "watch/core/ProgramSwitches.h"

#include <QApplication>
#include <QMessageBox>

#include <cstdio>
#include <vector>

int main(int argc, char** argv) {
    using namespace quillory;
    // Answered before Qt starts, so they work without a display.
    const ProgramSwitches switches = ReadProgramSwitches(std::vector<String>(argv, argv + argc));
    if (switches.help) {
        std::fputs(PROGRAM_USAGE, stdout);
        return 0;
    }
    if (switches.version) {
        PrintVersion(stdout, "quillory");
        return 0;
    }
    String dataFolderError;
    if (switches.dataFolder) {
        const String folder = switches.dataFolderPath.empty() ? platform::DefaultDataFolder()
                                                              : switches.dataFolderPath;
        if (!platform::EnterDataFolder(folder, dataFolderError))
            std::fprintf(stderr, "quillory: %s\n", dataFolderError.c_str());
    }

    // Qt and the window see only the game's words.
    std::vector<char*> gameArgv;
    for (size_t index : switches.gameWords)
        gameArgv.push_back(argv[index]);
    int gameArgc = static_cast<int>(gameArgv.size());
    gameArgv.push_back(nullptr);
    QApplication application(gameArgc, gameArgv.data());
    QApplication::setApplicationName(QStringLiteral("quillory"));
    if (!dataFolderError.empty()) {
        // Started from the menu, nobody reads stderr.
        QMessageBox::critical(nullptr, QStringLiteral("Quillory"),
                              QString::fromLocal8Bit(dataFolderError.c_str()));
        return 1;
    }
    quillory::ui::CWatchApp app;
    return app.Run(QApplication::arguments());
}
