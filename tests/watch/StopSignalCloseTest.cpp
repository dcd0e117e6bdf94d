// SIGTERM while the window downloads or installs a Gantry package: the work in hand is
// cancelled and undone, the database saved once after it, and the window closes by itself.
#include "TestMain.h"
#include "WatchFakes.h"

#include "gantry/client/Installer.h"
#include "gantry/db/FileDatabase.h"
#include "gantry/ui/GantryClientDlg.h"
#include "gantry/ui/GantryManagerDlg.h"
#include "gantry/ui/GantryViewModel.h"
#include "platform/SignalPipe.h"
#include "tests/support/FakeHttpServer.h"
#include "tests/support/ScratchFolder.h"
#include "tests/support/TempGameFolder.h"
#include "tests/support/ZipBuilder.h"
#include "ui/MessageBoxes.h"
#include "watch/ExecutableCheck.h"
#include "watch/StopSignalClose.h"
#include "watch/WatchDialog.h"
#include "watch/core/SettingsFile.h"

#include <QElapsedTimer>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <zlib.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <thread>
#include <unistd.h>

using namespace quillory;
using namespace quillory::ui;

namespace {

constexpr int kFiles = 300;

std::string FileContent(int i) {
    return "content of file " + std::to_string(i);
}

// An archive of kFiles files under "addons/", as its bytes.
std::string ManyFileArchive(const test::ScratchFolder& scratch) {
    test::ZipBuilder zip;
    for (int i = 0; i < kFiles; ++i)
        zip.Add("addons/many" + std::to_string(i) + ".pbo", FileContent(i));
    const std::string path = scratch / "many.zip";
    std::string bytes;
    if (!zip.Write(path) || !test::ReadFileBytes(path, bytes))
        return std::string();
    return bytes;
}

// The offered record of that archive, as a server would describe it.
Handle<CPackage> Offer(const std::string& url, size_t size) {
    auto record = std::make_shared<CPackage>();
    record->name = "many";
    record->priority = 7;
    record->archivePath = url;
    record->archiveSize = uint32_t(size);
    record->needsDownload = 1;
    record->describedRoot = std::make_shared<CFileNode>();
    record->describedRoot->flags = NF_FOLDER;
    auto folder = record->describedRoot->AddChild("addons\\", NF_FOLDER);
    record->described = {folder};
    for (int i = 0; i < kFiles; ++i) {
        const std::string content = FileContent(i);
        auto file = folder->AddChild("many" + std::to_string(i) + ".pbo", 0);
        file->size = uint32_t(content.size());
        file->crc = uint32_t(
            ::crc32(0, reinterpret_cast<const Bytef*>(content.data()), uInt(content.size())));
        record->described.push_back(file);
    }
    return record;
}

} // namespace

class StopSignalCloseTest : public QObject {
    Q_OBJECT

private slots:
    // Each case sends SIGTERM at another point of the work: while the archive arrives slowly,
    // and while its files are being installed.
    void stopSignalDuringTheWorkUndoesItSavesOnceAndCloses_data() {
        QTest::addColumn<bool>("duringInstall");
        QTest::newRow("download") << false;
        QTest::newRow("install") << true;
    }

