// quillory-gantry-shots --game DIR --data DIR --server ADDRESS:PORT --out DIR
// Loads and scans the database, fetches the server's Gantry description, opens the manager on
// the server view, presses "Download && Install" and saves a picture of each view and of the
// download dialog while it runs.
#include "gantry/ui/GantryClientDlg.h"
#include "gantry/ui/GantryManagerDlg.h"
#include "gantry/ui/GantryQuestions.h"
#include "net/ServerWatch.h"
#include "platform/FileSystem.h"

#include <QApplication>
#include <QPushButton>
#include <QTabBar>
#include <QTableView>
#include <QTimer>

#include <cstdio>
#include <map>

using namespace quillory;
using namespace quillory::ui;

namespace {

constexpr uint32_t kGantryWaitMs = 60000;

bool Save(QWidget& widget, const QString& path) {
    QApplication::processEvents();
    const bool saved = widget.grab().save(path);
    std::printf("%s %s\n", saved ? "saved" : "could not save", path.toLocal8Bit().constData());
    return saved;
}

bool FetchOffered(CFileDatabase& db, const String& data, const String& server) {
    CServerWatch watch;
    watch.SetCacheFolder(data);
    watch.SetGantryFeature(true);
    if (watch.Select(server, "") == SelectResult::BAD_ADDRESS || !watch.Open())
        return false;
    const auto outcome = watch.State().WaitForGantryOutcome(kGantryWaitMs);
    watch.Quit();
    if (!outcome || outcome->state != GANTRY_ANSWERED || !outcome->description)
        return false;
    CMemoryStream description(outcome->description->data(), outcome->description->size());
    db.ClearOfferedList();
    if (!db.ReadOfferedList(description))
        return false;
    GantryAlert alert;
    db.CheckOfferedPackages(alert);
    return true;
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    std::map<std::string, std::string> options;
    for (int i = 1; i + 1 < argc; i += 2)
        options[argv[i]] = argv[i + 1];
    for (const char* needed : {"--game", "--data", "--server", "--out"}) {
        if (!options.count(needed)) {
            std::fputs("usage: quillory-gantry-shots --game DIR --data DIR --server "
                       "ADDRESS:PORT --out DIR\n",
                       stderr);
            return 2;
        }
    }
    const QString out = QString::fromStdString(options["--out"]) + QStringLiteral("/");
    CFileDatabase db(options["--data"]);
    db.SetGamePath(options["--game"]);
    if (db.GamePath().back() != '/')
        db.SetGamePath(db.GamePath() + '/');
    if (platform::PathExists(db.DatabasePath()) && !db.Load())
        return 1;
    if (!db.Scan() || !FetchOffered(db, options["--data"], options["--server"])) {
        std::fputs("quillory-gantry-shots: no database or no Gantry description\n", stderr);
        return 1;
    }

    CGantryQuestions questions;
    CGantryManagerDlg manager(db, std::nullopt, questions);
    manager.SetStartTab(CGantryViewModel::VIEW_SERVER);
    bool downloadSaved = false;
    manager.runDownload = [&](CFileDatabase& database) {
        CGantryClientDlg client(database, database.DatabaseFolder(), &questions, &manager);
        // Mid-run: a third of the job in, the current archive half in and its rate measured
        // (the rate is taken once a second, so the host must send slowly enough for that).
        QTimer poll;
        poll.setInterval(5);
        bool taken = false;
        QObject::connect(&poll, &QTimer::timeout, &client, [&] {
            const DownloadProgress p = client.Client().Progress();
            if (taken || p.rate == 0 || p.totalDone * 3 < p.totalSize ||
                p.currentDone * 2 < p.currentSize)
                return;
            taken = true;
            client.Tick();
            downloadSaved = Save(client, out + QStringLiteral("download.png"));
        });
        poll.start();
        client.exec();
    };
    manager.resize(760, 620);
    manager.show();
    manager.Tick();
    manager.Tick();
    bool ok = Save(manager, out + QStringLiteral("manager-server.png"));
    manager.DownloadButton()->click();
    manager.Tick();
    ok = Save(manager, out + QStringLiteral("manager-server-after.png")) && ok;
    manager.Tabs()->setCurrentIndex(CGantryViewModel::VIEW_PACKAGES);
    ok = Save(manager, out + QStringLiteral("manager-packages.png")) && ok;
    manager.Tabs()->setCurrentIndex(CGantryViewModel::VIEW_FILES);
    manager.List()->selectRow(0);
    ok = Save(manager, out + QStringLiteral("manager-advanced.png")) && ok;
    if (!db.Save()) {
        std::fprintf(stderr, "quillory-gantry-shots: cannot save %s\n", db.DatabasePath().c_str());
        ok = false;
    }
    if (!downloadSaved)
        std::fputs("quillory-gantry-shots: the download ended before its picture was taken\n",
                   stderr);
    return ok && downloadSaved ? 0 : 1;
}
