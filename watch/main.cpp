// quillory: watches one Ironvale server and tells its user when its game state changes.
#include "common/StandardSwitches.h"
#include "platform/DataFolder.h"
#include "watch/WatchApp.h"
#include "watch/core/ProgramSwitches.h"

#include <QApplication>
#include <QMessageBox>

#include <cstdio>
#include <filesystem>
#include <system_error>
#include <vector>

int main(int argc, char** argv) {
    using namespace quillory;
    const std::vector<String> startArgv(argv, argv + argc);
    // Answered before Qt starts, so they work without a display.
    const ProgramSwitches switches = ReadProgramSwitches(startArgv);
    if (switches.help) {
        std::fputs(PROGRAM_USAGE, stdout);
        return 0;
    }
    if (switches.version) {
        PrintVersion(stdout, "quillory");
        return 0;
    }
    // A restart runs the same arguments from the same folder, so a relative data folder still
    // names the same place.
    std::error_code error;
    const String startFolder = std::filesystem::current_path(error).string();
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
    // One copy per user and data folder: the socket is named for the folder now current.
    QString socketProblem;
    const QString socketPath = ui::CWatchApp::DefaultSocketPath(socketProblem);
    ui::CWatchApp app(socketPath, ui::CWatchApp::StartLine{startArgv, startFolder});
    app.SetSocketProblem(socketProblem);
    return app.Run(QApplication::arguments());
}