    void stopSignalDuringTheWorkUndoesItSavesOnceAndCloses() {
        QFETCH(bool, duringInstall);
        test::TempGameFolder game;
        game.Write("IRONVALE.EXE", "");
        test::ScratchFolder data;
        Settings settings;
        settings.gameFolder = game.Path();
        QVERIFY(SaveSettings(data / SETTINGS_FILE, settings));
        {
            CFileDatabase database(data.Path().string());
            database.SetGamePath(game.Path());
            QVERIFY(database.Scan());
            QVERIFY(database.Save());
        }
        const std::string archive = ManyFileArchive(data);
        QVERIFY(!archive.empty());
        test::FakeHttpServer server;
        if (duringInstall)
            server.Serve("/many.zip", archive);
        else
            server.Slow("/many.zip", archive, 64, std::chrono::milliseconds(50));
        QVERIFY(server.Start());

        test::CScriptedWatch watch;
        CMessageBoxes boxes;
        CExecutableCheck launcher;
        CWatchDialog::Parts parts;
        parts.watch = &watch;
        parts.messageBoxes = &boxes;
        parts.launcher = &launcher;
        parts.dataFolder = data.Path().string();
        std::atomic<bool> signalled{false};
        std::atomic<uint64_t> installedAtSignal{0};
        bool clientBegun = false;
        const auto stopNow = [&signalled] {
            if (!signalled.exchange(true))
                ::kill(::getpid(), SIGTERM);
        };
        parts.runManager = [&](QDialog& dialog) {
            auto& manager = static_cast<CGantryManagerDlg&>(dialog);
            manager.runDownload = [&](CFileDatabase& database) {
                CGantryClientDlg client(database, database.DatabaseFolder(), nullptr, &manager);
                // Each installed entry takes a while, and the signal comes in the middle.
                client.Client().SetInstallFunction(
                    [&](const String& path, std::atomic<uint64_t>& done,
                        std::atomic<uint64_t>& total, const CPackage& offered, String& error) {
                        const bool ok =
                            InstallPackage(database, path, done, total, &offered, nullptr, [&] {
                                std::this_thread::sleep_for(std::chrono::milliseconds(5));
                                if (duringInstall && done.load() >= kFiles / 3) {
                                    installedAtSignal = done.load();
                                    stopNow();
                                }
                                return client.Client().CancelRequested();
                            });
                        if (!ok)
                            error = "not installed";
                        return ok;
                    });
                QTimer poll;
                connect(&poll, &QTimer::timeout, &client, [&] {
                    if (!duringInstall && client.Client().Progress().currentDone > 0)
                        stopNow();
                });
                poll.start(20);
                clientBegun = true;
                client.exec();
            };
            QTimer::singleShot(0, &manager, [&manager] {
                manager.Tick();
                manager.DownloadButton()->click();
            });
            manager.exec();
        };

        CWatchDialog window(parts);
        platform::CSignalPipe pipe;
        CStopSignalClose stop(window, pipe);
        window.show();
        window.Open({"quillory"});
        QTRY_VERIFY_WITH_TIMEOUT(window.GantryReady(), 10000);
        window.Database().AddOfferedPackage(Offer(server.Url("/many.zip"), archive.size()));
        QTimer::singleShot(0, &window,
                           [&window] { window.OpenManager(CGantryViewModel::VIEW_SERVER); });
        // Should the program hang, the test ends it (and fails) instead of waiting for ever.
        QElapsedTimer sinceSignal;
        QTimer watchdog;
        bool forced = false;
        connect(&watchdog, &QTimer::timeout, &window, [&] {
            if (!signalled || !sinceSignal.isValid()) {
                if (signalled)
                    sinceSignal.start();
                return;
            }
            if (sinceSignal.elapsed() < 5000)
                return;
            forced = true;
            watchdog.stop();
            for (QWidget* modal = QApplication::activeModalWidget();
                 modal != nullptr && modal != &window; modal = QApplication::activeModalWidget())
                modal->hide();
            window.done(QDialog::Rejected);
        });
        watchdog.start(10);
        window.exec();
        QVERIFY(clientBegun);
        QVERIFY(signalled);
        QVERIFY(stop.Requested());
        QVERIFY2(!forced, "the window did not close within 5 s of the signal");
        QCOMPARE(window.result(), int(QDialog::Accepted));
        if (duringInstall)
            QVERIFY(installedAtSignal.load() > 0);

        // The saved database knows no package "many", and its files are gone from the game.
        CFileDatabase saved(data.Path().string());
        QVERIFY(saved.Load());
        for (const Handle<CPackage>& package : saved.Packages())
            QVERIFY2(package->name != "many", "a package the undo removed was saved");
        for (int i = 0; i < kFiles; ++i)
            QVERIFY(!std::filesystem::exists(game / ("addons/many" + std::to_string(i) + ".pbo")));
    }
};

QUILLORY_WATCH_TEST(StopSignalCloseTest);
#include "StopSignalCloseTest.moc"
